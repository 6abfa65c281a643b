import QtQuick 2.9
import QtQuick.Controls 1.4
import QtQuick.Dialogs 1.2
import QtQuick.Layouts 1.3

// Printer, resin, layer thickness, exposures, anti-aliasing and the lift
// movement. Opening shows the stored settings; choosing a printer, a resin or
// a thickness proposes the preset values for it; OK stores and saves them.
Dialog {
    id: root

    // True while resetValue fills the boxes: its own thickness change is no
    // new choice of the user.
    property bool filling: false

    title: qsTr("Slice config")
    standardButtons: StandardButton.Ok | StandardButton.Cancel | StandardButton.RestoreDefaults

    // "K20C, 0.05mm": printer model and layer thickness as the dialog shows them.
    function summary() {
        return kalo3dPrinters.names[printer.currentIndex] + ", " + thickness.value + "mm"
    }

    // Proposes the preset of printer and resin at thicknessUm (µm; 0 keeps
    // the preset's thickness) and the standard lift.
    function resetValue(printerIndex, resinIndex, thicknessUm) {
        var config = kalo3dConfig.getConfig(printerIndex, resinIndex, thicknessUm)
        filling = true
        resin.currentIndex = Number(config[0])
        thickness.value = Number(config[1]) / 1000
        bottomLayers.value = Number(config[2])
        bottomExposure.value = Number(config[3]) / 1000
        exposure.value = Number(config[4]) / 1000
        liftHeight.value = 4.0
        liftUpSpeed.value = 100
        liftDownSpeed.value = 100
        waitAfterStop.value = 2.0
        filling = false
    }

    function loadLift() {
        liftHeight.value = kalo3dConfig.liftHeight
        liftUpSpeed.value = kalo3dConfig.liftUpSpeed
        liftDownSpeed.value = kalo3dConfig.liftDownSpeed
        waitAfterStop.value = kalo3dConfig.waitSecAfterStop
    }

    function load() {
        filling = true
        printer.currentIndex = kalo3dConfig.modelIndex()
        resin.currentIndex = kalo3dConfig.resinIndex()
        thickness.value = kalo3dConfig.thicknessUM() / 1000
        bottomLayers.value = kalo3dConfig.bottomLayerNum()
        bottomExposure.value = kalo3dConfig.bottomExpoMS() / 1000
        exposure.value = kalo3dConfig.normalExpoMS() / 1000
        antialias.checked = kalo3dConfig.useAntialise()
        antialiasValue.value = kalo3dConfig.antiAliseValue()
        loadLift()
        filling = false
    }

    // Every opening starts from the stored settings, so that a cancelled
    // edit is not offered again.
    onVisibleChanged: if (visible) load()

    onAccepted: {
        kalo3dConfig.setModelIndex(printer.currentIndex)
        kalo3dConfig.setResinIndex(resin.currentIndex)
        kalo3dConfig.setThicknessMM(thickness.value)
        kalo3dConfig.setBottomLayerNum(bottomLayers.value)
        kalo3dConfig.setBottomExpoSec(bottomExposure.value)
        kalo3dConfig.setNormalExpoSec(exposure.value)
        kalo3dConfig.useAntialise(antialias.checked)
        kalo3dConfig.antiAliseValue(antialiasValue.value)
        kalo3dConfig.save()
        kalo3dConfig.liftHeight = liftHeight.value
        kalo3dConfig.liftUpSpeed = liftUpSpeed.value
        kalo3dConfig.liftDownSpeed = liftDownSpeed.value
        kalo3dConfig.waitSecAfterStop = waitAfterStop.value
    }
    onRejected: loadLift()
    // Restore Defaults fills in what a first start has for the chosen
    // printer and resin (anti-aliasing on, factor 2) and leaves the dialog open.
    onActionChosen: {
        if (action.button !== StandardButton.RestoreDefaults)
            return
        action.accepted = false
        resetValue(printer.currentIndex, resin.currentIndex, 0)
        antialias.checked = true
        antialiasValue.value = 2
    }

    ColumnLayout {
        id: content
        spacing: 8
        width: 560

        GridLayout {
            columns: 2
            columnSpacing: 16
            rowSpacing: 8
            Layout.fillWidth: true

            MyText { text: qsTr("Printer Model") }
            RowLayout {
                ComboBox {
                    id: printer
                    objectName: "printerBox"
                    Layout.preferredWidth: 160
                    model: kalo3dPrinters.names
                    currentIndex: kalo3dConfig.modelIndex()
                    onActivated: root.resetValue(index, resin.currentIndex, 0)
                }
                Button {
                    objectName: "printersButton"
                    text: qsTr("Printers...")
                    onClicked: {
                        printersDialog.chosenName = kalo3dPrinters.names[printer.currentIndex]
                        printersDialog.open()
                    }
                }
                PrintersDialog {
                    id: printersDialog
                    property string chosenName
                    // The list may have changed: keep the choice by name.
                    onVisibleChanged: {
                        if (!visible)
                            printer.currentIndex = Math.max(0, kalo3dPrinters.names.indexOf(chosenName))
                    }
                }
            }

            MyText { text: qsTr("Resin type") }
            ComboBox {
                id: resin
                objectName: "resinBox"
                Layout.preferredWidth: 160
                model: modelResinTypes
                currentIndex: kalo3dConfig.resinIndex()
                onActivated: root.resetValue(printer.currentIndex, index, 0)
            }

            MyText { text: qsTr("Thickness") }
            SpinBoxArial {
                id: thickness
                objectName: "thicknessBox"
                Layout.preferredWidth: 160
                minimumValue: 0.01
                maximumValue: 0.1
                stepSize: 0.005
                decimals: 3
                suffix: " mm"
                value: kalo3dConfig.thicknessUM() / 1000
                onValueChanged: {
                    if (root.visible && !root.filling)
                        root.resetValue(printer.currentIndex, resin.currentIndex, Math.round(1000 * value))
                }
            }

            MyText { text: qsTr("Bottom layers") }
            SpinBoxArial {
                id: bottomLayers
                objectName: "bottomLayersBox"
                Layout.preferredWidth: 160
                minimumValue: 0
                maximumValue: 10
                stepSize: 1
                suffix: " layers"
                value: kalo3dConfig.bottomLayerNum()
            }

            MyText { text: qsTr("Bottom layers exposure time") }
            SpinBoxArial {
                id: bottomExposure
                objectName: "bottomExposureBox"
                Layout.preferredWidth: 160
                minimumValue: 1
                maximumValue: kalo3dConfig.getMaxExpoSec()
                stepSize: 0.5
                decimals: 1
                suffix: " seconds"
                value: kalo3dConfig.bottomExpoMS() / 1000
            }

            MyText { text: qsTr("Exposure time") }
            SpinBoxArial {
                id: exposure
                objectName: "exposureBox"
                Layout.preferredWidth: 160
                minimumValue: 1
                maximumValue: kalo3dConfig.getMaxExpoSec()
                stepSize: 0.5
                decimals: 1
                suffix: " seconds"
                value: kalo3dConfig.normalExpoMS() / 1000
            }

            MyText { text: qsTr("Anti-aliasing") }
            RowLayout {
                spacing: 10
                CheckBox {
                    id: antialias
                    objectName: "antialiasBox"
                    checked: kalo3dConfig.useAntialise()
                }
                SpinBoxArial {
                    id: antialiasValue
                    objectName: "antialiasValueBox"
                    Layout.preferredWidth: 70
                    enabled: antialias.checked
                    minimumValue: 2
                    maximumValue: 5
                    stepSize: 0.5
                    decimals: 1
                    value: kalo3dConfig.antiAliseValue()
                }
                MyText {
                    textFormat: Text.StyledText
                    font.pointSize: 8
                    color: "#606068"
                    text: qsTr("Notice: <br>The larger the value the smoother,<br>but slicing slower")
                }
            }
        }

        // The drawer of the lift settings.
        Rectangle {
            id: drawer
            objectName: "liftDrawer"
            property bool open: false
            Layout.fillWidth: true
            Layout.preferredHeight: 15
            radius: 3
            gradient: Gradient {
                GradientStop { position: 0.0; color: "#F4F4F6" }
                GradientStop { position: 1.0; color: "#C8C8CE" }
            }
            Image {
                anchors.centerIn: parent
                width: 16
                height: 10
                source: "qrc:/images/arrow.png"
                rotation: drawer.open ? 180 : 0
                Behavior on rotation { NumberAnimation { duration: 150 } }
            }
            MouseArea {
                anchors.fill: parent
                onClicked: drawer.open = !drawer.open
            }
        }

        RowLayout {
            visible: drawer.open
            spacing: 16

            GridLayout {
                columns: 2
                columnSpacing: 16
                rowSpacing: 8

                MyText { text: qsTr("Lift total height(mm)") }
                SpinBoxArial {
                    id: liftHeight
                    objectName: "liftHeightBox"
                    Layout.preferredWidth: 100
                    minimumValue: 3.0
                    maximumValue: 12.0
                    stepSize: 1
                    decimals: 1
                    value: kalo3dConfig.liftHeight
                }
                MyText { text: qsTr("Lift up speed(mm/min)") }
                SpinBoxArial {
                    id: liftUpSpeed
                    objectName: "liftUpSpeedBox"
                    Layout.preferredWidth: 100
                    minimumValue: 20
                    maximumValue: 200
                    stepSize: 5
                    value: kalo3dConfig.liftUpSpeed
                }
                MyText { text: qsTr("Lift down speed(mm/min)") }
                SpinBoxArial {
                    id: liftDownSpeed
                    objectName: "liftDownSpeedBox"
                    Layout.preferredWidth: 100
                    minimumValue: 20
                    maximumValue: 200
                    stepSize: 5
                    value: kalo3dConfig.liftDownSpeed
                }
                MyText { text: qsTr("Wait after stop(seconds)") }
                SpinBoxArial {
                    id: waitAfterStop
                    objectName: "waitAfterStopBox"
                    Layout.preferredWidth: 100
                    minimumValue: 0
                    maximumValue: 3
                    stepSize: 0.5
                    decimals: 1
                    value: kalo3dConfig.waitSecAfterStop
                }
            }
            ButtonReset {
                objectName: "liftReset"
                Layout.alignment: Qt.AlignBottom
                onClicked: root.loadLift()
            }
        }
    }
}
