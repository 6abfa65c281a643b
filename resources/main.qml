import QtQuick 2.9
import QtQuick.Controls 1.4
import QtQuick.Window 2.3
import QtQuick.Dialogs 1.2
import Kalo3D 1.0
import "qml_model"

// The main window: the 3D view under the panels, the menu, the dialogs and
// the wiring between the model manager's signals and the panels.
ApplicationWindow {
    id: mainWindow
    objectName: "mainWindow"
    visible: true
    width: Screen.width * 0.8
    height: Screen.height * 0.8
    minimumWidth: 800
    minimumHeight: 600
    color: "whitesmoke"
    title: (kalo3dModel.modified ? "*" : "") + projectName + " - " + qsTr("marn3d") + " " + qsTr("Desktop") + " v"
           + kalo3dApp.version() + " " + kalo3dApp.bitInfo()

    // The project's file name, or "Untitled" before it is saved or opened.
    readonly property string projectName: kalo3dApp.prjFile === "" ? qsTr("Untitled")
                                              : kalo3dApp.prjFile.replace(/^.*[\\/]/, "")
    // What waits for the answer to the save question; closing once answered.
    property var pendingAction: null
    property bool closeAnswered: false

    // Runs action now when nothing is unsaved, else after the user has saved
    // or discarded the changes; Cancel, or a save that fails, drops it.
    function whenSaved(action) {
        if (!kalo3dModel.modified) {
            action()
            return
        }
        pendingAction = action
        saveQuestion.text = qsTr("Save changes to %1 before closing?").arg(projectName)
        saveQuestion.open()
    }

    onClosing: {
        if (closeAnswered || !kalo3dModel.modified)
            return
        close.accepted = false
        whenSaved(function() { closeAnswered = true; mainWindow.close() })
    }

    // Opens a model or, once unsaved changes are dealt with, a project.
    function openFile(file) {
        if (/\.kalo3d$/i.test(file.toString()))
            whenSaved(function() { kalo3dApp.open(file) })
        else
            kalo3dApp.open(file)
    }

    // Called by the application object for errors the user must see.
    function showCriticalMsgBox(msg) {
        criticalMsgBox.text = msg
        criticalMsgBox.open()
    }

    // File -> Slice... and the Slice button: asks for the archive, or says
    // why there is nothing to slice.
    function requestSlice() {
        var refusal = kalo3dModel.nothingToSlice()
        if (refusal !== "") {
            showCriticalMsgBox(refusal)
            return
        }
        fileDialog.setMode("Slice")
        fileDialog.open()
    }

    menuBar: MainMenu {
        objectName: "mainMenu"
        fileDialog: fileDialog
        manager: kalo3dModel
        onNewRequested: whenSaved(function() { kalo3dApp.newPrj() })
        onSliceRequested: requestSlice()
        onExitRequested: mainWindow.close()
        onOpenRequested: openFile(file)
    }

    MessageDialog {
        id: settingsQuestion
        objectName: "settingsQuestion"
        title: qsTr("Kalo3D")
        icon: StandardIcon.Question
        standardButtons: StandardButton.Yes | StandardButton.No
        onYes: kalo3dApp.usePrjSettings()
    }

    Connections {
        target: kalo3dApp
        onPrintSettingsOffered: {
            settingsQuestion.text = qsTr("The project was prepared with other print settings:\n%1\n\n"
                                         + "Use these print settings?").arg(description)
            settingsQuestion.open()
        }
    }

    MessageDialog {
        id: saveQuestion
        objectName: "saveQuestion"
        title: qsTr("Kalo3D")
        icon: StandardIcon.Question
        standardButtons: StandardButton.Save | StandardButton.Discard | StandardButton.Cancel
        onAccepted: {
            // Without a name the save dialog asks for one; the user repeats
            // the action once the project is saved.
            if (kalo3dApp.prjFile === "") {
                fileDialog.setMode("Save")
                fileDialog.open()
            } else if (kalo3dApp.savePrj()) {
                var action = pendingAction
                pendingAction = null
                action()
                return
            }
            pendingAction = null
        }
        onDiscard: {
            var action = pendingAction
            pendingAction = null
            action()
        }
        onRejected: pendingAction = null
    }

    Shortcut {
        sequence: "Ctrl+Y"
        enabled: kalo3dModel.canRedo && kalo3dModel.status <= KaloModel.MODEL_LOADED
        onActivated: kalo3dModel.redo()
    }

    MyFileDialog {
        id: fileDialog
        objectName: "fileDialog"
        progress: sliceProgress
        onOpenRequested: openFile(file)
        heightWarning: heightWarning
    }

    HeightWarning {
        id: heightWarning
        objectName: "heightWarning"
        fileDialog: fileDialog
    }

    LeftButtons {
        id: leftButtons
        objectName: "leftButtons"
        x: 0
        z: 1 // the pages open over the 3D view
        anchors.verticalCenter: parent.verticalCenter
        fit: Math.min(1, (parent.height - 8) / height)
        focusTarget: view
        // The pages end above the status bar.
        bottomReserve: parent.height - bottomLabel.y
        onSliceRequested: requestSlice()
    }

    RightTopButtons {
        objectName: "rightTopButtons"
        anchors.right: parent.right
        anchors.top: parent.top
    }

    BottomLabel {
        id: bottomLabel
        objectName: "bottomLabel"
        anchors.horizontalCenter: parent.horizontalCenter
        y: parent.height - height + 4
    }

    // The model manager must exist before the view that paints it.
    KaloModel {
        id: kalo3dModel

        onModelStatusChanged: {
            console.log("status changed to: " + statusNew)
            hint.visible = statusNew === KaloModel.MODEL_INIT
            leftButtons.onModelStatus(statusNew, haveSupports, isNormalType)
            rightSlider.onModelStatus(statusNew, haveSupports, isNormalType)
        }
        onModelSelectionChanged: leftButtons.updatePageData(index)
        onLayerChanged: rightSlider.setLayer(layer)
        onFindingLayerChosen: rightSlider.showLayer(layer)
        onSliceCompletedProgress: sliceProgress.updateProgress(ratio, cancled, event)
        onKaloModelDataChanged: bottomLabel.updateInfo()
        onNotice: statusMessage.show(message)
    }

    Kalo3DView {
        id: view
        objectName: "Kalo3DScene"
        anchors.fill: parent
        z: -3
        manager: kalo3dModel
    }

    SliceProgress {
        id: sliceProgress
        objectName: "sliceProgress"
        z: 2
        width: parent.width
        // Above the status bar, which keeps showing the figures of the run.
        anchors.bottom: bottomLabel.top
        anchors.bottomMargin: 4
        completeDialog: sliceDialog
    }

    SliceDialog {
        id: sliceDialog
        objectName: "sliceDialog"
        progress: sliceProgress
    }

    CriticalMsgBox {
        id: criticalMsgBox
        objectName: "criticalMsgBox"
    }

    StatusMessage {
        id: statusMessage
        objectName: "statusMessage"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: sliceProgress.visible ? sliceProgress.top : bottomLabel.top
        anchors.bottomMargin: 6
        z: 3
    }

    ADLabel {
        objectName: "adLabel"
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 8
        z: -1
    }

    StartCheck {
        objectName: "startCheck"
    }

    RightSlider {
        id: rightSlider
        objectName: "rightSlider"
        anchors.right: parent.right
        anchors.rightMargin: 10
        anchors.verticalCenter: parent.verticalCenter
        height: parent.height - 300
        focusTarget: view
    }

    LayerImagePanel {
        objectName: "layerImagePanel"
        anchors.right: rightSlider.left
        anchors.top: rightSlider.top
    }

    Text {
        id: hint
        objectName: "hintText"
        anchors.centerIn: parent
        font.family: "Arial"
        font.pointSize: 14
        color: "deepskyblue"
        text: qsTr("Drag your model file and drop it here or File -> Open")
    }
}
