import QtQuick
import Mavu

// One entry of the home screen's left column: a symbol and a title on a panel, outlined in
// amber while the pointer is over it.
MavuButton {
    id: control
    property string systemImage
    // The pointer is over the card.
    readonly property bool hover: hovered

    faceRadius: Metrics.cardRadius
    topPadding: 14
    bottomPadding: 14
    leftPadding: 16
    rightPadding: 16
    font.pixelSize: Fonts.body
    font.weight: Font.DemiBold

    background: Rectangle {
        radius: Metrics.cardRadius
        color: MavuColor.panel
        border.width: Metrics.outlineWidth
        border.color: MavuColor.alpha(MavuColor.amber, control.hover ? 0.9 : 0)
    }

    contentItem: Row {
        spacing: 12
        SymbolIcon {
            anchors.verticalCenter: parent.verticalCenter
            width: 26 // the glyph centred in a column of its own
            name: control.systemImage
            size: Fonts.title3
            color: MavuColor.amber
        }
        PlainText {
            objectName: "menuTitle"
            anchors.verticalCenter: parent.verticalCenter
            width: control.availableWidth - 26 - 12
            text: control.text
            font: control.font
            color: MavuColor.text
            elide: Text.ElideRight
        }
    }
}
