import QtQuick 2.9

// Camera buttons at the top right: "+" brings the scene closer, "-" moves it
// away, the house returns to the starting view.
Item {
    id: root

    width: 150
    height: 120
    z: 10

    Row {
        anchors.right: parent.right
        anchors.rightMargin: 16
        anchors.top: parent.top
        anchors.topMargin: 14
        spacing: 10

        ImageOnButton40 {
            objectName: "zoomOutButton"
            anchors.verticalCenter: parent.verticalCenter
            source: "qrc:/images/zoom_out.png"
            opacity: zoomOut.pressed ? 0.6 : 1
            MouseArea {
                id: zoomOut
                anchors.fill: parent
                onClicked: kalo3dModel.zoomOut()
            }
        }
        ImageOnButton40 {
            objectName: "zoomInButton"
            anchors.verticalCenter: parent.verticalCenter
            source: "qrc:/images/zoom_in.png"
            opacity: zoomIn.pressed ? 0.6 : 1
            MouseArea {
                id: zoomIn
                anchors.fill: parent
                onClicked: kalo3dModel.zoomIn()
            }
        }
        ImageOnButton40 {
            objectName: "homeButton"
            width: 50
            height: 50
            source: "qrc:/images/view_home.png"
            opacity: home.pressed ? 0.6 : 1
            MouseArea {
                id: home
                anchors.fill: parent
                onClicked: kalo3dModel.resetViewPrj()
            }
        }
    }
}
