import QtQuick 2.9

// A short answer above the status bar: why an action did nothing, or how a
// run ended. It stays for a few seconds; a new message replaces it.
Rectangle {
    id: root

    property alias text: label.text

    function show(message) {
        label.text = message
        visible = true
        hide.restart()
    }

    width: label.implicitWidth + 24
    height: label.implicitHeight + 12
    radius: 5
    color: "#404048"
    visible: false

    MyText {
        id: label
        objectName: "statusMessageText"
        anchors.centerIn: parent
        color: "white"
    }

    Timer {
        id: hide
        interval: 5000
        onTriggered: root.visible = false
    }
}
