import QtQuick
import Mavu

// A plain symbol button of the player's controls row.
MavuButton {
    id: control
    property string symbol
    property real size: Fonts.title3

    padding: 4
    faceRadius: 6
    opacity: down ? 0.6 : 1

    contentItem: SymbolIcon {
        objectName: "symbol"
        name: control.symbol
        size: control.size
        color: "white"
    }
}
