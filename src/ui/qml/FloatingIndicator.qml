import QtQuick

// The dictation indicator: a dark rounded panel with the placeholder text and
// a close button. Live level and text arrive with the indicator's own work.
Item {
    id: root
    width: 360
    height: 140

    Rectangle {
        anchors.fill: parent
        anchors.margins: 10
        radius: 16
        color: Qt.rgba(0, 0, 0, 0.88)
        border.color: Qt.rgba(1, 1, 1, 0.1)
        border.width: 1

        Text {
            anchors.centerIn: parent
            text: "请开始说话..."
            color: Qt.rgba(1, 1, 1, 0.5)
            font.pixelSize: 13
        }

        Text {
            id: closeGlyph
            anchors.top: parent.top
            anchors.right: parent.right
            anchors.margins: 12
            text: "✕"
            color: Qt.rgba(1, 1, 1, closeArea.containsMouse ? 0.9 : 0.5)
            font.pixelSize: 12
            MouseArea {
                id: closeArea
                anchors.fill: parent
                anchors.margins: -6
                hoverEnabled: true
                onClicked: surface.requestClose()
            }
        }
    }
}
