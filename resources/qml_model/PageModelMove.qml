import QtQuick 2.9
import QtQuick.Controls 1.4

// Position of the selected model, mm. Every change of a box moves the model
// at once; values loaded from the model are not sent back to it.
PageTemplate {
    id: root

    // True while the boxes take values from the model.
    property bool loading: false

    width: 300
    height: 150

    function apply() {
        if (!loading)
            kalo3dModel.setSelectedModelTranslate(boxX.value, boxY.value, boxZ.value)
    }
    function load(x, y, z) {
        loading = true
        boxX.value = x
        boxY.value = y
        boxZ.value = z
        loading = false
    }

    onSelectionChanged: {
        var t = kalo3dModel.getSelectedModelTranslate()
        load(Number(t[0]), Number(t[1]), Number(t[2]))
    }

    Grid {
        anchors.left: parent.left
        anchors.leftMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        columns: 2
        columnSpacing: 8
        rowSpacing: 8
        verticalItemAlignment: Grid.AlignVCenter

        MyText { text: qsTr("X:") }
        SpinBoxArial {
            id: boxX
            objectName: "moveX"
            width: 120
            decimals: 3
            minimumValue: -1000
            maximumValue: 1000
            stepSize: 1
            suffix: "mm"
            onValueChanged: root.apply()
        }
        MyText { text: qsTr("Y:") }
        SpinBoxArial {
            id: boxY
            objectName: "moveY"
            width: 120
            decimals: 3
            minimumValue: -1000
            maximumValue: 1000
            stepSize: 1
            suffix: "mm"
            onValueChanged: root.apply()
        }
        MyText { text: qsTr("Z:") }
        SpinBoxArial {
            id: boxZ
            objectName: "moveZ"
            width: 120
            decimals: 3
            minimumValue: -1000
            maximumValue: 1000
            stepSize: 1
            suffix: "mm"
            onValueChanged: root.apply()
        }
    }

    Column {
        anchors.right: parent.right
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        spacing: 12

        Button {
            objectName: "dockToBottom"
            width: 110
            text: qsTr("Dock to bottom")
            // The model is already there: only the box follows.
            onClicked: {
                var z = kalo3dModel.moveToBottom()
                root.loading = true
                boxZ.value = z
                root.loading = false
            }
        }
        ButtonReset {
            objectName: "moveReset"
            anchors.horizontalCenter: parent.horizontalCenter
            onClicked: {
                root.load(0, 0, 0)
                root.apply()
            }
        }
    }
}
