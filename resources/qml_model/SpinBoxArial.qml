import QtQuick 2.9
import QtQuick.Controls 1.4
import QtQuick.Controls.Styles 1.4

// A spin box in the interface's font.
SpinBox {
    implicitWidth: 90
    style: SpinBoxStyle {
        font.family: "Arial"
        font.pointSize: 10
    }
}
