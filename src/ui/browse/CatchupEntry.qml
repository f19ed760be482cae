import QtQuick
import Mavu

// An archived programme of the catch-up panel: its time range and title on a panel.
MavuButton {
    id: entry
    required property epgProgram program

    text: program.title
    faceRadius: 8
    topPadding: 6
    bottomPadding: 6
    leftPadding: 10
    rightPadding: 10

    background: Rectangle {
        radius: 8
        color: MavuColor.alpha(MavuColor.panel, 0.6)
    }
    contentItem: ProgramLine {
        program: entry.program
        titleSize: Fonts.callout
        titleColor: MavuColor.text
        maxWidth: entry.availableWidth
    }
}
