import QtQuick 2.9

// Size (mm) and volume (mL) of the selected model.
PageTemplate {
    id: root

    width: 150
    height: 120

    onSelectionChanged: {
        var info = index >= 0 ? kalo3dModel.getSelectedModelInfo() : ["-", "-", "-", "-"]
        sizeX.text = info[0]
        sizeY.text = info[1]
        sizeZ.text = info[2]
        volume.text = info[3]
    }

    // The figures follow every change while the page is open: a layout may
    // turn the selection by 90°.
    Connections {
        target: kalo3dModel
        onKaloModelDataChanged: {
            if (root.visible)
                root.selectionChanged(kalo3dModel.getSelectedModelIndex())
        }
    }

    Grid {
        anchors.centerIn: parent
        columns: 3
        columnSpacing: 6
        rowSpacing: 6
        verticalItemAlignment: Grid.AlignVCenter

        MyText { text: qsTr("X") }
        MyText { id: sizeX; objectName: "infoX"; text: "-"; horizontalAlignment: Text.AlignRight; width: 46 }
        MyText { text: "mm" }
        MyText { text: qsTr("Y") }
        MyText { id: sizeY; objectName: "infoY"; text: "-"; horizontalAlignment: Text.AlignRight; width: 46 }
        MyText { text: "mm" }
        MyText { text: qsTr("Z") }
        MyText { id: sizeZ; objectName: "infoZ"; text: "-"; horizontalAlignment: Text.AlignRight; width: 46 }
        MyText { text: "mm" }
        MyText { text: qsTr("Volume") }
        MyText { id: volume; objectName: "infoVolume"; text: "-"; horizontalAlignment: Text.AlignRight; width: 46 }
        MyText { text: "mL" }
    }
}
