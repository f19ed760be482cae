import QtQuick
import Mavu

// One channel of the live list: its number, logo and name, then a clock when it has an archive
// and a star when it is a favourite; amber while it plays, a panel fill under the pointer.
MavuButton {
    id: row
    required property mediaItem item
    // The number shown.
    property int number
    property bool selected: false
    property bool favorite: false
    readonly property bool hover: hovered

    text: item.name
    faceRadius: Metrics.rowRadius
    topPadding: 6
    bottomPadding: 6
    leftPadding: 8
    rightPadding: 8
    font.pixelSize: Fonts.callout

    background: Rectangle {
        radius: Metrics.rowRadius
        color: row.selected ? MavuColor.amber : row.hover ? MavuColor.panel : "transparent"
    }

    contentItem: ChannelRowFace {
        item: row.item
        number: row.number
        selected: row.selected
        favorite: row.favorite
        name: row.text
        nameFont: row.font
        availableWidth: row.availableWidth
    }
}
