import QtQuick 2.9

// The frame of a pop-out page beside the left column: a white panel with a
// light border and an arrow pointing at the page's button. Showing the page
// reloads its values from the current selection through selectionChanged.
Rectangle {
    id: root

    // Where the arrow points, px from the page's top: the middle of the
    // page's button.
    property real arrowY: 30

    // The selection is now model index (-1: none); reload the page's values.
    signal selectionChanged(int index)

    visible: false
    color: "white"
    border.color: "#DDDDDD"
    border.width: 1
    radius: 7

    onVisibleChanged: if (visible) selectionChanged(kalo3dModel.getSelectedModelIndex())

    Image {
        source: "qrc:/images/leftarrow.png"
        width: 10
        height: 20
        x: -width + 1
        y: root.arrowY - height / 2
    }
}
