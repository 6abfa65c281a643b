import QtQuick 2.9
import Kalo3D 1.0

// The 3D view: the scene item with the mouse and keys that steer the model
// manager. Positions go to the manager in the view's logical pixels.
Kalo3DScene {
    id: view

    // The KaloModel that paints the scene and receives the input.
    property var manager

    focus: true
    Keys.onDeletePressed: manager.deleteSelectedModel()
    Keys.onPressed: {
        if (event.key === Qt.Key_Home) {
            manager.resetViewPrj()
            event.accepted = true
        }
    }

    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.LeftButton | Qt.RightButton

        property point pressPosition
        property point previousPosition
        property real pressTime: 0

        onPressed: {
            pressPosition = Qt.point(mouse.x, mouse.y)
            pressTime = new Date().getTime()
            previousPosition = pressPosition
            view.manager.onMousePressed(mouse.button, mouse.x, mouse.y)
        }
        onPositionChanged: {
            var button = 3
            if (mouse.buttons & Qt.LeftButton)
                button = 1
            else if (mouse.buttons & Qt.RightButton)
                button = 2
            var position = Qt.point(mouse.x, mouse.y)
            view.manager.onMousePressedMove(button, pressPosition, previousPosition, position)
            previousPosition = position
        }
        onReleased: {
            previousPosition = Qt.point(mouse.x, mouse.y)
            view.manager.onMouseReleased(mouse.button, mouse.x, mouse.y)
        }
        // A click is a short press that did not move.
        onClicked: {
            if (new Date().getTime() - pressTime < 300 && previousPosition.x === pressPosition.x
                    && previousPosition.y === pressPosition.y)
                view.manager.onMouseClicked(mouse.button, mouse.x, mouse.y)
        }
        onWheel: view.manager.onWheel(wheel.angleDelta)
    }
}
