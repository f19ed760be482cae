import QtQuick
import Mavu

// One category of the column: its name, after a star or a clock for the favourites and the
// recently viewed; amber while selected, a panel fill while the pointer is over it. As a
// delegate it takes its row's `category`.
MavuButton {
    id: row
    required property category category
    property bool selected: false
    // The pointer is over the row.
    readonly property bool hover: hovered
    readonly property string symbol: BrowseRules.categorySymbol(category.id)
    readonly property real symbolSlot: 14

    text: category.name
    faceRadius: Metrics.rowRadius
    topPadding: 9
    bottomPadding: 9
    leftPadding: 10
    rightPadding: 10
    font.pixelSize: Fonts.body

    background: Rectangle {
        radius: Metrics.rowRadius
        color: row.selected ? MavuColor.amber : row.hover ? MavuColor.panel : "transparent"
    }

    contentItem: Row {
        spacing: 8
        SymbolIcon {
            objectName: "categorySymbol"
            anchors.verticalCenter: parent.verticalCenter
            width: row.symbolSlot
            visible: row.symbol !== ""
            name: row.symbol
            size: Fonts.caption
            color: row.selected ? MavuColor.ink : MavuColor.amber
        }
        PlainText {
            objectName: "categoryName"
            anchors.verticalCenter: parent.verticalCenter
            width: row.availableWidth - (row.symbol !== "" ? row.symbolSlot + 8 : 0)
            text: row.text
            font: row.font
            color: row.selected ? MavuColor.ink : MavuColor.text
            elide: Text.ElideRight
        }
    }
}
