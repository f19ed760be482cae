import QtQuick
import Mavu

// What a poster shows while its picture loads, or when it has none.
Column {
    objectName: "posterPlaceholder"
    spacing: 6
    opacity: 0.7
    SymbolIcon {
        anchors.horizontalCenter: parent.horizontalCenter
        name: "film"
        size: 30
        color: MavuColor.amber
    }
    PlainText {
        anchors.horizontalCenter: parent.horizontalCenter
        text: "MAVU"
        font.pixelSize: Fonts.caption2
        color: MavuColor.amber
    }
}
