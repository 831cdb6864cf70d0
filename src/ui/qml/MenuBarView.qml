import QtQuick
import QtQuick.Controls

// The tray panel: engine, API key, hotkey capture, permissions and quit.
// Everything it shows comes from "panel"; "surface" closes the window. The
// desktop's palette gives the text and background colours, so the panel
// follows a light or a dark theme.
Item {
    id: root

    readonly property color primary: palette.windowText
    readonly property color secondary: Qt.rgba(primary.r, primary.g, primary.b, 0.6)
    readonly property color controlBackground: palette.base
    readonly property color hoverBackground: Qt.rgba(palette.highlight.r, palette.highlight.g,
                                                      palette.highlight.b, 0.5)
    readonly property color systemBlue: "#007AFF"
    readonly property color systemGray: "#8E8E93"
    readonly property color systemGreen: "#34C759"
    readonly property color systemRed: "#FF3B30"
    readonly property string monospace: "monospace"

    // The width is the one the application asks the panel for.
    implicitHeight: column.implicitHeight + 2
    focus: true

    // Escape in the field or during a capture never reaches here.
    Keys.onEscapePressed: surface.requestClose()

    SystemPalette { id: palette; colorGroup: SystemPalette.Active }

    function icon(name, color) {
        return "image://icons/" + name + "/" + String(color).substring(1);
    }

    Rectangle {
        anchors.fill: parent
        color: palette.window
        border.color: palette.mid
        border.width: 1
    }

    Column {
        id: column
        x: 1
        y: 1
        width: parent.width - 2
        spacing: 0

        // Engine, key and hint.
        Column {
            objectName: "apiKeySection"
            width: parent.width
            padding: 12
            spacing: 8

            Item {
                width: parent.width - 24
                height: Math.max(engineLabel.implicitHeight, badge.height)
                Text {
                    id: engineLabel
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("识别引擎")
                    font.pixelSize: 12
                    color: root.secondary
                }
                Rectangle {
                    id: badge
                    objectName: "engineBadge"
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    width: badgeText.implicitWidth + 12
                    height: badgeText.implicitHeight + 4
                    radius: height / 2
                    color: panel.useAliyunASR ? root.systemBlue : root.systemGray
                    Accessible.role: Accessible.StaticText
                    Accessible.name: qsTr("识别引擎：%1").arg(panel.engineBadge)
                    Text {
                        id: badgeText
                        anchors.centerIn: parent
                        text: panel.engineBadge
                        font.pixelSize: 10
                        font.weight: Font.Medium
                        color: "white"
                    }
                }
            }

            Row {
                width: parent.width - 24
                spacing: 6

                Rectangle {
                    width: parent.width - editButton.width - parent.spacing
                    height: Math.max(24, (panel.editing ? keyField.implicitHeight
                                                        : keyText.implicitHeight + 12))
                    radius: 4
                    color: root.controlBackground

                    Text {
                        id: keyText
                        objectName: "keyRow"
                        visible: !panel.editing
                        anchors.fill: parent
                        anchors.margins: 6
                        verticalAlignment: Text.AlignVCenter
                        elide: Text.ElideRight
                        text: panel.keyRowText
                        font.pixelSize: 11
                        color: panel.keyEmpty ? root.secondary : root.primary
                        Accessible.role: Accessible.StaticText
                        Accessible.name: qsTr("API Key：%1").arg(text)
                    }

                    TextField {
                        id: keyField
                        objectName: "keyField"
                        visible: panel.editing
                        anchors.fill: parent
                        padding: 6
                        placeholderText: "API Key"
                        placeholderTextColor: root.secondary
                        text: panel.apiKeyInput
                        color: root.primary
                        font.pixelSize: 11
                        font.family: root.monospace
                        selectByMouse: true
                        background: null
                        Accessible.name: "API Key"
                        onTextEdited: panel.apiKeyInput = text
                        onAccepted: panel.submitAPIKey()
                        // The first Escape drops the edit; the next one closes the panel.
                        Keys.onEscapePressed: event => {
                            panel.cancelAPIKeyEditing()
                            event.accepted = true
                        }
                        // Hidden, it would keep the focus, and Escape would reach nobody.
                        onVisibleChanged: visible ? forceActiveFocus() : root.forceActiveFocus()
                    }
                }

                AbstractButton {
                    id: editButton
                    objectName: "editButton"
                    width: 24
                    height: 24
                    text: panel.editing ? qsTr("保存 API Key") : qsTr("编辑 API Key")
                    focusPolicy: Qt.TabFocus
                    Accessible.onPressAction: clicked()
                    Accessible.name: text
                    background: FocusFrame {
                        control: editButton
                        color: root.controlBackground
                    }
                    contentItem: Image {
                        anchors.centerIn: parent
                        sourceSize: Qt.size(12, 12)
                        source: panel.editing ? root.icon("checkmark", root.systemGreen)
                                              : root.icon("pencil", root.secondary)
                    }
                    onClicked: panel.toggleAPIKeyEditing()
                }
            }

            Column {
                objectName: "hint"
                spacing: 4
                Text {
                    objectName: "apiKeyError"
                    visible: panel.apiKeyError !== ""
                    width: 236
                    wrapMode: Text.WordWrap
                    text: panel.apiKeyError
                    font.pixelSize: 10
                    color: root.systemRed
                    Accessible.role: Accessible.StaticText
                    Accessible.name: text
                }
                Text {
                    visible: panel.showsConsoleLink
                    text: panel.invitationText
                    font.pixelSize: 10
                    color: root.secondary
                }
                AbstractButton {
                    id: consoleLink
                    objectName: "consoleLink"
                    visible: panel.showsConsoleLink
                    // A longer translation wraps rather than running off the panel.
                    width: Math.min(implicitWidth, 236)
                    text: panel.consoleLinkText
                    focusPolicy: Qt.TabFocus
                    Accessible.onPressAction: clicked()
                    Accessible.name: text
                    background: FocusFrame { control: consoleLink }
                    contentItem: Text {
                        text: consoleLink.text
                        wrapMode: Text.WordWrap
                        font.pixelSize: 10
                        font.weight: Font.Medium
                        color: panel.accentColor
                    }
                    HoverHandler { cursorShape: Qt.PointingHandCursor }
                    onClicked: panel.openConsole()
                }
                Text {
                    // Not over a key that was refused: nothing was enabled.
                    visible: !panel.showsConsoleLink && panel.apiKeyError === ""
                    text: panel.enabledText
                    font.pixelSize: 10
                    color: root.secondary
                }
            }
        }

        Divider {}

        Item {
            objectName: "hotkeyRow"
            width: parent.width
            height: Math.max(hotkeyButton.height, hotkeyLabels.height) + 24
            Column {
                id: hotkeyLabels
                x: 12
                anchors.verticalCenter: parent.verticalCenter
                Text {
                    text: qsTr("快捷键")
                    font.pixelSize: 12
                    color: root.secondary
                }
                Text {
                    objectName: "hotkeyTaken"
                    visible: panel.hotkeyTaken
                    text: panel.hotkeyTakenText
                    font.pixelSize: 10
                    color: root.systemRed
                }
            }
            AbstractButton {
                id: hotkeyButton
                objectName: "hotkeyButton"
                anchors.right: parent.right
                anchors.rightMargin: 12
                anchors.verticalCenter: parent.verticalCenter
                leftPadding: 8
                rightPadding: 8
                topPadding: 4
                bottomPadding: 4
                text: panel.hotkeyText
                focusPolicy: Qt.TabFocus
                Accessible.onPressAction: clicked()
                Accessible.name: qsTr("更改快捷键")
                Accessible.description: panel.hotkeyTaken ? qsTr("%1，%2").arg(text).arg(panel.hotkeyTakenText) : text
                background: FocusFrame {
                    control: hotkeyButton
                    color: root.controlBackground
                }
                contentItem: Text {
                    text: hotkeyButton.text
                    font.pixelSize: 12
                    font.weight: Font.Medium
                    font.family: root.monospace
                    color: panel.capturing ? panel.accentColor
                                           : panel.hotkeyTaken ? root.systemRed : root.primary
                }
                onClicked: panel.toggleHotkeyRecording()
            }
        }

        Text {
            objectName: "captureRefusal"
            visible: panel.captureRefusal !== ""
            x: 12
            width: parent.width - 24
            bottomPadding: 8
            wrapMode: Text.WordWrap
            text: panel.captureRefusal
            font.pixelSize: 10
            color: root.systemRed
            Accessible.role: Accessible.StaticText
            Accessible.name: text
        }

        Divider {}

        MenuRow {
            objectName: "permissionsRow"
            symbol: "gear"
            text: panel.permissionsRowText
            onClicked: panel.togglePermissions()
        }

        Column {
            objectName: "permissions"
            visible: panel.showPermissions
            width: parent.width
            leftPadding: 12
            rightPadding: 12
            bottomPadding: 8
            spacing: 6

            Repeater {
                model: panel.showPermissions ? panel.permissions : []
                Column {
                    required property var modelData
                    width: 236
                    spacing: 1
                    Accessible.role: Accessible.StaticText
                    readonly property string summary: qsTr("%1：%2").arg(modelData.title)
                                                    .arg(modelData.granted ? qsTr("正常") : qsTr("缺失"))
                    Accessible.name: modelData.detail ? qsTr("%1，%2").arg(summary).arg(modelData.detail) : summary
                    Row {
                        spacing: 6
                        Image {
                            anchors.verticalCenter: parent.verticalCenter
                            sourceSize: Qt.size(11, 11)
                            source: modelData.granted ? root.icon("checkmark", root.systemGreen)
                                                      : root.icon("xmark", root.systemRed)
                        }
                        Text {
                            text: modelData.title
                            font.pixelSize: 11
                            color: root.primary
                        }
                    }
                    Text {
                        visible: text !== ""
                        x: 17
                        width: parent.width - 17
                        wrapMode: Text.Wrap
                        text: modelData.detail
                        font.pixelSize: 10
                        color: modelData.granted ? root.secondary : root.systemRed
                    }
                }
            }

            AbstractButton {
                id: settingsButton
                objectName: "settingsButton"
                visible: panel.settingsTitle !== ""
                text: panel.settingsTitle
                focusPolicy: Qt.TabFocus
                Accessible.onPressAction: clicked()
                Accessible.name: text
                leftPadding: 8
                rightPadding: 8
                topPadding: 4
                bottomPadding: 4
                background: FocusFrame {
                    control: settingsButton
                    color: root.controlBackground
                }
                contentItem: Text {
                    text: settingsButton.text
                    font.pixelSize: 11
                    color: panel.accentColor
                }
                onClicked: panel.openSettings()
            }
        }

        MenuRow {
            objectName: "startAtLoginRow"
            text: panel.startAtLoginRowText
            checkable: true
            // The model's state, never the click's: the mark shows what is on disk.
            checked: panel.startsAtLogin
            symbol: checked ? "checkmark" : ""
            onClicked: {
                panel.toggleStartAtLogin()
                checked = Qt.binding(() => panel.startsAtLogin)
            }
        }

        Divider {}

        MenuRow {
            objectName: "quitRow"
            symbol: "power"
            text: panel.quitRowText
            destructive: true
            onClicked: panel.quit()
        }
    }

    component Divider: Rectangle {
        width: parent.width
        height: 1
        color: palette.mid
    }

    // The background shows where the keyboard focus is after Tab.
    component FocusFrame: Rectangle {
        required property Item control
        radius: 4
        color: "transparent"
        border.width: control.visualFocus ? 2 : 0
        border.color: palette.highlight
    }

    component MenuRow: AbstractButton {
        id: row
        property string symbol
        property bool destructive: false
        readonly property color tint: destructive ? root.systemRed : root.primary
        width: parent.width
        hoverEnabled: true
        focusPolicy: Qt.TabFocus
        Accessible.onPressAction: clicked()
        // A checkable row is a check box to a screen reader, whose first action is Toggle.
        Accessible.onToggleAction: clicked()
        Accessible.name: text
        leftPadding: 12
        rightPadding: 12
        topPadding: 8
        bottomPadding: 8
        background: Rectangle {
            color: row.hovered ? root.hoverBackground : "transparent"
            border.width: row.visualFocus ? 2 : 0
            border.color: palette.highlight
        }
        contentItem: Row {
            spacing: 8
            Item {
                width: 16
                height: 16
                anchors.verticalCenter: parent.verticalCenter
                Image {
                    anchors.centerIn: parent
                    visible: row.symbol !== ""
                    sourceSize: Qt.size(11, 11)
                    source: row.symbol !== "" ? root.icon(row.symbol, row.tint) : ""
                }
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: row.text
                font.pixelSize: 12
                color: row.tint
            }
        }
    }
}
