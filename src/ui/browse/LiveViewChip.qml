import QtQuick
import Mavu

// One capsule of the live view switch: a symbol and a word, amber while its view shows.
MavuButton {
    id: chip
    property string symbol
    property bool selected: false

    faceRadius: height / 2
    topPadding: 5
    bottomPadding: 5
    leftPadding: 10
    rightPadding: 12
    font.pixelSize: Fonts.caption

    background: Rectangle {
        radius: height / 2
        color: chip.selected ? MavuColor.amber : MavuColor.panel
    }
    contentItem: ButtonFace {
        text: chip.text
        symbol: chip.symbol
        font: chip.font
        color: chip.selected ? MavuColor.ink : MavuColor.text
    }
}
