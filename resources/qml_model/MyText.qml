import QtQuick 2.9

// Text in the interface's font.
Text {
    font.family: "Arial"
    font.pointSize: 10
    color: "#202028"
    verticalAlignment: Text.AlignVCenter
}
