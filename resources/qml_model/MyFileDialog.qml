import QtQuick 2.9
import QtQuick.Controls 1.4
import QtQuick.Layouts 1.3
import QtQuick.Window 2.13
import Qt.labs.folderlistmodel 2.12
import Kalo3D 1.0

// The one file dialog, in five modes: "Open" a model or job, "Import" one
// into the scene, "Save" and "SaveAs" the job, and "Slice" to choose the
// print archive, which starts slicing. A window of its own, large enough to
// read long names; filters match any letter case, and a name typed without
// a folder lies in the folder shown (FileNames).
Window {
    id: root

    property string mode: "Open"
    // The progress bar that slicing moves.
    property var progress
    // Asks before a scene that does not fit the printer is sliced.
    property var heightWarning

    // As QtQuick.Dialogs' FileDialog has them.
    property bool selectExisting: true
    property url folder: FileNames.homeFolder()
    property var nameFilters: []
    readonly property string selectedNameFilter: filterBox.currentText
    property url fileUrl
    readonly property var fileUrls: fileUrl.toString() === "" ? [] : [fileUrl]
    // A file picked by addSelection, taken by accept() over the typed name.
    property url selection

    signal accepted()
    signal rejected()
    // A file chosen in "Open" mode; the window opens it, asking first when a
    // project would replace unsaved changes.
    signal openRequested(url file)

    title: qsTr("Please choose a file")
    flags: Qt.Dialog
    modality: Qt.ApplicationModal
    width: Math.min(Screen.desktopAvailableWidth * 0.9, 960)
    height: Math.min(Screen.desktopAvailableHeight * 0.9, 640)
    minimumWidth: 600
    minimumHeight: 400
    visible: false
    color: "whitesmoke"

    function setMode(m) {
        console.log("set mode: " + m)
        mode = m
        selectExisting = m === "Open" || m === "Import"
        nameFilters = FileNames.nameFilters(m, kalo3dPrinters.archiveSuffix())
        filterBox.currentIndex = 0
        // Save proposes the project's own folder and name; the archive of a
        // saved project is named after it.
        var project = kalo3dApp.prjFile
        if (project !== "" && !selectExisting)
            folder = FileNames.folderOf(project)
        if (m === "Save" || m === "SaveAs")
            nameField.text = FileNames.proposedName(project, ".kalo3d")
        else if (m === "Slice")
            nameField.text = FileNames.proposedName(project, kalo3dPrinters.archiveSuffix())
        else
            nameField.text = ""
    }

    function open() {
        problem.text = ""
        selection = ""
        // Over the middle of the main window, which a window manager may not do.
        if (transientParent) {
            x = transientParent.x + Math.max(0, (transientParent.width - width) / 2)
            y = transientParent.y + Math.max(0, (transientParent.height - height) / 2)
        }
        visible = true
        raise()
        requestActivate()
        nameField.forceActiveFocus()
        nameField.selectAll()
    }

    function clearSelection() {
        selection = ""
    }

    // Picks url as typing its path does; false when this mode cannot take it
    // (a folder, or a file that does not exist where one must).
    function addSelection(url) {
        if (FileNames.isFolder(url) || (selectExisting && !FileNames.exists(url)))
            return false
        selection = url
        return true
    }

    function enterFolder(url) {
        folder = url
        view.selection.clear()
        problem.text = ""
    }

    // Takes the picked file, or else the typed name: a folder is entered, a
    // file that must exist and does not is named in the dialog.
    function accept() {
        var chosen = selection.toString() !== "" ? selection : FileNames.resolve(nameField.text, folder)
        selection = ""
        if (chosen.toString() === "")
            return
        if (FileNames.isFolder(chosen)) {
            enterFolder(chosen)
            nameField.text = ""
            return
        }
        if (selectExisting && !FileNames.exists(chosen)) {
            problem.text = qsTr("No such file: %1").arg(nameField.text)
            return
        }
        fileUrl = chosen
        visible = false
        accepted()
    }

    function reject() {
        visible = false
        rejected()
    }

    onClosing: {
        close.accepted = false
        reject()
    }

    // Slices into archive; refused, with a message, when that would
    // overwrite a file the scene came from.
    function startSlicing(archive) {
        // The manager may still refuse the run (and says why).
        if (kalo3dApp.setCwsFile(archive) && kalo3dModel.status === KaloModel.MODEL_SLICING)
            progress.updateProgress(0, false, "slice")
    }

    onAccepted: {
        console.log("You chose: " + fileUrl + " Mode: " + mode)
        if (mode === "Open") {
            openRequested(fileUrl)
        } else if (mode === "Import") {
            kalo3dApp.importFile(fileUrl)
        } else if (mode === "Save" || mode === "SaveAs") {
            kalo3dApp.prjFile = FileNames.withSuffix(fileUrl, ".kalo3d")
            kalo3dApp.savePrj()
        } else if (mode === "Slice") {
            var archive = FileNames.withSuffix(fileUrl, kalo3dPrinters.archiveSuffix())
            var warning = kalo3dApp.sliceWarning()
            if (warning === "")
                startSlicing(archive)
            else
                heightWarning.ask(warning, archive)
        }
    }
    onRejected: console.log("Canceled")

    FolderListModel {
        id: folderModel
        objectName: "folderModel"
        folder: root.folder
        nameFilters: FileNames.patterns(filterBox.currentText)
        caseSensitive: false
        showDirsFirst: true
        showDotAndDotDot: false
    }

    Shortcut {
        sequence: "Escape"
        onActivated: root.reject()
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 8
        spacing: 6

        RowLayout {
            Layout.fillWidth: true
            Button {
                objectName: "folderUp"
                text: qsTr("Up")
                tooltip: qsTr("The folder above this one")
                onClicked: root.enterFolder(FileNames.parentFolder(root.folder))
            }
            Button {
                text: qsTr("Home")
                onClicked: root.enterFolder(FileNames.homeFolder())
            }
            TextField {
                id: pathField
                objectName: "pathField"
                Layout.fillWidth: true
                text: decodeURIComponent(root.folder.toString().replace(/^file:\/\//, ""))
                onAccepted: {
                    var url = FileNames.resolve(text, root.folder)
                    if (FileNames.isFolder(url))
                        root.enterFolder(url)
                }
            }
        }

        TableView {
            id: view
            objectName: "fileList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            model: folderModel

            function isFolder(row) {
                return row >= 0 && folderModel.isFolder(row)
            }

            onClicked: {
                if (!isFolder(row))
                    nameField.text = folderModel.get(row, "fileName")
            }
            onActivated: {
                if (isFolder(row)) {
                    root.enterFolder(folderModel.get(row, "fileURL"))
                } else {
                    nameField.text = folderModel.get(row, "fileName")
                    root.accept()
                }
            }

            TableViewColumn {
                role: "fileName"
                title: qsTr("Name")
                // Names get what the size and date leave.
                width: Math.max(200, view.viewport.width - 290)
                delegate: Text {
                    text: styleData.value + (view.isFolder(styleData.row) ? "/" : "")
                    color: styleData.textColor
                    elide: Text.ElideMiddle
                    verticalAlignment: Text.AlignVCenter
                    leftPadding: 4
                }
            }
            TableViewColumn {
                role: "fileSize"
                title: qsTr("Size")
                width: 100
                delegate: Text {
                    text: view.isFolder(styleData.row) || styleData.value === undefined ? ""
                          : styleData.value < 1024 ? styleData.value + " B"
                          : styleData.value < 1048576 ? Math.round(styleData.value / 1024) + " kB"
                          : (styleData.value / 1048576).toFixed(1) + " MB"
                    color: styleData.textColor
                    horizontalAlignment: Text.AlignRight
                    verticalAlignment: Text.AlignVCenter
                    rightPadding: 6
                }
            }
            TableViewColumn {
                role: "fileModified"
                title: qsTr("Modified")
                width: 180
                delegate: Text {
                    text: styleData.value === undefined ? "" : Qt.formatDateTime(styleData.value, "yyyy-MM-dd hh:mm")
                    color: styleData.textColor
                    verticalAlignment: Text.AlignVCenter
                    leftPadding: 4
                }
            }
        }

        Text {
            id: problem
            objectName: "fileProblem"
            Layout.fillWidth: true
            visible: text !== ""
            color: "firebrick"
            elide: Text.ElideMiddle
        }

        RowLayout {
            Layout.fillWidth: true
            Label {
                text: qsTr("File name:")
            }
            TextField {
                id: nameField
                objectName: "nameField"
                Layout.fillWidth: true
                onAccepted: root.accept()
            }
            ComboBox {
                id: filterBox
                objectName: "filterBox"
                Layout.preferredWidth: 380
                model: root.nameFilters
            }
            Button {
                text: qsTr("Cancel")
                onClicked: root.reject()
            }
            Button {
                objectName: "acceptButton"
                text: root.selectExisting ? qsTr("Open") : qsTr("Save")
                isDefault: true
                onClicked: root.accept()
            }
        }
    }
}
