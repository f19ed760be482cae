import QtQuick
import Mavu

// A plain symbol button of the player's controls row.
Item {
    id: root
    property string symbol
    property real size: Fonts.title3
    signal activated()

    implicitWidth: icon.implicitWidth + 8
    implicitHeight: icon.implicitHeight + 8
    opacity: tap.pressed ? 0.6 : 1

    SymbolIcon {
        id: icon
        objectName: "symbol"
        anchors.centerIn: parent
        name: root.symbol
        size: root.size
        color: "white"
    }
    TapHandler {
        id: tap
        onTapped: root.activated()
    }
    HoverHandler {
        cursorShape: Qt.PointingHandCursor
    }
}
