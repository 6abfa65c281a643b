import QtQuick 2.9
import QtQuick.Controls 1.4
import QtQuick.Layouts 1.3
import Kalo3D 1.0

// Hollowing of the selected model: the wall it keeps (mm), a lattice of
// inner walls that stiffens it, and the drain holes that let the resin out. While "Drain hole" is checked a click on
// the model adds a hole there; hiding the page ends that mode.
PageTemplate {
    id: root

    // The model manager's status, for the buttons.
    property int status: KaloModel.MODEL_INIT
    readonly property bool editable: status === KaloModel.MODEL_LOADED && selectedIndex >= 0
    property int selectedIndex: -1
    property real wall: 0
    property real latticeSpacing: 0

    width: 350
    height: 330

    function refresh() {
        selectedIndex = kalo3dModel.getSelectedModelIndex()
        wall = kalo3dModel.selectedWall()
        if (wall > 0)
            wallBox.value = wall
        latticeSpacing = kalo3dModel.selectedLatticeSpacing()
        lattice.checked = latticeSpacing > 0
        if (latticeSpacing > 0)
            latticeSpacingBox.value = latticeSpacing
        holes.model = kalo3dModel.drainHoleList()
    }

    onSelectionChanged: refresh()
    onVisibleChanged: {
        if (!visible) {
            holeMode.checked = false
            kalo3dModel.setDrainHoleMode(false)
        }
    }
    Connections {
        target: kalo3dModel
        function onHollowingChanged() { root.refresh() }
    }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 8
        spacing: 6

        MyText {
            objectName: "hollowState"
            text: root.selectedIndex < 0 ? qsTr("Select a model to hollow it")
                : root.wall > 0 ? qsTr("Hollow, wall %1 mm").arg(root.wall.toFixed(1)) + (root.latticeSpacing > 0
                    ? qsTr(", lattice every %1 mm").arg(root.latticeSpacing) : "") : qsTr("Solid")
        }
        RowLayout {
            spacing: 8
            MyText { text: qsTr("Wall:") }
            SpinBoxArial {
                id: wallBox
                objectName: "wallThickness"
                Layout.preferredWidth: 78
                decimals: 1
                minimumValue: 0.5
                maximumValue: 10
                stepSize: 0.5
                value: 2
                suffix: "mm"
            }
            Button {
                objectName: "hollow"
                text: qsTr("Hollow")
                enabled: root.editable
                onClicked: kalo3dModel.hollowSelected(wallBox.value, lattice.checked ? latticeSpacingBox.value : 0)
            }
            Button {
                objectName: "makeSolid"
                text: qsTr("Make solid")
                enabled: root.editable && root.wall > 0
                onClicked: kalo3dModel.hollowSelected(0)
            }
        }
        RowLayout {
            spacing: 8
            CheckBox {
                id: lattice
                objectName: "lattice"
                text: qsTr("Lattice every")
            }
            SpinBoxArial {
                id: latticeSpacingBox
                objectName: "latticeSpacing"
                Layout.preferredWidth: 78
                enabled: lattice.checked
                decimals: 0
                minimumValue: 5
                maximumValue: 50
                stepSize: 5
                value: 10
                suffix: "mm"
            }
        }
        RowLayout {
            spacing: 8
            CheckBox {
                id: holeMode
                objectName: "drainHoleMode"
                text: qsTr("Drain hole")
                enabled: root.editable && root.wall > 0
                onClicked: kalo3dModel.setDrainHoleMode(checked)
                onEnabledChanged: if (!enabled && checked) { checked = false; kalo3dModel.setDrainHoleMode(false) }
            }
            MyText { text: qsTr("Diameter:") }
            SpinBoxArial {
                objectName: "drainHoleDiameter"
                Layout.preferredWidth: 78
                decimals: 1
                minimumValue: 1
                maximumValue: 10
                stepSize: 0.5
                value: 3
                suffix: "mm"
                onValueChanged: kalo3dModel.setDrainHoleDiameter(value)
            }
        }
        Button {
            objectName: "addDrainHoles"
            text: qsTr("Add drain holes")
            enabled: root.editable && root.wall > 0
            onClicked: kalo3dModel.addDrainHolesAuto()
        }
        MyText { text: qsTr("Drain holes:") }
        ListView {
            id: holes
            objectName: "drainHoleList"
            Layout.fillWidth: true
            Layout.fillHeight: true
            clip: true
            model: []
            delegate: RowLayout {
                width: holes.width
                Text {
                    Layout.fillWidth: true
                    text: modelData.text
                    font.family: "Arial"
                    font.pointSize: 9
                    elide: Text.ElideRight
                }
                Button {
                    text: qsTr("Remove")
                    enabled: root.editable
                    onClicked: kalo3dModel.removeDrainHole(index)
                }
            }
        }
    }
}
