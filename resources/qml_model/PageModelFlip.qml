import QtQuick 2.9
import QtQuick.Controls 1.4

// Mirrors the selected model about x, y or z. A model with supports cannot
// be flipped about z: its supports would end up on top.
PageTemplate {
    id: root

    property bool haveSupports: false

    width: 250
    height: 50

    Row {
        anchors.centerIn: parent
        spacing: 10

        Button {
            objectName: "flipX"
            width: 70
            text: qsTr("X")
            onClicked: kalo3dModel.flip(1)
        }
        Button {
            objectName: "flipY"
            width: 70
            text: qsTr("Y")
            onClicked: kalo3dModel.flip(2)
        }
        Button {
            objectName: "flipZ"
            width: 70
            text: qsTr("Z")
            enabled: !root.haveSupports
            onClicked: kalo3dModel.flip(3)
        }
    }
}
