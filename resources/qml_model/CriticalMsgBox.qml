import QtQuick 2.9
import QtQuick.Dialogs 1.2

// Errors the user must see: a file that cannot be read or written.
MessageDialog {
    title: qsTr("Kalo3D")
    icon: StandardIcon.Critical
    standardButtons: StandardButton.Ok
    onAccepted: console.log("accept: " + text)
}
