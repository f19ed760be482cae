import QtQuick
import Mavu

// A programme's box in the guide grid, as long as the programme: amber while focused, tinted
// while on now, dimmer once over. Its title and time are a GuideCellText the row lays over
// all its boxes, so that the renderer draws a row's boxes, then its texts, each in one go.
// Rows keep a pool of these and hand them new programmes as the view moves. A face whose slot
// holds no programme stays hidden.
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
    // Rows do not clip their programmes (a clip a row would split the drawing into pieces a
    // row): a box that began left of the view starts at its edge, and its text with it.
    readonly property real endX: modelData.x + Math.max(2, modelData.width - 2) + 1

    objectName: used ? "guideCell" : ""
    visible: used
    x: Math.max(modelData.x + 1, timeX)
    width: Math.max(0, endX - x)
    radius: 4
    color: focused ? MavuColor.amber
                   : modelData.live ? MavuColor.alpha(MavuColor.amber, 0.18)
                                    : MavuColor.alpha(MavuColor.panel, modelData.past ? 0.5 : 0.9)
    border.width: modelData.live && !focused ? 1 : 0
    border.color: MavuColor.alpha(MavuColor.amber, 0.45)
}
