import QtQuick 2.9
import QtQuick.Dialogs 1.2
import Kalo3D 1.0

// The one file dialog, in four modes: "Open" a model or job, "Save" and
// "SaveAs" the job, and "Slice" to choose the print archive, which starts
// slicing.
FileDialog {
    id: root

    property string mode: "Open"
    // The progress bar that slicing moves.
    property var progress
    // Asks before a scene that does not fit the printer is sliced.
    property var heightWarning

    // A file chosen in "Open" mode; the window opens it, asking first when a
    // project would replace unsaved changes.
    signal openRequested(url file)

    title: qsTr("Please choose a file")
    folder: shortcuts.home

    function setMode(m) {
        console.log("set mode: " + m)
        mode = m
        selectExisting = m === "Open" || m === "Import"
        if (m === "Open" || m === "Import")
            nameFilters = [qsTr("All model files (*.stl *.obj *.kalo3d)"), qsTr("Kalo3D jobs (*.kalo3d)")]
        else if (m === "Slice" && kalo3dPrinters.archiveSuffix() === ".sl1")
            nameFilters = [qsTr("SL1 archive (*.sl1)")]
        else if (m === "Slice")
            nameFilters = [qsTr("Kalo3D CWS (*.CWS)")]
        else
            nameFilters = [qsTr("Kalo3D jobs (*.kalo3d)")]
    }

    // Slices into archive; refused, with a message, when that would
    // overwrite a file the scene came from.
    function startSlicing(archive) {
        // The manager may still refuse the run (and says why).
        if (kalo3dApp.setCwsFile(archive) && kalo3dModel.status === KaloModel.MODEL_SLICING)
            progress.updateProgress(0, false, "slice")
    }

    // A name typed without the file type gets it, so that the file shows up
    // under the filter it was saved with.
    function withSuffix(url, suffix) {
        var text = url.toString()
        return text.toLowerCase().slice(-suffix.length) === suffix ? text : text + suffix
    }

    onAccepted: {
        console.log("You chose: " + fileUrls + " Mode: " + mode)
        if (mode === "Open") {
            openRequested(fileUrl)
        } else if (mode === "Import") {
            kalo3dApp.importFile(fileUrl)
        } else if (mode === "Save" || mode === "SaveAs") {
            kalo3dApp.prjFile = withSuffix(fileUrl, ".kalo3d")
            kalo3dApp.savePrj()
        } else if (mode === "Slice") {
            var archive = withSuffix(fileUrl, kalo3dPrinters.archiveSuffix())
            var warning = kalo3dApp.sliceWarning()
            if (warning === "")
                startSlicing(archive)
            else
                heightWarning.ask(warning, archive)
        }
    }
    onRejected: console.log("Canceled")
}
