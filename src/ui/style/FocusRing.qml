import QtQuick
import Mavu

// The amber ring around the control that has keyboard focus, a little outside its face.
Rectangle {
    property real faceRadius: Metrics.buttonRadius

    anchors.fill: parent
    anchors.margins: -Metrics.focusRingGap
    radius: faceRadius + Metrics.focusRingGap
    color: "transparent"
    border.width: Metrics.focusRingWidth
    border.color: MavuColor.amber
    z: 1
}
