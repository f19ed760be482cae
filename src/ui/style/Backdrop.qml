import QtQuick
import Mavu

// The ink veil a screen lays over the theme picture.
Rectangle {
    property real veil: Metrics.backdropOpacity

    anchors.fill: parent
    color: MavuColor.alpha(MavuColor.ink, veil)
}
