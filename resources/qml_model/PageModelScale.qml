import QtQuick 2.9
import QtQuick.Controls 1.4

// Scale factors of the selected model. While "Scale All" is on, Y and Z
// follow X. Every change scales the model at once; values loaded from the
// model are not sent back to it.
PageTemplate {
    id: root

    // True while the boxes take values from the model.
    property bool loading: false

    width: 230
    height: 180

    function apply() {
        if (loading)
            return
        if (scaleAll.checked)
            kalo3dModel.setSelectedModelScale(boxX.value, boxX.value, boxX.value)
        else
            kalo3dModel.setSelectedModelScale(boxX.value, boxY.value, boxZ.value)
    }
    function load(x, y, z) {
        loading = true
        boxX.value = x
        boxY.value = y
        boxZ.value = z
        loading = false
    }
    // Y and Z show X while "Scale All" is on.
    function followX() {
        if (scaleAll.checked)
            load(boxX.value, boxX.value, boxX.value)
    }

    onSelectionChanged: {
        var s = kalo3dModel.getSelectedModelScale()
        loading = true
        scaleAll.checked = Number(s[0]) === Number(s[1]) && Number(s[1]) === Number(s[2])
        loading = false
        load(Number(s[0]), Number(s[1]), Number(s[2]))
    }

    Grid {
        anchors.left: parent.left
        anchors.leftMargin: 14
        anchors.verticalCenter: parent.verticalCenter
        columns: 2
        columnSpacing: 6
        rowSpacing: 8
        verticalItemAlignment: Grid.AlignVCenter

        MyText { text: qsTr("X:") }
        SpinBoxArial {
            id: boxX
            objectName: "scaleX"
            decimals: 3
            minimumValue: -100
            maximumValue: 100
            stepSize: 0.1
            onValueChanged: {
                if (root.loading)
                    return
                root.followX()
                root.apply()
            }
        }
        MyText { text: qsTr("Y:") }
        SpinBoxArial {
            id: boxY
            objectName: "scaleY"
            enabled: !scaleAll.checked
            decimals: 3
            minimumValue: -100
            maximumValue: 100
            stepSize: 0.1
            onValueChanged: root.apply()
        }
        MyText { text: qsTr("Z") }
        SpinBoxArial {
            id: boxZ
            objectName: "scaleZ"
            enabled: !scaleAll.checked
            decimals: 3
            minimumValue: -100
            maximumValue: 100
            stepSize: 0.1
            onValueChanged: root.apply()
        }
        Item { width: 1; height: 1 }
        CheckBox {
            id: scaleAll
            objectName: "scaleAll"
            text: qsTr("Scale All")
            checked: true
            onCheckedChanged: {
                if (root.loading)
                    return
                root.followX()
                root.apply()
            }
        }
    }

    ButtonReset {
        objectName: "scaleReset"
        anchors.right: parent.right
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        onClicked: {
            root.load(1, 1, 1)
            root.apply()
        }
    }
}
