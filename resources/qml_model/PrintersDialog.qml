import QtQuick 2.9
import QtQuick.Controls 1.4
import QtQuick.Dialogs 1.2
import QtQuick.Layouts 1.3

// The "Printers..." page: the built-in printers to look at and copy, the
// user's own to add, edit, copy, delete, import and export. Every change is
// stored at once; a refused one shows why in the line at the bottom.
Dialog {
    id: root

    title: qsTr("Printers")
    standardButtons: StandardButton.Close

    // The printer shown, an index into kalo3dPrinters.names.
    property int current: 0
    property bool builtIn: true

    function show(index) {
        var p = kalo3dPrinters.printer(index)
        if (p.name === undefined)
            return
        current = index
        list.currentIndex = index
        builtIn = p.builtIn
        name.text = p.name
        resolutionX.value = p.resolutionX
        resolutionY.value = p.resolutionY
        sizeX.value = p.sizeX
        sizeY.value = p.sizeY
        buildHeight.value = p.height
        mirrorX.checked = p.mirrorX
        mirrorY.checked = p.mirrorY
        portrait.checked = p.portrait
        format.currentIndex = p.sl1 ? 1 : 0
    }

    function fields() {
        return {
            name: name.text, resolutionX: resolutionX.value, resolutionY: resolutionY.value,
            sizeX: sizeX.value, sizeY: sizeY.value, height: buildHeight.value, mirrorX: mirrorX.checked,
            mirrorY: mirrorY.checked, portrait: portrait.checked, sl1: format.currentIndex === 1
        }
    }

    // Shows the outcome of a change and the printer it concerns.
    function done(message, showName) {
        problem.text = message
        if (message === "")
            show(kalo3dPrinters.names.indexOf(showName) >= 0 ? kalo3dPrinters.names.indexOf(showName) : 0)
    }

    onVisibleChanged: if (visible) { problem.text = ""; show(kalo3dConfig.modelIndex()) }

    FileDialog {
        id: fileDialog
        property bool exporting: false
        selectExisting: !exporting
        nameFilters: [qsTr("Printer files (*.json)")]
        onAccepted: {
            if (exporting) {
                var url = fileUrl.toString()
                if (url.toLowerCase().slice(-5) !== ".json")
                    url += ".json"
                problem.text = kalo3dPrinters.exportFile(root.current, url)
            } else {
                root.done(kalo3dPrinters.importFile(fileUrl), name.text)
            }
        }
    }

    ColumnLayout {
        spacing: 8
        width: 520

        RowLayout {
            spacing: 8
            ComboBox {
                id: list
                objectName: "printersList"
                Layout.preferredWidth: 220
                model: kalo3dPrinters.names
                onActivated: root.show(index)
            }
            Button {
                objectName: "printerAdd"
                text: qsTr("Add")
                onClicked: {
                    var f = root.fields()
                    f.name = qsTr("New printer")
                    var n = 2
                    while (kalo3dPrinters.names.indexOf(f.name) >= 0)
                        f.name = qsTr("New printer") + " " + n++
                    root.done(kalo3dPrinters.save(-1, f), f.name)
                }
            }
            Button {
                objectName: "printerCopy"
                text: qsTr("Copy")
                onClicked: {
                    var before = kalo3dPrinters.names.length
                    var message = kalo3dPrinters.copy(root.current)
                    root.done(message, kalo3dPrinters.names[before])
                }
            }
            Button {
                objectName: "printerDelete"
                text: qsTr("Delete")
                enabled: !root.builtIn
                onClicked: root.done(kalo3dPrinters.remove(root.current), "")
            }
        }

        GridLayout {
            columns: 4
            columnSpacing: 12
            rowSpacing: 6
            enabled: !root.builtIn

            MyText { text: qsTr("Name") }
            TextField { id: name; objectName: "printerName"; Layout.columnSpan: 3; Layout.fillWidth: true }

            MyText { text: qsTr("Resolution X (px)") }
            SpinBox { id: resolutionX; Layout.preferredWidth: 100; objectName: "printerResolutionX"; minimumValue: 1; maximumValue: 32768 }
            MyText { text: qsTr("Resolution Y (px)") }
            SpinBox { id: resolutionY; Layout.preferredWidth: 100; objectName: "printerResolutionY"; minimumValue: 1; maximumValue: 32768 }

            MyText { text: qsTr("Display X (mm)") }
            SpinBox { id: sizeX; Layout.preferredWidth: 100; objectName: "printerSizeX"; minimumValue: 1; maximumValue: 1000; decimals: 3 }
            MyText { text: qsTr("Display Y (mm)") }
            SpinBox { id: sizeY; Layout.preferredWidth: 100; objectName: "printerSizeY"; minimumValue: 1; maximumValue: 1000; decimals: 3 }

            MyText { text: qsTr("Build height (mm)") }
            SpinBox { id: buildHeight; Layout.preferredWidth: 100; objectName: "printerHeight"; minimumValue: 1; maximumValue: 1000 }
            MyText { text: qsTr("Archive") }
            ComboBox { id: format; objectName: "printerFormat"; model: ["CWS", "SL1"] }

            CheckBox { id: mirrorX; objectName: "printerMirrorX"; text: qsTr("Mirror X") }
            CheckBox { id: mirrorY; objectName: "printerMirrorY"; text: qsTr("Mirror Y") }
            CheckBox { id: portrait; objectName: "printerPortrait"; text: qsTr("Portrait") }
        }

        RowLayout {
            spacing: 8
            Button {
                objectName: "printerSave"
                text: qsTr("Save")
                enabled: !root.builtIn
                onClicked: root.done(kalo3dPrinters.save(root.current, root.fields()), name.text)
            }
            Button {
                text: qsTr("Import...")
                onClicked: { fileDialog.exporting = false; fileDialog.open() }
            }
            Button {
                text: qsTr("Export...")
                onClicked: { fileDialog.exporting = true; fileDialog.open() }
            }
        }

        MyText {
            id: problem
            objectName: "printerProblem"
            Layout.fillWidth: true
            color: "firebrick"
            wrapMode: Text.Wrap
        }
    }
}
