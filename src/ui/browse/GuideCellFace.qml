import QtQuick
import Mavu

// A programme of the guide grid: a box as long as the programme, its title and time inside.
// The text keeps to the visible part of a programme that began left of the view. Amber while
// focused; dimmer once over, with a clock when the archive still holds it.
Rectangle {
    id: face
    required property guideCell modelData
    readonly property GuideGridModel grid: AppStore.guide.grid
    // The grid x at the view's left edge.
    readonly property real timeX: grid.scrollX
    readonly property bool focused: grid.focusRow === modelData.row && grid.focusedStart === modelData.startTime

    x: modelData.x + 1
    width: Math.max(2, modelData.width - 2)
    radius: 4
    color: focused ? MavuColor.amber
                   : modelData.live ? MavuColor.alpha(MavuColor.amber, 0.18)
                                    : MavuColor.alpha(MavuColor.panel, modelData.past ? 0.5 : 0.9)
    border.width: modelData.live && !focused ? 1 : 0
    border.color: MavuColor.alpha(MavuColor.amber, 0.45)

    Column {
        id: lines
        x: Math.min(Math.max(8, face.timeX - face.x + 8), Math.max(8, face.width - 60))
        anchors.verticalCenter: parent.verticalCenter
        width: face.width - x - 6
        visible: width > 16
        spacing: 2

        PlainText {
            objectName: "cellTitle"
            width: parent.width
            text: face.modelData.program.title
            font.pixelSize: Fonts.callout
            font.bold: face.focused || face.modelData.live
            color: face.focused ? MavuColor.ink : face.modelData.past ? MavuColor.textDim : MavuColor.text
            elide: Text.ElideRight
        }
        Row {
            width: parent.width
            spacing: 4
            SymbolIcon {
                objectName: "cellArchive"
                anchors.verticalCenter: parent.verticalCenter
                visible: face.modelData.catchup
                name: "clock.arrow.circlepath"
                size: Fonts.caption2
                color: face.focused ? MavuColor.ink : MavuColor.amber
            }
            PlainText {
                width: parent.width - (face.modelData.catchup ? Fonts.caption2 + 4 : 0)
                text: face.modelData.program.timeRange
                font.pixelSize: Fonts.caption
                font.family: Fonts.monospace
                color: face.focused ? MavuColor.alpha(MavuColor.ink, 0.75) : MavuColor.textDim
                elide: Text.ElideRight
            }
        }
    }
}
