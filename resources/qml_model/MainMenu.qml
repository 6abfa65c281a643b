import QtQuick 2.9
import QtQuick.Controls 1.4
import QtQuick.Controls.Styles 1.4

// The menu bar.
MenuBar {
    id: root

    // The file dialog the menu opens.
    property var fileDialog
    // The model manager the Edit menu undoes and redoes in.
    property var manager: null

    signal newRequested()
    signal exitRequested()
    signal openRequested(url file)
    signal sliceRequested()

    style: MenuBarStyle {
        font.family: "Microsoft Yahei, Consolas"
        font.pointSize: 9
        background: Rectangle {
            gradient: Gradient {
                GradientStop { position: 0.0; color: "white" }
                GradientStop { position: 0.4; color: "#D4DBED" }
                GradientStop { position: 1.0; color: "#E1E6F6" }
            }
        }
        menuStyle: MenuStyle {
            font.family: "Microsoft Yahei, Consolas"
            font.pointSize: 9
            frame: Rectangle {
                color: "#F0F0F0"
                border.color: "#C8C8D0"
            }
        }
    }

    MenuFile {
        objectName: "menuFile"
        fileDialog: root.fileDialog
        manager: root.manager
        onNewRequested: root.newRequested()
        onExitRequested: root.exitRequested()
        onOpenRequested: root.openRequested(file)
        onSliceRequested: root.sliceRequested()
    }
    MenuEdit {
        objectName: "menuEdit"
        manager: root.manager
    }
}
