import QtQuick 2.9
import QtQuick.Controls 2.2 as C2

// One button of the left column: a 40 x 40 icon on the dark group with a
// tool tip. A black veil dims it while disabled, pressed or hovered.
Item {
    id: root

    property alias iconSource: icon.source
    property string tip

    signal clicked()

    width: 60
    height: 60
    enabled: false

    ImageOnButton40 {
        id: icon
        anchors.centerIn: parent
    }

    Rectangle {
        anchors.fill: parent
        radius: 6
        color: "black"
        opacity: !root.enabled ? 0.7 : mouse.pressed ? 0.5 : mouse.containsMouse ? 0.1 : 0
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        hoverEnabled: true
        onClicked: root.clicked()
    }

    C2.ToolTip.visible: mouse.containsMouse
    C2.ToolTip.delay: 500
    C2.ToolTip.timeout: 3000
    C2.ToolTip.text: tip
}
