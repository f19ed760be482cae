import QtQuick
import Mavu

// Below the guide grid: the focused programme's title, channel and time, its description once
// read, and what Enter does with it.
Column {
    id: description
    readonly property GuideGridModel grid: AppStore.guide.grid
    readonly property bool hasChannel: grid.focusRow >= 0 && grid.focusRow < grid.count

    topPadding: 12
    spacing: 5

    PlainText {
        objectName: "descriptionTitle"
        width: parent.width
        text: description.grid.hasFocusedProgram ? description.grid.focusedProgram.title : (description.hasChannel ? "No programme info" : "")
        font.pixelSize: Fonts.title3
        font.bold: true
        color: MavuColor.text
        elide: Text.ElideRight
    }
    PlainText {
        objectName: "descriptionTime"
        width: parent.width
        visible: description.grid.hasFocusedProgram
        text: description.grid.focusedDay + "  " + description.grid.focusedProgram.timeRange
              + (description.grid.enterText !== "" ? "   ·   Enter: " + description.grid.enterText : "")
        font.pixelSize: Fonts.caption
        color: MavuColor.amber
        elide: Text.ElideRight
    }
    PlainText {
        objectName: "descriptionText"
        width: parent.width
        text: description.grid.focusedDescription
        font.pixelSize: Fonts.callout
        color: MavuColor.textDim
        wrapMode: Text.WordWrap
        maximumLineCount: 3
        elide: Text.ElideRight
    }
}
