import QtQuick
import Mavu

// A rating from 0 to 5 as five stars: full, half or empty.
Row {
    id: root
    property real rating

    spacing: 2

    Repeater {
        model: DetailRules.starSymbols(root.rating)

        Item {
            id: star
            required property string modelData
            readonly property string symbol: modelData
            objectName: "star"
            implicitWidth: glyph.implicitWidth
            implicitHeight: glyph.implicitHeight

            // The icon font's half star has no outline on its empty side: the empty star
            // under it draws one.
            SymbolIcon {
                anchors.centerIn: parent
                visible: star.symbol === "star.leadinghalf.filled"
                name: "star"
                size: Fonts.callout
                color: MavuColor.amber
            }
            SymbolIcon {
                id: glyph
                anchors.centerIn: parent
                name: star.symbol
                size: Fonts.callout
                color: MavuColor.amber
            }
        }
    }
}
