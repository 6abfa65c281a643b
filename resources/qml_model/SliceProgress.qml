import QtQuick 2.9
import QtQuick.Controls 1.4

// Progress of slicing or of automatic supports across the bottom of the
// window, with the keys that cancel the run. The end report of a slicing run
// opens the completion dialog.
Rectangle {
    id: root

    // The dialog that tells the layer count and time of a finished run, the
    // resin it takes, how long it prints and where the archive went.
    property var completeDialog
    property alias value: bar.value

    height: 80
    visible: false
    color: Qt.rgba(1, 1, 1, 0.92)

    // event: "slice" or "autoSupport"; a ratio of 1 or more ends the run.
    function updateProgress(ratio, cancled, event) {
        if (cancled) {
            visible = false
            return
        }
        if (!visible) {
            prompt.text = event === "autoSupport"
                    ? qsTr("Press Ctrl+C or Escape to cancel generating supports")
                    : qsTr("Press Ctrl+C or Escape to cancel slicing")
        }
        visible = true
        bar.value = ratio
        if (bar.value >= 1.0) {
            visible = false
            bar.value = 0
            if (event === "slice") {
                kalo3dApp.openRadomQueryLink()
                completeDialog.archive = kalo3dApp.cwsFilePath()
                completeDialog.text = qsTr("Slice completed!") + "\n" + qsTr("Total: ") + kalo3dModel.sliceNumber()
                        + qsTr(" layers") + "\n" + qsTr("Time : ") + kalo3dModel.getSliceCostTime()
                        + "\n" + qsTr("Resin: ") + kalo3dModel.getTotalVolume().toFixed(2) + " mL"
                        + "\n" + qsTr("Print time: ") + kalo3dModel.getPrintTime()
                        + "\n" + qsTr("Check: ") + (kalo3dModel.printCheckCounts() || qsTr("No problems found"))
                        + "\n\n" + qsTr("Saved as: ") + completeDialog.archive
                completeDialog.open()
            }
        }
    }

    MouseArea {
        // Clicks on the bar do not reach the 3D view.
        anchors.fill: parent
        acceptedButtons: Qt.AllButtons
        onWheel: wheel.accepted = true
    }

    Column {
        anchors.centerIn: parent
        width: parent.width - 80
        spacing: 8

        Text {
            id: prompt
            objectName: "progressPrompt"
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            font.family: "Arial"
            font.pointSize: 14
            font.bold: true
            color: "#303038"
        }
        ProgressBar {
            id: bar
            objectName: "progressBar"
            width: parent.width
            minimumValue: 0
            maximumValue: 1
        }
    }

    Shortcut {
        objectName: "cancelShortcut"
        sequences: [StandardKey.Cancel, "Ctrl+C", StandardKey.NextChild]
        autoRepeat: false
        enabled: root.visible
        onActivated: kalo3dModel.cancleSlice()
    }
}
