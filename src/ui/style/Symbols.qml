pragma Singleton
import QtQuick

// The one table from the symbol names the screens use to glyphs of the icon font.
QtObject {
    readonly property var glyphs: ({
        "chevron.left": "\uF141",
        "chevron.right": "\uF142",
        "play.fill": "\uF40A",
        "pause.fill": "\uF3E4",
        "star.fill": "\uF4CE",
        "star": "\uF4D2",
        "star.leadinghalf.filled": "\uF4D0",
        "tv": "\uF502",
        "film": "\uF22F",
        "rectangle.stack": "\uF328",
        "gearshape": "\uF493",
        "exclamationmark.triangle": "\uF026",
        "magnifyingglass": "\uF349",
        "xmark": "\uF156",
        "checkmark": "\uF12C",
        "lock": "\uF33E",
        "clock.arrow.circlepath": "\uF2DA",
        "gobackward": "\uF459",
        "goforward": "\uF459",
        "waveform": "\uF57E",
        "captions.bubble": "\uF15E",
        "aspectratio": "\uF616",
        "arrow.clockwise": "\uF450",
        "person": "\uF004",
        "paintpalette": "\uF3D8",
        "globe": "\uF5CA",
        "eye.slash": "\uF209",
        "play.rectangle": "\uF40B",
        "list.bullet": "\uF279",
        "calendar": "\uF0ED",
        "lock.shield": "\uF483",
        "person.crop.circle": "\uF009",
        "paintbrush": "\uF0E3",
        "arrow.up.arrow.down": "\uF4E2",
        "rectangle.stack.badge.play": "\uF411",
        "checkmark.circle.fill": "\uF5E0",
        "clock": "\uF150",
        "xmark.circle.fill": "\uF159"
    })

    // "gobackward.30" and the like: the arrow glyph; the number is drawn by SymbolIcon.
    function glyph(name) {
        const direct = glyphs[name]
        if (direct !== undefined)
            return direct
        const dot = name.lastIndexOf(".")
        return dot > 0 ? (glyphs[name.substring(0, dot)] ?? "") : ""
    }

    // Forward arrows are the backward ones seen in a mirror.
    function mirrored(name) {
        return name.startsWith("goforward")
    }

    function badge(name) {
        if (glyphs[name] !== undefined)
            return ""
        const dot = name.lastIndexOf(".")
        const tail = dot > 0 ? name.substring(dot + 1) : ""
        return /^[0-9]+$/.test(tail) ? tail : ""
    }
}
