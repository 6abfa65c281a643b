import QtQuick 2.9
import QtQuick.Controls 1.4
import Kalo3D 1.0

// The "File" menu.
Menu {
    // The file dialog the items open.
    property var fileDialog
    // The model manager, whose runs keep the scene from changing.
    property var manager: null
    // Neither slicing nor generating supports: the scene may change, and a
    // new run may start.
    readonly property bool idle: manager !== null && manager.status !== KaloModel.MODEL_SLICING
                                 && manager.status !== KaloModel.MODEL_AUTO_GEN_SUPPORT

    // File -> New and Exit: the window asks first when there are unsaved changes.
    signal newRequested()
    signal exitRequested()
    // A file of File -> Recent, to open as File -> Open would.
    signal openRequested(url file)
    // File -> Slice...: the window asks for the archive or says why not.
    signal sliceRequested()

    function openDialog(mode) {
        fileDialog.setMode(mode)
        fileDialog.open()
    }

    title: qsTr("&File")

    MenuItem {
        objectName: "menuNew"
        text: qsTr("&New")
        shortcut: StandardKey.New
        enabled: idle
        onTriggered: newRequested()
    }
    MenuItem {
        objectName: "menuOpen"
        text: qsTr("Open")
        shortcut: StandardKey.Open
        enabled: idle
        onTriggered: openDialog("Open")
    }
    MenuItem {
        objectName: "menuImport"
        text: qsTr("&Import...")
        enabled: idle
        onTriggered: openDialog("Import")
    }
    Menu {
        id: recentMenu
        objectName: "menuRecent"
        title: qsTr("&Recent")
        enabled: idle && kalo3dApp.recentFiles.length > 0

        Instantiator {
            model: kalo3dApp.recentFiles
            MenuItem {
                text: (index + 1) + "  " + modelData.replace(/^.*[\\/]/, "")
                onTriggered: openRequested(kalo3dApp.fileUrl(modelData))
            }
            onObjectAdded: recentMenu.insertItem(index, object)
            onObjectRemoved: recentMenu.removeItem(object)
        }
    }
    MenuSeparator {}
    MenuItem {
        objectName: "menuSave"
        text: qsTr("&Save")
        shortcut: StandardKey.Save
        // A job saved once is saved again to the same file without asking.
        onTriggered: {
            if (kalo3dApp.prjFile === "")
                openDialog("Save")
            else
                kalo3dApp.savePrj()
        }
    }
    MenuItem {
        objectName: "menuSaveAs"
        text: qsTr("Save &As...")
        shortcut: StandardKey.SaveAs
        onTriggered: openDialog("SaveAs")
    }
    MenuSeparator {}
    MenuItem {
        objectName: "menuSlice"
        text: qsTr("Slice...")
        enabled: idle
        onTriggered: sliceRequested()
    }
    MenuSeparator {}
    MenuItem {
        objectName: "menuExit"
        text: qsTr("Exit")
        shortcut: StandardKey.Quit
        onTriggered: exitRequested()
    }
}
