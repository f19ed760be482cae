import QtQuick
import Mavu

// How much of a movie or an episode was watched: a thin amber bar under its picture. Nothing
// shows while there is no position.
Rectangle {
    id: root
    // 0…1 of the length; 0 hides the bar.
    property real progress: 0

    visible: progress > 0
    implicitHeight: 4
    radius: height / 2
    color: MavuColor.alpha("white", 0.18)

    Rectangle {
        objectName: "progressFill"
        width: Math.max(parent.height, parent.width * Math.min(root.progress, 1))
        height: parent.height
        radius: parent.radius
        color: MavuColor.amber
    }
}
