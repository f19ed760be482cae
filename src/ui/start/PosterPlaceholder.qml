import QtQuick
import Mavu

// What a poster shows while its picture loads, or when it has none: the film symbol, with the
// product name under it where `captioned`.
Column {
    id: placeholder
    property real symbolSize: 30
    property bool captioned: true

    objectName: "posterPlaceholder"
    spacing: 6
    opacity: Metrics.placeholderOpacity
    SymbolIcon {
        anchors.horizontalCenter: parent.horizontalCenter
        name: "film"
        size: placeholder.symbolSize
        color: MavuColor.amber
    }
    PlainText {
        anchors.horizontalCenter: parent.horizontalCenter
        visible: placeholder.captioned
        text: "MAVU"
        font.pixelSize: Fonts.caption2
        color: MavuColor.amber
    }
}
