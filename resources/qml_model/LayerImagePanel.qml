import QtQuick 2.9
import Kalo3D 1.0

// The layer the slice preview shows, as it will be printed (grey edges
// included), with what the print check finds there in red.
Rectangle {
    id: root

    property int shownLayer: -1
    property int revision: 0

    width: 160
    height: 290
    color: "black"
    border.color: "#808088"
    visible: false

    function reload(force) {
        var layer = kalo3dModel.currentLayer()
        if (!visible || layer < 0 || (layer === shownLayer && !force))
            return
        shownLayer = layer
        revision++
        image.source = "image://layer/" + layer + "/" + revision
    }

    Image {
        id: image
        objectName: "layerImage"
        anchors.fill: parent
        anchors.margins: 2
        fillMode: Image.PreserveAspectFit
        sourceSize: Qt.size(2 * width, 2 * height)
        cache: false
    }

    Connections {
        target: kalo3dModel
        onKaloModelDataChanged: root.reload(false)
        onPrintCheckDone: root.reload(true)
        onModelStatusChanged: {
            root.visible = statusNew === KaloModel.MODEL_SHOW_SLICE
            root.shownLayer = -1
            root.reload(true)
        }
    }
}
