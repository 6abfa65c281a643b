import QtQuick 2.9
import QtQuick.Dialogs 1.2

// "Slice completed" with the layer count and the time of the run.
MessageDialog {
    // The progress bar, reset when the dialog is confirmed.
    property var progress

    title: qsTr("marn3d")
    text: qsTr("切片完成")
    standardButtons: StandardButton.Ok
    onAccepted: {
        progress.visible = false
        progress.value = 0
    }
}
