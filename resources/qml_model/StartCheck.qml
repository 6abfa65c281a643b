import QtQuick 2.9
import QtQuick.Dialogs 1.2
import "RemoteEndpoints.js" as Endpoints

// A notice from the maker shown once at start-up, when one is published.
Item {
    RemoteText {
        source: Endpoints.notice
        onReceived: {
            notice.text = text
            notice.open()
        }
    }

    MessageDialog {
        id: notice
        objectName: "startNotice"
        title: qsTr("Kalo3D")
        standardButtons: StandardButton.Ok
    }
}
