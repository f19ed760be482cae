import QtQuick
import Mavu

// The app's button: filled (amber face, ink label, amber glow) for a screen's primary action,
// outlined (amber border and label, clear inside) for the others, its text led by a symbol
// when `symbol` names one. Only `filled` and the pressed state change its look; keyboard focus
// adds the ring every button has.
MavuButton {
    id: control
    property bool filled: false
    property string symbol

    topPadding: 10
    bottomPadding: 10
    leftPadding: 16
    rightPadding: 16
    font.pixelSize: Fonts.body
    opacity: down ? Metrics.pressedOpacity : 1.0

    contentItem: ButtonFace {
        text: control.text
        symbol: control.symbol
        font: control.font
        color: control.filled ? MavuColor.ink : MavuColor.amber
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
                // No parent while the button is being torn down.
                width: parent ? parent.width + 2 * spread : 0
                height: parent ? parent.height + 2 * spread : 0
                radius: Metrics.buttonRadius + spread
                color: MavuColor.amber
                opacity: 0.45 / 7 * (1 - index / 7)
            }
        }
        Rectangle {
            anchors.fill: parent
            radius: Metrics.buttonRadius
            color: control.filled ? MavuColor.amber : "transparent"
            border.width: control.filled ? 0 : Metrics.outlineWidth
            border.color: MavuColor.amber
        }
    }
}
