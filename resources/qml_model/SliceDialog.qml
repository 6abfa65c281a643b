import QtQuick 2.9
import QtQuick.Controls 1.4
import QtQuick.Dialogs 1.2
import QtQuick.Layouts 1.3

// "Slice completed" with the layer count, the time of the run and where the
// archive went, and a button that shows the archive's folder.
Dialog {
    id: root

    // The progress bar, reset when the dialog is confirmed.
    property var progress
    property string text: qsTr("Slice completed!")
    // The archive's full path.
    property string archive

    title: qsTr("marn3d")
    standardButtons: StandardButton.Ok
    onAccepted: {
        progress.visible = false
        progress.value = 0
    }

    ColumnLayout {
        spacing: 12

        MyText {
            objectName: "sliceDialogText"
            // A long path wraps instead of widening the dialog past the screen.
            Layout.preferredWidth: Math.max(360, Math.min(implicitWidth, 560))
            wrapMode: Text.WrapAnywhere
            text: root.text
        }
        Button {
            objectName: "openFolderButton"
            text: qsTr("Open folder")
            onClicked: kalo3dApp.openFolder(root.archive)
        }
    }
}
