pragma Singleton
import QtQuick

// The palette. Besides these five the screens use only plain black, white, red and transparent.
QtObject {
    readonly property color amber: "#F6C445"
    readonly property color ink: "#0B0C10"
    readonly property color panel: "#171922"
    readonly property color text: "#F5F6FA"
    readonly property color textDim: "#9AA0AE"

    // A colour of the palette (or black or white) at an opacity.
    function alpha(base: color, opacity: real): color {
        // A colour named by text ("white") arrives as that text: make it a colour first.
        const opaque = Qt.tint(base, "transparent")
        return Qt.rgba(opaque.r, opaque.g, opaque.b, opacity)
    }
}
