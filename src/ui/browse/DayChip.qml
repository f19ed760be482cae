import QtQuick
import Mavu

// A day of the catch-up panel's strip: the key's last five characters on a capsule, amber while
// it is the selected day.
MavuButton {
    id: chip
    required property string day
    property bool selected: false

    text: LiveRules.dayChipText(day)
    faceRadius: height / 2
    topPadding: 5
    bottomPadding: 5
    leftPadding: 9
    rightPadding: 9
    font.pixelSize: Fonts.caption
    font.family: Fonts.monospace

    background: Rectangle {
        radius: height / 2
        color: chip.selected ? MavuColor.amber : MavuColor.panel
    }
    contentItem: PlainText {
        objectName: "dayText"
        text: chip.text
        font: chip.font
        color: chip.selected ? MavuColor.ink : MavuColor.text
    }
}
