import QtQuick
import Mavu

// Over the preview while it connects, reconnects or after it failed: a spinner and "Loading…" or
// "Reconnecting…", or a warning, "Couldn't play this channel" (or why: the account's connection
// limit) and Retry.
Rectangle {
    id: panel
    property bool failed: false
    property bool reconnecting: false
    property bool limitReached: false
    signal retryRequested

    width: content.implicitWidth + 44
    height: content.implicitHeight + 44
    radius: 14
    color: MavuColor.alpha("black", 0.5)

    Column {
        id: content
        anchors.centerIn: parent
        spacing: 14

        SymbolIcon {
            objectName: "failedSymbol"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: panel.failed
            name: "exclamationmark.triangle"
            size: 34
            color: MavuColor.amber
        }
        Spinner {
            anchors.horizontalCenter: parent.horizontalCenter
            visible: !panel.failed
            size: Metrics.spinnerLarge
        }
        PlainText {
            objectName: "previewStatus"
            anchors.horizontalCenter: parent.horizontalCenter
            text: panel.failed ? "Couldn't play this channel" : panel.reconnecting ? "Reconnecting…" : "Loading…"
            font.pixelSize: Fonts.body
            color: "white"
        }
        PlainText {
            objectName: "previewFailureDetail"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: panel.failed && panel.limitReached
            text: "The account's connection limit was reached."
            font.pixelSize: Fonts.callout
            color: MavuColor.textDim
        }
        MavuButtonStyle {
            objectName: "previewRetry"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: panel.failed
            filled: true
            text: "Retry"
            onClicked: panel.retryRequested()
        }
    }
}
