import QtQuick 2.9
import "RemoteEndpoints.js" as Endpoints

// Fetches one text by HTTP GET once the component is complete, without
// delaying anything: no answer, an error or an empty text within the time
// limit leave it silent.
Timer {
    id: root

    property string source
    property var request: null

    // A non-empty answer arrived.
    signal received(string text)

    interval: Endpoints.timeoutMs
    onTriggered: {
        if (request)
            request.abort()
        request = null
    }

    Component.onCompleted: {
        if (source === "")
            return
        var xhr = new XMLHttpRequest()
        xhr.onreadystatechange = function() {
            if (xhr.readyState !== XMLHttpRequest.DONE || request !== xhr)
                return
            request = null
            root.stop()
            if (xhr.status === 200 && xhr.responseText.trim() !== "")
                root.received(xhr.responseText)
        }
        request = xhr
        xhr.open("GET", source)
        xhr.send()
        start()
    }
}
