import QtQuick 2.9
import QtQuick.Controls 1.4

// The "File" menu.
Menu {
    // The file dialog the items open.
    property var fileDialog

    // File -> New and Exit: the window asks first when there are unsaved changes.
    signal newRequested()
    signal exitRequested()
    // A file of File -> Recent, to open as File -> Open would.
    signal openRequested(url file)

    function openDialog(mode) {
        fileDialog.setMode(mode)
        fileDialog.open()
    }

    title: qsTr("&File")

    MenuItem {
        objectName: "menuNew"
        text: qsTr("&New")
        shortcut: StandardKey.New
        onTriggered: newRequested()
    }
    MenuItem {
        objectName: "menuOpen"
        text: qsTr("Open")
        shortcut: StandardKey.Open
        onTriggered: openDialog("Open")
    }
    MenuItem {
        objectName: "menuImport"
        text: qsTr("&Import...")
        onTriggered: openDialog("Import")
    }
    Menu {
        id: recentMenu
        objectName: "menuRecent"
        title: qsTr("&Recent")
        enabled: kalo3dApp.recentFiles.length > 0

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
        onTriggered: openDialog("Slice")
    }
    MenuSeparator {}
    MenuItem {
        objectName: "menuExit"
        text: qsTr("Exit")
        shortcut: StandardKey.Quit
        onTriggered: exitRequested()
    }
}
