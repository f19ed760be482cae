import QtQuick
import Mavu

// The faint amber bar between the section screen's columns.
Rectangle {
    width: 1
    color: MavuColor.alpha(MavuColor.amber, Metrics.dividerOpacity)
}
