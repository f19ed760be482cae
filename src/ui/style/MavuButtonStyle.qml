import QtQuick
import QtQuick.Controls.Basic
import Mavu

// The app's button: filled (amber face, ink label, amber glow) for a screen's primary action,
// outlined (amber border and label, clear inside) for the others. Only `filled` and the
// pressed state change its look.
Button {
    id: control
    property bool filled: false

    topPadding: 10
    bottomPadding: 10
    leftPadding: 16
    rightPadding: 16
    font.pixelSize: Fonts.body
    opacity: down ? 0.75 : 1.0
    hoverEnabled: false

    contentItem: Text {
        text: control.text
        font: control.font
        color: control.filled ? MavuColor.ink : MavuColor.amber
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
    }

    background: Item {
        implicitWidth: 64
        implicitHeight: 36

        // A soft amber glow 5 points below the face: stacked rounded layers fading outwards
        // stand in for a 14-point blur.
        Repeater {
            model: control.filled ? 7 : 0
            Rectangle {
                required property int index
                readonly property real spread: (index + 1) * 2
                x: -spread
                y: 5 - spread
                width: control.background.width + 2 * spread
                height: control.background.height + 2 * spread
                radius: 10 + spread
                color: MavuColor.amber
                opacity: 0.45 / 7 * (1 - index / 7)
            }
        }
        Rectangle {
            anchors.fill: parent
            radius: 10
            color: control.filled ? MavuColor.amber : "transparent"
            border.width: control.filled ? 0 : 1.5
            border.color: MavuColor.amber
        }
    }
}
