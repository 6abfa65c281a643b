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
    height: 350

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
