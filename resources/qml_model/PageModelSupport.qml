import QtQuick 2.9
import QtQuick.Controls 1.4
import QtQuick.Layouts 1.3
import Kalo3D 1.0

// Supports: base plates, automatic and manual supports, and the dimensions
// of the columns built from now on (mm). Hiding the page ends manual mode.
PageTemplate {
    id: root

    // The model manager's status, for the buttons.
    property int status: KaloModel.MODEL_INIT

    width: 350
    height: 520

    // The tipped columns' values as the preset set them.
    function refreshShape() {
        tipDiameter.value = supportConfig.tipDiameter()
        tipLength.value = supportConfig.tipLength()
        contactDepth.value = supportConfig.contactDepth()
        bodyDiameter.value = supportConfig.bodyDiameter()
        spacing.value = supportConfig.overhangSpacing()
        criticalAngle.value = supportConfig.criticalAngle()
        preset.currentIndex = supportConfig.preset()
    }

    onVisibleChanged: {
        if (!visible) {
            manual.checked = false
            kalo3dModel.setManualAddingSupport(false)
        }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 8
        spacing: 6

        RowLayout {
            spacing: 8
            Button {
                objectName: "addSupportBase"
                text: qsTr("Add+Update Support")
                enabled: root.status === KaloModel.MODEL_LOADED
                onClicked: kalo3dModel.addSupportBase(thickness.value)
            }
            MyText { text: qsTr("Thickness:") }
            SpinBoxArial {
                id: thickness
                objectName: "baseThickness"
                Layout.preferredWidth: 78
                decimals: 1
                minimumValue: 0.1
                maximumValue: 3
                stepSize: 0.5
                value: 1
                suffix: "mm"
            }
        }
        RowLayout {
            spacing: 8
            Button {
                objectName: "addSupportAuto"
                text: qsTr("Add support auto smart")
                enabled: root.status === KaloModel.MODEL_LOADED
                onClicked: kalo3dModel.addSupportAuto(thickness.value)
            }
            CheckBox {
                id: manual
                objectName: "manualSupport"
                text: qsTr("Add support manually")
                enabled: root.status === KaloModel.MODEL_LOADED || root.status === KaloModel.MODEL_SHOW_SLICE
                onClicked: kalo3dModel.setManualAddingSupport(checked)
            }
        }
        RowLayout {
            spacing: 8
            ComboBox {
                id: mode
                objectName: "supportMode"
                Layout.preferredWidth: 170
                model: [qsTr("Islands only"), qsTr("Islands and overhangs")]
                currentIndex: supportConfig.mode()
                onActivated: supportConfig.setMode(index)
            }
            ComboBox {
                id: preset
                objectName: "supportPreset"
                enabled: mode.currentIndex === 1
                model: [qsTr("Light"), qsTr("Medium"), qsTr("Heavy"), qsTr("Custom")]
                currentIndex: supportConfig.preset()
                onActivated: {
                    supportConfig.setPreset(index)
                    root.refreshShape()
                }
            }
        }
        RowLayout {
            spacing: 8
            Button {
                objectName: "removeSupports"
                text: qsTr("Remove supports")
                enabled: root.status === KaloModel.MODEL_LOADED
                onClicked: kalo3dModel.removeSupports()
            }
        }
        // Values of the tipped columns; changing one makes the preset Custom.
        GridLayout {
            visible: mode.currentIndex === 1
            columns: 4
            rowSpacing: 2
            columnSpacing: 4
            MyText { text: qsTr("Tip:") }
            SpinBoxArial {
                id: tipDiameter
                objectName: "tipDiameter"
                Layout.preferredWidth: 88
                decimals: 2; minimumValue: 0.2; maximumValue: 1; stepSize: 0.05; suffix: "mm"
                value: supportConfig.tipDiameter()
                onValueChanged: { supportConfig.setTipDiameter(value); preset.currentIndex = supportConfig.preset() }
            }
            MyText { text: qsTr("Tip length:") }
            SpinBoxArial {
                id: tipLength
                objectName: "tipLength"
                Layout.preferredWidth: 88
                decimals: 1; minimumValue: 0.5; maximumValue: 5; stepSize: 0.5; suffix: "mm"
                value: supportConfig.tipLength()
                onValueChanged: { supportConfig.setTipLength(value); preset.currentIndex = supportConfig.preset() }
            }
            MyText { text: qsTr("Depth:") }
            SpinBoxArial {
                id: contactDepth
                objectName: "contactDepth"
                Layout.preferredWidth: 88
                decimals: 2; minimumValue: 0.1; maximumValue: 0.5; stepSize: 0.05; suffix: "mm"
                value: supportConfig.contactDepth()
                onValueChanged: { supportConfig.setContactDepth(value); preset.currentIndex = supportConfig.preset() }
            }
            MyText { text: qsTr("Body:") }
            SpinBoxArial {
                id: bodyDiameter
                objectName: "bodyDiameter"
                Layout.preferredWidth: 88
                decimals: 1; minimumValue: 0.5; maximumValue: 3; stepSize: 0.1; suffix: "mm"
                value: supportConfig.bodyDiameter()
                onValueChanged: { supportConfig.setBodyDiameter(value); preset.currentIndex = supportConfig.preset() }
            }
            MyText { text: qsTr("Spacing:") }
            SpinBoxArial {
                id: spacing
                objectName: "supportSpacing"
                Layout.preferredWidth: 88
                decimals: 1; minimumValue: 1; maximumValue: 10; stepSize: 0.5; suffix: "mm"
                value: supportConfig.overhangSpacing()
                onValueChanged: { supportConfig.setOverhangSpacing(value); preset.currentIndex = supportConfig.preset() }
            }
            MyText { text: qsTr("Angle:") }
            SpinBoxArial {
                id: criticalAngle
                objectName: "criticalAngle"
                Layout.preferredWidth: 88
                decimals: 0; minimumValue: 20; maximumValue: 80; stepSize: 5; suffix: "°"
                value: supportConfig.criticalAngle()
                onValueChanged: { supportConfig.setCriticalAngle(value); preset.currentIndex = supportConfig.preset() }
            }
        }
        RowLayout {
            spacing: 8
            Button {
                objectName: "checkPrint"
                text: qsTr("Check print")
                enabled: root.status === KaloModel.MODEL_LOADED || root.status === KaloModel.MODEL_SHOW_SLICE
                onClicked: {
                    checkCounts.text = qsTr("Checking...")
                    kalo3dModel.checkPrint()
                }
            }
            MyText {
                id: checkCounts
                objectName: "checkCounts"
                Layout.fillWidth: true
                elide: Text.ElideRight
            }
        }
        // The findings of the last check; choosing one opens the preview at its layer.
        ListView {
            id: findings
            objectName: "findingsList"
            Layout.fillWidth: true
            Layout.preferredHeight: 72
            clip: true
            model: []
            delegate: Text {
                width: findings.width
                text: modelData.text
                font.family: "Arial"
                font.pointSize: 9
                color: modelData.kind === "overhang" ? "#C07000" : "#C00060"
                elide: Text.ElideRight
                MouseArea {
                    anchors.fill: parent
                    onClicked: kalo3dModel.showFinding(index)
                }
            }
            Connections {
                target: kalo3dModel
                onPrintCheckDone: {
                    findings.model = kalo3dModel.printCheckList()
                    var counts = kalo3dModel.printCheckCounts()
                    checkCounts.text = counts === "" ? qsTr("No problems found") : counts
                }
            }
        }
        RowLayout {
            spacing: 4
            Layout.fillHeight: true
            visible: mode.currentIndex === 0

            GroupBox {
                title: qsTr("Radius:")
                Layout.fillHeight: true
                GridLayout {
                    columns: 2
                    rowSpacing: 4
                    columnSpacing: 4
                    MyText { text: qsTr("Head top:") }
                    SpinBoxArial {
                        objectName: "headTopRadius"
                        Layout.preferredWidth: 78
                        decimals: 1
                        minimumValue: 0.2
                        maximumValue: 3
                        stepSize: 0.1
                        suffix: "mm"
                        value: supportConfig.headTopRadius()
                        onValueChanged: supportConfig.setHeadTopRadius(value)
                    }
                    MyText { text: qsTr("Head bottom:") }
                    SpinBoxArial {
                        objectName: "headBottomRadius"
                        Layout.preferredWidth: 78
                        decimals: 1
                        minimumValue: 0.2
                        maximumValue: 3
                        stepSize: 0.2
                        suffix: "mm"
                        value: supportConfig.headBottomRadius()
                        onValueChanged: supportConfig.setHeadBottomRadius(value)
                    }
                    MyText { text: qsTr("Foot top:") }
                    SpinBoxArial {
                        objectName: "footTopRadius"
                        Layout.preferredWidth: 78
                        decimals: 1
                        minimumValue: 0.2
                        maximumValue: 3
                        stepSize: 0.2
                        suffix: "mm"
                        value: supportConfig.footTopRadius()
                        onValueChanged: supportConfig.setFootTopRadius(value)
                    }
                    MyText { text: qsTr("Foot bottom:") }
                    SpinBoxArial {
                        objectName: "footBottomRadius"
                        Layout.preferredWidth: 78
                        decimals: 1
                        minimumValue: 0.2
                        maximumValue: 3
                        stepSize: 0.2
                        suffix: "mm"
                        value: supportConfig.footBottomRadius()
                        onValueChanged: supportConfig.setFootBottomRadius(value)
                    }
                }
            }
            GroupBox {
                title: qsTr("Height:")
                Layout.fillHeight: true
                Layout.alignment: Qt.AlignTop
                GridLayout {
                    columns: 2
                    rowSpacing: 4
                    columnSpacing: 4
                    MyText { text: qsTr("Head:") }
                    SpinBoxArial {
                        objectName: "headHeight"
                        Layout.preferredWidth: 78
                        decimals: 1
                        minimumValue: 0.2
                        maximumValue: 10
                        stepSize: 0.2
                        suffix: "mm"
                        value: supportConfig.headHeight()
                        onValueChanged: supportConfig.setHeadHeight(value)
                    }
                    MyText { text: qsTr("Foot:") }
                    SpinBoxArial {
                        objectName: "footHeight"
                        Layout.preferredWidth: 78
                        decimals: 1
                        minimumValue: 0.2
                        maximumValue: 10
                        stepSize: 0.2
                        suffix: "mm"
                        value: supportConfig.footHeight()
                        onValueChanged: supportConfig.setFootHeight(value)
                    }
                }
            }
        }
    }
}
