import QtQuick 2.9

// Rotation of the selected model about x, y and z, degrees. Every change of
// a box turns the model at once; values loaded from the model are not sent
// back to it.
PageTemplate {
    id: root

    // True while the boxes take values from the model.
    property bool loading: false

    width: 150
    height: 150

    function apply() {
        if (!loading)
            kalo3dModel.setSelectedModelRotate(boxX.value, boxY.value, boxZ.value)
    }
    function load(x, y, z) {
        loading = true
        boxX.value = x
        boxY.value = y
        boxZ.value = z
        loading = false
    }

    onSelectionChanged: {
        var r = kalo3dModel.getSelectedModelRotate()
        load(Number(r[0]), Number(r[1]), Number(r[2]))
    }

    Column {
        anchors.centerIn: parent
        spacing: 6

        Grid {
            columns: 2
            columnSpacing: 6
            rowSpacing: 6
            verticalItemAlignment: Grid.AlignVCenter

            MyText { text: qsTr("X:") }
            SpinBoxArial {
                id: boxX
                objectName: "rotateX"
                decimals: 2
                minimumValue: -180
                maximumValue: 180
                stepSize: 1
                onValueChanged: root.apply()
            }
            MyText { text: qsTr("Y:") }
            SpinBoxArial {
                id: boxY
                objectName: "rotateY"
                decimals: 2
                minimumValue: -180
                maximumValue: 180
                stepSize: 1
                onValueChanged: root.apply()
            }
            MyText { text: qsTr("Z:") }
            SpinBoxArial {
                id: boxZ
                objectName: "rotateZ"
                decimals: 2
                minimumValue: -180
                maximumValue: 180
                stepSize: 1
                onValueChanged: root.apply()
            }
        }
        ButtonReset {
            objectName: "rotateReset"
            anchors.right: parent.right
            onClicked: {
                root.load(0, 0, 0)
                root.apply()
            }
        }
    }
}
