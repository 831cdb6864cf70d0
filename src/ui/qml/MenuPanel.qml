import QtQuick

// The tray panel. Its settings rows arrive with the panel's own work; until
// then it names the application.
Rectangle {
    width: 260
    height: 220
    radius: 10
    color: "#f4f4f6"
    border.color: "#d0d0d6"

    Column {
        anchors.fill: parent
        anchors.margins: 16
        spacing: 8
        Text { text: "Sayvo"; font.pixelSize: 15; font.bold: true; color: "#1f1f24" }
    }
}
