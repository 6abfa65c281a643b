import QtQuick 2.9
import "RemoteEndpoints.js" as Endpoints

// A line of news from the maker at the bottom right; links open in the
// browser. Empty when nothing could be fetched.
Text {
    id: root

    textFormat: Text.RichText
    font.family: "Arial"
    font.pointSize: 10
    color: "steelblue"
    linkColor: "steelblue"
    onLinkActivated: kalo3dApp.openLink(link)

    RemoteText {
        source: Endpoints.adText
        onReceived: root.text = text
    }
}
