import QtQuick
import Mavu

// A named symbol drawn from the icon font; "gobackward.30" style names carry their number inside the arrow.
Item {
    id: root
    property string name
    property real size: Fonts.body
    property color color: MavuColor.text
    property bool bold: false

    // The icon font leaves a margin inside its em square; this brings its glyphs to the optical
    // size of letters of the same point size.
    readonly property real glyphSize: size * (bold ? 1.45 : 1.3)

    implicitWidth: glyph.implicitWidth
    implicitHeight: glyph.implicitHeight

    PlainText {
        id: glyph
        anchors.centerIn: parent
        text: Symbols.glyph(root.name)
        font.family: Fonts.symbols
        font.pixelSize: root.glyphSize
        color: root.color
        transform: Scale {
            origin.x: glyph.width / 2
            xScale: Symbols.mirrored(root.name) ? -1 : 1
        }
    }
    PlainText {
        anchors.centerIn: parent
        anchors.verticalCenterOffset: root.glyphSize * 0.04
        visible: text.length > 0
        text: Symbols.badge(root.name)
        font.pixelSize: root.glyphSize * 0.3
        font.bold: true
        color: root.color
    }
}
