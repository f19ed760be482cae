import QtQuick
import Mavu

// A programme's title and time over its box (`face`), with a clock when the archive still
// holds it. The text keeps to the visible part of the box; too narrow a part shows none rather
// than text cut short. Placed by hand: the row makes one for every box it keeps.
PlainText {
    id: title
    property GuideCellFace face
    readonly property guideCell modelData: face ? face.modelData : blank
    property guideCell blank
    readonly property bool focused: face !== null && face.focused
    readonly property real timeIndent: modelData.catchup ? archive.implicitWidth + 4 : 0

    objectName: "cellTitle"
    x: face ? face.x + 8 : 0
    y: face ? face.y + (face.height - height - time.height - 2) / 2 : 0
    width: face ? face.width - 14 : 0
    visible: face !== null && face.visible && width > 16
    text: modelData.program.title
    font.pixelSize: Fonts.callout
    font.bold: focused || modelData.live
    color: focused ? MavuColor.ink : modelData.past ? MavuColor.textDim : MavuColor.text
    elide: Text.ElideRight

    PlainText {
        id: archive
        objectName: "cellArchive"
        y: time.y + (time.height - height) / 2
        visible: title.modelData.catchup
        // Most cells have no clock: they lay out no glyph for it either.
        text: title.modelData.catchup ? Symbols.glyph("clock.arrow.circlepath") : ""
        font.family: Fonts.symbols
        font.pixelSize: Fonts.caption2 * 1.3
        color: title.focused ? MavuColor.ink : MavuColor.amber
    }
    PlainText {
        id: time
        objectName: "cellTime"
        x: title.timeIndent
        y: title.height + 2
        width: title.width - title.timeIndent
        text: title.modelData.timeText
        font.pixelSize: Fonts.caption
        font.family: Fonts.monospace
        color: title.focused ? MavuColor.alpha(MavuColor.ink, 0.75) : MavuColor.textDim
        elide: Text.ElideRight
    }
}
