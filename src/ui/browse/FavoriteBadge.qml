import QtQuick
import Mavu

// The star on a favourite's poster: amber on a dark disc.
Rectangle {
    readonly property real inset: 5

    implicitWidth: star.implicitHeight + 2 * inset
    implicitHeight: implicitWidth
    radius: width / 2
    color: MavuColor.alpha("black", Metrics.badgeOpacity)

    SymbolIcon {
        id: star
        anchors.centerIn: parent
        name: "star.fill"
        size: Fonts.caption
        color: MavuColor.amber
    }
}
