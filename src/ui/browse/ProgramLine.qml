import QtQuick
import Mavu

// A programme in one line: its time range in amber, then its title in the font and colour the
// caller gives.
Row {
    id: line
    required property epgProgram program
    property real titleSize: Fonts.caption
    property color titleColor: MavuColor.textDim
    // The room the line may take; the title is cut short to fit.
    property real maxWidth: 200

    spacing: 8

    PlainText {
        id: times
        objectName: "programTimes"
        anchors.verticalCenter: parent.verticalCenter
        text: line.program.timeRange
        font.pixelSize: Fonts.caption
        font.family: Fonts.monospace
        color: MavuColor.amber
    }
    PlainText {
        objectName: "programTitle"
        anchors.verticalCenter: parent.verticalCenter
        width: Math.min(implicitWidth, Math.max(0, line.maxWidth - times.width - line.spacing))
        text: line.program.title
        font.pixelSize: line.titleSize
        color: line.titleColor
        elide: Text.ElideRight
    }
}
