import QtQuick
import Mavu

// A programme of the guide grid: a box as long as the programme, its title and time inside.
// The text keeps to the visible part of a programme that began left of the view. Amber while
// focused; dimmer once over, with a clock when the archive still holds it.
// Rows keep a pool of these and hand them new programmes as the view moves, so a face holds no
// nested layouts: three texts placed by hand. A face whose slot holds no programme stays hidden.
Rectangle {
    id: face
    required property int index
    // The row's cells by slot; this face draws the one in slot `index`, if there is one.
    property var cells: []
    readonly property guideCell modelData: index < cells.length ? cells[index] : blank
    readonly property bool used: modelData.filled
    property guideCell blank
    readonly property GuideGridModel grid: AppStore.guide.grid
    // The grid x at the view's left edge.
    readonly property real timeX: grid.scrollX
    readonly property bool focused: used && grid.focusRow === modelData.row && grid.focusedStart === modelData.startTime
    // Where the text starts: inside the part of the box in view; too narrow a part shows none
    // rather than text cut at the view's edge.
    readonly property real textX: Math.max(8, timeX - x + 8)
    readonly property real timeIndent: modelData.catchup ? archive.implicitWidth + 4 : 0
    readonly property real textWidth: width - textX - 6

    objectName: used ? "guideCell" : ""
    visible: used
    x: modelData.x + 1
    width: Math.max(2, modelData.width - 2)
    radius: 4
    color: focused ? MavuColor.amber
                   : modelData.live ? MavuColor.alpha(MavuColor.amber, 0.18)
                                    : MavuColor.alpha(MavuColor.panel, modelData.past ? 0.5 : 0.9)
    border.width: modelData.live && !focused ? 1 : 0
    border.color: MavuColor.alpha(MavuColor.amber, 0.45)

    PlainText {
        id: title
        objectName: "cellTitle"
        x: face.textX
        y: (face.height - height - time.height - 2) / 2
        width: face.textWidth
        visible: width > 16
        text: face.modelData.program.title
        font.pixelSize: Fonts.callout
        font.bold: face.focused || face.modelData.live
        color: face.focused ? MavuColor.ink : face.modelData.past ? MavuColor.textDim : MavuColor.text
        elide: Text.ElideRight
    }
    PlainText {
        id: archive
        objectName: "cellArchive"
        x: face.textX
        y: time.y + (time.height - height) / 2
        visible: face.modelData.catchup && title.visible
        text: Symbols.glyph("clock.arrow.circlepath")
        font.family: Fonts.symbols
        font.pixelSize: Fonts.caption2 * 1.3
        color: face.focused ? MavuColor.ink : MavuColor.amber
    }
    PlainText {
        id: time
        x: face.textX + face.timeIndent
        y: title.y + title.height + 2
        width: face.textWidth - face.timeIndent
        visible: title.visible
        text: face.modelData.timeText
        font.pixelSize: Fonts.caption
        font.family: Fonts.monospace
        color: face.focused ? MavuColor.alpha(MavuColor.ink, 0.75) : MavuColor.textDim
        elide: Text.ElideRight
    }
}
