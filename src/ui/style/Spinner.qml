import QtQuick
import QtQuick.Shapes
import Mavu

// An indeterminate progress spinner in the accent colour.
Item {
    id: root
    property real size: 20
    property color color: MavuColor.amber
    property bool running: visible

    implicitWidth: size
    implicitHeight: size

    Shape {
        id: arc
        anchors.fill: parent
        ShapePath {
            strokeColor: root.color
            strokeWidth: Math.max(2, root.size / 9)
            fillColor: "transparent"
            capStyle: ShapePath.RoundCap
            PathAngleArc {
                centerX: root.size / 2
                centerY: root.size / 2
                radiusX: root.size / 2 - Math.max(2, root.size / 9)
                radiusY: radiusX
                startAngle: 0
                sweepAngle: 270
            }
        }
        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 900
            loops: Animation.Infinite
            running: root.running
        }
    }
}
