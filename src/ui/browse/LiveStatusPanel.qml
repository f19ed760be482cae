import QtQuick
import Mavu

// Over the preview while it connects or after it failed: a spinner and "Loading…", or a warning
// and "Couldn't play this channel".
Rectangle {
    id: panel
    property bool failed: false

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
            text: panel.failed ? "Couldn't play this channel" : "Loading…"
            font.pixelSize: Fonts.body
            color: "white"
        }
    }
}
