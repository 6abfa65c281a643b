import QtQuick 2.9
import QtQuick.Dialogs 1.2

// Asked before slicing a scene that reaches beyond the printable area or
// above the printer's build height: Yes slices anyway into archive, Cancel
// slices nothing.
MessageDialog {
    // The file dialog that chose the archive, which starts the run.
    property var fileDialog
    property url archive

    function ask(warning, chosen) {
        archive = chosen
        text = warning + "\n\n" + qsTr("Slice anyway?")
        open()
    }

    title: qsTr("Kalo3D")
    icon: StandardIcon.Warning
    standardButtons: StandardButton.Yes | StandardButton.Cancel
    onYes: fileDialog.startSlicing(archive)
}
