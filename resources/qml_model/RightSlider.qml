import QtQuick 2.9
import QtQuick.Controls 1.4
import QtQuick.Controls.Styles 1.4
import QtQuick.Controls 2.2 as C2
import Kalo3D 1.0

// The slice preview: a check box that switches it on and a vertical slider
// that chooses the layer shown, with the layer number and its height beside
// the handle. The slider takes the keys while the preview is on: Up and Down
// step one layer, as a wheel notch does, Page Up and Page Down ten, Home and
// End go to the first and last layer.
Item {
    id: root

    readonly property color orange: Qt.rgba(237 / 255, 107 / 255, 21 / 255, 1)
    // Gets the keys back when the preview ends.
    property Item focusTarget

    width: 100

    // The preview has layers 0 ... layer - 1.
    function setLayer(layer) {
        slider.maximumValue = layer - 1
    }

    // The preview, switched on by the model manager, shows layer.
    function showLayer(layer) {
        showSlice.checked = true
        slider.value = layer
    }

    function onModelStatus(status, haveSupports, isNormalType) {
        showSlice.enabled = status === KaloModel.MODEL_LOADED || status === KaloModel.MODEL_SHOW_SLICE
        // The box shows whether the preview is on, whoever ended it.
        if (status !== KaloModel.MODEL_SHOW_SLICE)
            showSlice.checked = false
    }

    Slider {
        id: slider
        objectName: "layerSlider"
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: showSlice.top
        anchors.bottomMargin: 10
        width: 40
        orientation: Qt.Vertical
        minimumValue: 0
        maximumValue: 100
        stepSize: 1
        updateValueWhileDragging: true
        enabled: showSlice.enabled && showSlice.checked

        activeFocusOnPress: true

        // Moves the handle by steps layers, within the preview's layers.
        function step(steps) {
            value = Math.max(minimumValue, Math.min(maximumValue, value + steps))
        }

        onEnabledChanged: {
            value = minimumValue
            if (enabled)
                forceActiveFocus()
            else if (root.focusTarget)
                root.focusTarget.forceActiveFocus()
        }
        onValueChanged: {
            if (enabled && showSlice.checked)
                kalo3dModel.setCurrentLayer(value)
        }
        Keys.onPressed: {
            var steps = {}
            steps[Qt.Key_Up] = 1
            steps[Qt.Key_Down] = -1
            steps[Qt.Key_PageUp] = 10
            steps[Qt.Key_PageDown] = -10
            if (event.key === Qt.Key_Home)
                value = minimumValue
            else if (event.key === Qt.Key_End)
                value = maximumValue
            else if (steps[event.key] !== undefined)
                step(steps[event.key])
            else if (event.key === Qt.Key_Delete)
                kalo3dModel.deleteSelectedModel() // as in the view: a support may go during the preview
            else
                return
            event.accepted = true
        }

        style: SliderStyle {
            groove: Rectangle {
                implicitHeight: 6
                radius: 3
                color: control.enabled ? "#B0B0B8" : "#D8D8DC"
            }
            handle: Rectangle {
                implicitWidth: 30
                implicitHeight: 24
                radius: 4
                color: control.enabled ? root.orange : "#C8C8CC"
                border.color: Qt.darker(color, 1.2)
            }
        }
    }

    // One layer per wheel notch; a touchpad's small steps add up.
    MouseArea {
        objectName: "layerWheel"
        anchors.fill: slider
        enabled: slider.enabled
        acceptedButtons: Qt.NoButton
        property real pending: 0
        onWheel: {
            pending += wheel.angleDelta.y / 120
            var steps = pending > 0 ? Math.floor(pending) : Math.ceil(pending)
            pending -= steps
            slider.step(steps)
            wheel.accepted = true
        }
    }

    // The layer number and the height of its top, pointing at the handle.
    Image {
        id: tip
        objectName: "layerTip"
        readonly property real track: slider.height - 30
        visible: slider.enabled
        source: "qrc:/images/slice_tip_arrow.png"
        width: 84
        height: 40
        anchors.right: slider.left
        y: slider.y - 5 + track - track * slider.value / Math.max(1, slider.maximumValue)

        Text {
            objectName: "layerTipText"
            x: 0
            width: 76
            height: parent.height
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            font.family: "Arial"
            font.pointSize: 9
            color: "white"
            text: slider.value + "\n" + Number(kalo3dModel.layerTop(slider.value).toFixed(3)) + " mm"
        }
    }

    Rectangle {
        id: showSlice
        objectName: "showSliceBox"

        property bool checked: false

        anchors.bottom: parent.bottom
        anchors.horizontalCenter: slider.horizontalCenter
        width: 40
        height: 40
        radius: 6
        color: checked ? root.orange : "transparent"
        enabled: false
        opacity: enabled ? 1 : 0.4

        Image {
            anchors.fill: parent
            source: showSlice.checked ? "qrc:/images/show_slice.png" : "qrc:/images/show_slice_unchecked.png"
            smooth: true
            mipmap: true
        }
        MouseArea {
            id: boxMouse
            anchors.fill: parent
            hoverEnabled: true
            // The manager may refuse: the box shows what it answered.
            onClicked: showSlice.checked = kalo3dModel.setShowSliceEnable(!showSlice.checked)
        }

        C2.ToolTip.visible: boxMouse.containsMouse && !checked
        C2.ToolTip.delay: 100
        C2.ToolTip.timeout: 5000
        C2.ToolTip.text: qsTr("Show 3D slice")
    }
}
