import QtQuick 2.9

// The orange reset button of the pages and of the lift settings.
Rectangle {
    id: root

    signal clicked()

    readonly property color orange: Qt.rgba(236 / 255, 107 / 255, 23 / 255, 1)

    width: 60
    height: 35
    radius: 4
    color: mouse.pressed ? Qt.darker(orange, 1.2) : orange
    opacity: enabled ? 1 : 0.5

    Image {
        anchors.centerIn: parent
        width: 24
        height: 24
        source: "qrc:/images/reset.png"
        smooth: true
        mipmap: true
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        onClicked: root.clicked()
    }
}
