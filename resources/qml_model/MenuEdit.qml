import QtQuick 2.9
import QtQuick.Controls 1.4
import Kalo3D 1.0

// The "Edit" menu: undo and redo of scene edits (Ctrl+Y also redoes, see main.qml).
Menu {
    // The model manager whose history the items move through.
    property var manager

    // Undo and redo are refused during runs and the slice preview.
    readonly property bool editable: manager !== null && manager.status <= KaloModel.MODEL_LOADED

    title: qsTr("&Edit")

    MenuItem {
        objectName: "menuUndo"
        text: qsTr("&Undo")
        shortcut: "Ctrl+Z"
        enabled: editable && manager.canUndo
        onTriggered: manager.undo()
    }
    MenuItem {
        objectName: "menuRedo"
        text: qsTr("&Redo")
        shortcut: "Ctrl+Shift+Z"
        enabled: editable && manager.canRedo
        onTriggered: manager.redo()
    }
}
