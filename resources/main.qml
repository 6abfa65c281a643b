import QtQuick 2.9
import QtQuick.Window 2.3
import QtQuick.Dialogs 1.2
import Kalo3D 1.0
import "qml_model"

Window {
    id: mainWindow
    visible: true
    width: 1280
    height: 800
    title: qsTr("Kalo3D") + " " + kalo3dApp.version()

    // The model manager must exist before the view that paints it.
    KaloModel {
        id: kalo3dModel
    }

    Kalo3DView {
        objectName: "Kalo3DScene"
        anchors.fill: parent
        z: -3
        manager: kalo3dModel
    }

    MessageDialog {
        id: criticalMsgBox
        objectName: "criticalMsgBox"
        title: qsTr("Error")
        icon: StandardIcon.Critical
    }

    function showCriticalMsgBox(message) {
        criticalMsgBox.text = message
        criticalMsgBox.open()
    }
}
