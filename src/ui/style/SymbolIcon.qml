import QtQuick
import Mavu

// A named symbol drawn from the icon font; "gobackward.30" style names carry their number inside the arrow.
Item {
    id: root
    property string name
    property real size: Fonts.body
    property color color: MavuColor.text
    property bool bold: false

    implicitWidth: glyph.implicitWidth
    implicitHeight: glyph.implicitHeight

    Text {
        id: glyph
        anchors.centerIn: parent
        text: Symbols.glyph(root.name)
        font.family: Fonts.symbols
        font.pixelSize: root.size * (root.bold ? 1.12 : 1.0)
        color: root.color
    }
    Text {
        anchors.centerIn: parent
        anchors.verticalCenterOffset: root.size * 0.06
        visible: text.length > 0
        text: Symbols.badge(root.name)
        font.pixelSize: root.size * 0.34
        font.bold: true
        color: root.color
    }
}
