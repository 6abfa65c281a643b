import QtQuick 2.9
import QtQuick.Controls 1.4

// The "Edit" menu: undo and redo of scene edits (Ctrl+Y also redoes, see main.qml).
Menu {
    // The model manager whose history the items move through.
    property var manager

    title: qsTr("&Edit")

    MenuItem {
        objectName: "menuUndo"
        text: qsTr("&Undo")
        shortcut: "Ctrl+Z"
        enabled: manager !== null && manager.canUndo
        onTriggered: manager.undo()
    }
    MenuItem {
        objectName: "menuRedo"
        text: qsTr("&Redo")
        shortcut: "Ctrl+Shift+Z"
        enabled: manager !== null && manager.canRedo
        onTriggered: manager.redo()
    }
}
