import QtQuick
import Mavu

// A named symbol that needs neither a number badge nor a mirror, as a single text: the same
// glyph SymbolIcon draws at the same size, for faces that repeat down long lists, where each
// item saved is saved in every row the view makes.
PlainText {
    property string name
    property real size: Fonts.body

    text: Symbols.glyph(name)
    font.family: Fonts.symbols
    // SymbolIcon's optical size for glyphs of the icon font.
    font.pixelSize: size * 1.3
}
