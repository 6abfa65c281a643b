import QtQuick 2.9
import QtQuick.Controls 1.4

// The status bar: the slice settings (a button that opens their dialog), the
// total volume of the scene, the layers slicing it would make at the
// configured thickness and how long printing it would take.
Rectangle {
    id: root

    // Grows with a long print time or settings summary.
    width: Math.max(500, row.width + 32)
    height: 40
    color: "snow"
    radius: 5

    // The summary changes when the dialog's settings are accepted, not while
    // they are edited.
    Component.onCompleted: settingsButton.text = settingsDialog.summary()

    function updateInfo() {
        volume.text = kalo3dModel.getTotalVolume().toFixed(2)
        layers.text = kalo3dModel.printLayers()
        printTime.text = kalo3dModel.getPrintTime()
    }

    Row {
        id: row
        anchors.verticalCenter: parent.verticalCenter
        anchors.verticalCenterOffset: -2
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 8

        MyText {
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("Slice Config")
        }
        Button {
            id: settingsButton
            objectName: "settingsButton"
            anchors.verticalCenter: parent.verticalCenter
            onClicked: settingsDialog.open()
        }
        Item { width: 8; height: 1 }
        MyText {
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("Volume")
        }
        MyText {
            id: volume
            objectName: "volumeText"
            anchors.verticalCenter: parent.verticalCenter
            font.bold: true
            text: "0.00"
        }
        MyText {
            anchors.verticalCenter: parent.verticalCenter
            text: "mL"
        }
        Item { width: 8; height: 1 }
        MyText {
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("Layers")
        }
        MyText {
            id: layers
            objectName: "layersText"
            anchors.verticalCenter: parent.verticalCenter
            font.bold: true
            text: "0"
        }
        Item { width: 8; height: 1 }
        MyText {
            anchors.verticalCenter: parent.verticalCenter
            text: qsTr("Print time")
        }
        MyText {
            id: printTime
            objectName: "printTimeText"
            anchors.verticalCenter: parent.verticalCenter
            font.bold: true
            text: "-"
        }
    }

    SliceSettingDialog {
        id: settingsDialog
        objectName: "sliceSettingDialog"
        onAccepted: {
            settingsButton.text = summary()
            root.updateInfo()
        }
    }

    // A project's print settings taken over.
    Connections {
        target: kalo3dConfig
        onPrintSettingsChanged: {
            settingsDialog.load()
            settingsButton.text = settingsDialog.summary()
            root.updateInfo()
        }
    }
}
