import QtQuick 2.9
import Kalo3D 1.0

// The left button column: editing pages and commands for the selection, in
// two dark groups. The buttons follow the model manager's status
// (onModelStatus); a page opens beside its button and shows the current
// selection.
Item {
    id: root

    // The item that gets the keyboard focus back when a page closes (the 3D
    // view, so that Delete works again after editing a spin box).
    property Item focusTarget
    // Below 1 the buttons shrink to fit a short window; the pages keep
    // their size.
    property real fit: 1
    // Height (px) at the bottom of the window that the pages leave free: the
    // status bar.
    property real bottomReserve: 0
    // Asked for when the Slice button is pressed.
    signal sliceRequested()

    readonly property real margin: 8
    readonly property var pages: [pageInfo, pageMove, pageScale, pageRotate, pageFlip, pageSupport, pageHollow]

    // The size at full scale.
    width: groups.width
    height: groups.height

    function togglePage(page) {
        if (page.visible) {
            page.visible = false
            return
        }
        for (var i = 0; i < pages.length; ++i)
            pages[i].visible = false
        page.visible = true
    }

    function updatePageData(index) {
        for (var i = 0; i < pages.length; ++i) {
            if (pages[i].visible)
                pages[i].selectionChanged(index)
        }
    }

    function onModelStatus(status, haveSupports, isNormalType) {
        var loaded = status === KaloModel.MODEL_LOADED
        var editable = loaded && kalo3dModel.getSelectedModelIndex() >= 0 && isNormalType
        buttonInfo.enabled = editable
        buttonMove.enabled = editable
        buttonCopy.enabled = editable
        buttonFlip.enabled = editable
        buttonScale.enabled = editable && !haveSupports
        buttonRotate.enabled = editable && !haveSupports
        buttonSupport.enabled = loaded || status === KaloModel.MODEL_SHOW_SLICE
                || status === KaloModel.MODEL_AUTO_GEN_SUPPORT
        // Slicing from the preview ends the preview first.
        buttonSlice.enabled = loaded || status === KaloModel.MODEL_SHOW_SLICE
        buttonLayout.enabled = loaded
        pageFlip.haveSupports = haveSupports
        pageSupport.status = status
        buttonHollow.enabled = editable
        pageHollow.status = status
    }

    // Where y of the unscaled buttons appears in this item.
    function shownY(y) {
        return groups.height / 2 + (y - groups.height / 2) * fit
    }

    // y of a page beside a button at buttonY (both in this item), kept inside
    // the window above the status bar when the window is short.
    function pageY(buttonY, pageHeight) {
        var lowest = (parent ? parent.height : height) - bottomReserve - y - pageHeight - 4
        return Math.max(-y + 4, Math.min(buttonY, lowest))
    }

    function pageClosed() {
        if (focusTarget)
            focusTarget.forceActiveFocus()
    }

    Item {
        id: groups
        width: group1.width
        height: group2.y + group2.height
        scale: root.fit
        transformOrigin: Item.Left

        Rectangle {
            id: group1
            width: column1.width + 2 * root.margin
            height: column1.height + 2 * root.margin
            color: "#404048"
            radius: 10

            Column {
                id: column1
                x: root.margin
                y: root.margin
                spacing: root.margin

                LeftButton {
                    id: buttonInfo
                    objectName: "buttonInfo"
                    iconSource: "qrc:/images/info.png"
                    tip: qsTr("Info")
                    onClicked: root.togglePage(pageInfo)
                    onEnabledChanged: if (!enabled) pageInfo.visible = false
                }
                LeftButton {
                    id: buttonMove
                    objectName: "buttonMove"
                    iconSource: "qrc:/images/move.png"
                    tip: qsTr("Move")
                    onClicked: root.togglePage(pageMove)
                    onEnabledChanged: if (!enabled) pageMove.visible = false
                }
                LeftButton {
                    id: buttonScale
                    objectName: "buttonScale"
                    iconSource: "qrc:/images/scale.png"
                    tip: qsTr("Scale")
                    onClicked: root.togglePage(pageScale)
                    onEnabledChanged: if (!enabled) pageScale.visible = false
                }
                LeftButton {
                    id: buttonRotate
                    objectName: "buttonRotate"
                    iconSource: "qrc:/images/rotate.png"
                    tip: qsTr("Rotate")
                    onClicked: root.togglePage(pageRotate)
                    onEnabledChanged: if (!enabled) pageRotate.visible = false
                }
                LeftButton {
                    id: buttonFlip
                    objectName: "buttonFlip"
                    iconSource: "qrc:/images/flip.png"
                    tip: qsTr("Flip")
                    onClicked: root.togglePage(pageFlip)
                    onEnabledChanged: if (!enabled) pageFlip.visible = false
                }
                LeftButton {
                    id: buttonCopy
                    objectName: "buttonCopy"
                    iconSource: "qrc:/images/copy.png"
                    tip: qsTr("Copy")
                    onClicked: kalo3dModel.copyModel(kalo3dModel.getSelectedModelIndex())
                }
            }
        }

        Rectangle {
            id: group2
            y: group1.height + 2 * root.margin
            width: column2.width + 2 * root.margin
            height: column2.height + 2 * root.margin
            color: "#404048"
            radius: 10

            Column {
                id: column2
                x: root.margin
                y: root.margin
                spacing: root.margin

                LeftButton {
                    id: buttonSupport
                    objectName: "buttonSupport"
                    iconSource: "qrc:/images/support.png"
                    tip: qsTr("Support")
                    onClicked: root.togglePage(pageSupport)
                    onEnabledChanged: if (!enabled) pageSupport.visible = false
                }
                LeftButton {
                    id: buttonHollow
                    objectName: "buttonHollow"
                    iconSource: "qrc:/images/hollow.png"
                    tip: qsTr("Hollow")
                    onClicked: root.togglePage(pageHollow)
                    onEnabledChanged: if (!enabled) pageHollow.visible = false
                }
                LeftButton {
                    id: buttonLayout
                    objectName: "buttonLayout"
                    iconSource: "qrc:/images/layout.png"
                    tip: qsTr("Layout")
                    onClicked: kalo3dModel.autoLayoutModel()
                }
                LeftButton {
                    id: buttonSlice
                    objectName: "buttonSlice"
                    iconSource: "qrc:/images/slice.png"
                    tip: qsTr("Slice")
                    onClicked: root.sliceRequested()
                }
            }
        }
    }

    // The pages, beside the column at their buttons' height.
    readonly property real pageX: width * fit + 10 * dpiRatio

    PageModelInfo {
        id: pageInfo
        objectName: "pageInfo"
        readonly property real buttonY: root.shownY(group1.y + column1.y + buttonInfo.y)
        x: root.pageX
        y: root.pageY(buttonY, height)
        arrowY: buttonY - y + buttonInfo.height * root.fit / 2
        onVisibleChanged: if (!visible) root.pageClosed()
    }
    PageModelMove {
        id: pageMove
        objectName: "pageMove"
        readonly property real buttonY: root.shownY(group1.y + column1.y + buttonMove.y)
        x: root.pageX
        y: root.pageY(buttonY, height)
        arrowY: buttonY - y + buttonMove.height * root.fit / 2
        onVisibleChanged: if (!visible) root.pageClosed()
    }
    PageModelScale {
        id: pageScale
        objectName: "pageScale"
        readonly property real buttonY: root.shownY(group1.y + column1.y + buttonScale.y)
        x: root.pageX
        y: root.pageY(buttonY, height)
        arrowY: buttonY - y + buttonScale.height * root.fit / 2
        onVisibleChanged: if (!visible) root.pageClosed()
    }
    PageModelRotate {
        id: pageRotate
        objectName: "pageRotate"
        readonly property real buttonY: root.shownY(group1.y + column1.y + buttonRotate.y)
        x: root.pageX
        y: root.pageY(buttonY, height)
        arrowY: buttonY - y + buttonRotate.height * root.fit / 2
        onVisibleChanged: if (!visible) root.pageClosed()
    }
    PageModelFlip {
        id: pageFlip
        objectName: "pageFlip"
        readonly property real buttonY: root.shownY(group1.y + column1.y + buttonFlip.y)
        x: root.pageX
        y: root.pageY(buttonY, height)
        arrowY: buttonY - y + buttonFlip.height * root.fit / 2
        onVisibleChanged: if (!visible) root.pageClosed()
    }
    PageModelSupport {
        id: pageSupport
        objectName: "pageSupport"
        readonly property real buttonY: root.shownY(group2.y + column2.y + buttonSupport.y)
        x: root.pageX
        y: root.pageY(buttonY, height)
        arrowY: buttonY - y + buttonSupport.height * root.fit / 2
        onVisibleChanged: if (!visible) root.pageClosed()
    }
    PageModelHollow {
        id: pageHollow
        objectName: "pageHollow"
        readonly property real buttonY: root.shownY(group2.y + column2.y + buttonHollow.y)
        x: root.pageX
        y: root.pageY(buttonY, height)
        arrowY: buttonY - y + buttonHollow.height * root.fit / 2
        onVisibleChanged: if (!visible) root.pageClosed()
    }
}
