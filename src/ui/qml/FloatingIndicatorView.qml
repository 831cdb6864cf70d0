import QtQuick

// The dictation indicator: level meter, title and hint, close button, and the
// content the view state chooses (waiting, text with its buttons, error,
// placeholder).
// Everything it shows comes from "indicator"; "surface" moves the window.
// Timers and transitions run only while the window is shown: a hidden
// indicator must cost nothing.
Item {
    id: root

    // Room for the shadow around the panel; the window is this much larger.
    readonly property int shadowMargin: 40
    readonly property real cornerRadius: 16
    readonly property color systemRed: "#FF3B30"
    readonly property color systemGreen: "#34C759"
    readonly property bool shown: indicator.shown

    // The width is the window's, which the application places.
    implicitHeight: panel.height + 2 * shadowMargin

    // A soft shadow of black 0.4, radius 30, 10 px down, in layers: the
    // software renderer draws no blur effects.
    Repeater {
        model: 10
        Rectangle {
            readonly property real spread: (index + 1) * 3
            x: panel.x - spread
            y: panel.y + 10 - spread
            width: panel.width + 2 * spread
            height: panel.height + 2 * spread
            radius: root.cornerRadius + spread
            color: Qt.rgba(0, 0, 0, 0.4 / 10 * (1 - index / 10))
        }
    }

    Rectangle {
        id: panel
        objectName: "panel"
        x: root.shadowMargin
        y: root.shadowMargin
        width: root.width - 2 * root.shadowMargin
        height: column.implicitHeight + 40
        radius: root.cornerRadius
        color: Qt.rgba(0, 0, 0, 0.88)
        border.color: Qt.rgba(1, 1, 1, 0.1)
        border.width: 1

        // Dragging the background moves the window.
        MouseArea {
            property bool manual: false
            property point last
            anchors.fill: parent
            onPressed: mouse => {
                manual = !surface.startSystemMove();
                last = mapToGlobal(mouse.x, mouse.y);
            }
            onPositionChanged: mouse => {
                if (!manual) return;
                const now = mapToGlobal(mouse.x, mouse.y);
                surface.moveBy(now.x - last.x, now.y - last.y);
                last = now;
            }
        }

        Column {
            id: column
            x: 20
            y: 20
            width: 320
            spacing: 12

            // Header: level meter, title and hint, close button.
            Item {
                width: parent.width
                height: Math.max(28, titles.implicitHeight)

                Row {
                    id: waveform
                    objectName: "waveform"
                    width: 50
                    height: 28
                    anchors.verticalCenter: parent.verticalCenter
                    readonly property var meter: indicator.meter
                    spacing: meter.barSpacing
                    leftPadding: (width - meter.barCount * meter.barWidth
                                  - (meter.barCount - 1) * meter.barSpacing) / 2
                    Repeater {
                        model: waveform.meter.barCount
                        Rectangle {
                            objectName: "bar" + index
                            width: waveform.meter.barWidth
                            height: (indicator.bars[index] || 0) * waveform.meter.barFullHeight
                            anchors.verticalCenter: parent.verticalCenter
                            radius: waveform.meter.barRadius
                            color: root.systemRed
                            Behavior on height {
                                enabled: root.shown
                                NumberAnimation {
                                    duration: indicator.barsIdle ? waveform.meter.idleAnimationMs
                                                                 : waveform.meter.levelAnimationMs
                                    easing.type: indicator.barsIdle ? Easing.InOutQuad : Easing.OutQuad
                                }
                            }
                        }
                    }
                }

                Column {
                    id: titles
                    anchors.left: waveform.right
                    anchors.leftMargin: 16
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 4
                    Text {
                        objectName: "title"
                        text: indicator.title
                        color: "white"
                        font.pixelSize: 14
                        font.weight: Font.DemiBold
                    }
                    Text {
                        objectName: "hint"
                        text: indicator.hint
                        color: Qt.rgba(1, 1, 1, 0.5)
                        font.pixelSize: 11
                    }
                }

                Rectangle {
                    id: closeButton
                    objectName: "closeButton"
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    width: 24
                    height: 24
                    radius: 12
                    color: Qt.rgba(1, 1, 1, 0.1)
                    Accessible.role: Accessible.Button
                    Accessible.name: qsTr("关闭")
                    Accessible.onPressAction: indicator.close()
                    Image {
                        anchors.centerIn: parent
                        source: "qrc:/icons/xmark.svg"
                        sourceSize: Qt.size(12, 12)
                        opacity: 0.6
                    }
                    MouseArea {
                        anchors.fill: parent
                        hoverEnabled: true
                        cursorShape: Qt.PointingHandCursor
                        onClicked: indicator.close()
                    }
                }
            }

            // Content: exactly one of the four states, with 4 px above it.
            Item {
                width: parent.width
                height: 4 + content.height

                Loader {
                    id: content
                    y: 4
                    width: parent.width
                    sourceComponent: indicator.content === "text" ? textState
                        : indicator.content === "waiting" ? waitingState
                        : indicator.content === "error" ? errorState : placeholderState
                }
            }
        }
    }

    Component {
        id: waitingState
        Item {
            objectName: "waitingState"
            implicitHeight: waitingRow.implicitHeight
            Row {
                id: waitingRow
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 8
                Image {
                    id: spinner
                    anchors.verticalCenter: parent.verticalCenter
                    source: "qrc:/icons/spinner.svg"
                    sourceSize: Qt.size(20, 20)
                    scale: 0.7
                    RotationAnimator on rotation {
                        from: 0
                        to: 360
                        duration: 1000
                        loops: Animation.Infinite
                        running: root.shown
                    }
                }
                Text {
                    objectName: "waitingLabel"
                    anchors.verticalCenter: parent.verticalCenter
                    text: indicator.waitingText + indicator.dots
                    color: Qt.rgba(1, 1, 1, 0.7)
                    font.pixelSize: 13
                }
            }
        }
    }

    Component {
        id: placeholderState
        Item {
            objectName: "placeholderState"
            implicitHeight: placeholder.implicitHeight
            Text {
                id: placeholder
                objectName: "placeholder"
                anchors.horizontalCenter: parent.horizontalCenter
                text: indicator.placeholderText
                color: Qt.rgba(1, 1, 1, 0.5)
                font.pixelSize: 13
            }
        }
    }

    Component {
        id: errorState
        Item {
            objectName: "errorState"
            implicitHeight: errorLine.implicitHeight
            ErrorLine {
                id: errorLine
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
            }
        }
    }

    // Said to screen readers as an alert, as it appears.
    component ErrorLine: Text {
        objectName: "errorText"
        text: indicator.errorText
        wrapMode: Text.Wrap
        color: "#FF6961"
        font.pixelSize: 13
        Accessible.role: Accessible.AlertMessage
        Accessible.name: text
    }

    Component {
        id: textState
        Column {
            objectName: "textState"
            spacing: 10

            // The newest words stay in view: every change scrolls to the end.
            Flickable {
                id: scroller
                objectName: "transcriptArea"
                width: parent.width
                height: 38
                clip: true
                contentWidth: width
                contentHeight: transcriptText.implicitHeight
                boundsBehavior: Flickable.StopAtBounds
                readonly property real end: Math.max(0, contentHeight - height)
                Component.onCompleted: contentY = end
                onEndChanged: scrollToEnd.restart()
                NumberAnimation {
                    id: scrollToEnd
                    target: scroller
                    property: "contentY"
                    to: scroller.end
                    duration: 100
                    easing.type: Easing.OutQuad
                }
                Text {
                    id: transcriptText
                    objectName: "transcript"
                    width: scroller.width
                    text: indicator.transcript
                    wrapMode: Text.Wrap
                    color: Qt.rgba(1, 1, 1, 0.9)
                    font.pixelSize: 13
                    Accessible.role: Accessible.StaticText
                    Accessible.name: indicator.transcript
                }
            }

            Row {
                anchors.right: parent.right
                spacing: 8
                CapsuleButton {
                    objectName: "insertButton"
                    accessibleName: qsTr("插入")
                    confirmed: indicator.showInserted
                    symbol: "text.cursor"
                    label: qsTr("插入")
                    confirmedLabel: qsTr("已插入")
                    fill: Qt.rgba(indicator.accentColor.r, indicator.accentColor.g,
                                  indicator.accentColor.b, 0.3)
                    onActivated: indicator.insert()
                }
                CapsuleButton {
                    objectName: "copyButton"
                    accessibleName: qsTr("复制")
                    confirmed: indicator.showCopied
                    symbol: "doc.on.doc"
                    label: qsTr("复制")
                    confirmedLabel: qsTr("已复制")
                    fill: Qt.rgba(1, 1, 1, 0.15)
                    onActivated: indicator.copy()
                }
            }

            ErrorLine {
                width: parent.width
                visible: text !== ""
            }
        }
    }

    component CapsuleButton: Rectangle {
        id: button
        property bool confirmed: false
        property string symbol
        property string label
        property string confirmedLabel
        property string accessibleName
        property color fill
        signal activated()

        implicitWidth: buttonRow.implicitWidth + 20
        implicitHeight: buttonRow.implicitHeight + 10
        radius: height / 2
        color: confirmed ? Qt.rgba(0.204, 0.780, 0.349, 0.2) : fill
        Accessible.role: Accessible.Button
        Accessible.name: accessibleName
        Accessible.description: confirmed ? confirmedLabel : label
        Accessible.onPressAction: button.activated()

        Row {
            id: buttonRow
            anchors.centerIn: parent
            spacing: 4
            // The symbols are white; the confirmation's check mark comes green.
            Image {
                width: 11
                height: 11
                anchors.verticalCenter: parent.verticalCenter
                source: "qrc:/icons/" + (button.confirmed ? "checkmark-green" : button.symbol) + ".svg"
                sourceSize: Qt.size(22, 22)
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: button.confirmed ? button.confirmedLabel : button.label
                color: button.confirmed ? root.systemGreen : "white"
                font.pixelSize: 11
                font.weight: Font.Medium
            }
        }
        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: button.activated()
        }
    }
}
