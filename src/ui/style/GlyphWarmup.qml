import QtQuick
import Mavu

// Qt Quick draws text from a field of distances it makes for each glyph of each face the first
// time that glyph is drawn in the window: for the faces of a page of the guide grid that is some
// 25 ms, paid by the frame that opens it. Made while the window is idle after start, this draws
// the letters, digits and signs of those faces once, unseen, a face a frame, then says it has `finished`:
// the glyphs stay in the window's cache, and the grid's first frame finds them made.
Item {
    id: warmup

    // True once every face has been drawn: the owner may let it go.
    property bool finished: false

    // The faces drawn so far; one more each frame (the first comes with the item, and asks for the first frame).
    property int drawn: 1
    readonly property string characters: " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~\u2026"
    // The guide's faces: titles and names (plain and bold), times and numbers (plain and, on the
    // full hours, bold), and the icon font's marks.
    readonly property var faces: [
        { family: "", bold: false, text: warmup.characters },
        { family: "", bold: true, text: warmup.characters },
        { family: Fonts.monospace, bold: false, text: warmup.characters },
        { family: Fonts.monospace, bold: true, text: "0123456789:" },
        { family: Fonts.symbols, bold: false, text: Symbols.glyph("tv") + Symbols.glyph("clock.arrow.circlepath") + Symbols.glyph("star.fill") }
    ]

    width: 0
    height: 0
    opacity: 0

    Repeater {
        model: warmup.faces.slice(0, warmup.drawn)
        PlainText {
            required property var modelData
            text: modelData.text
            font.family: modelData.family || Qt.application.font.family
            font.bold: modelData.bold
            font.pixelSize: Fonts.callout
        }
    }

    // A face more each frame the window draws, so that no frame makes them all.
    Connections {
        target: warmup.Window.window
        function onFrameSwapped() {
            if (warmup.drawn < warmup.faces.length)
                ++warmup.drawn
            else
                warmup.finished = true
        }
    }
}
