import QtQuick
import QtQuick.Controls.Basic
import Mavu

// One order in the sort menu, by its title; amber while highlighted.
MenuItem {
    id: entry
    required property int modelData

    objectName: "sortEntry"
    text: BrowseRules.sortTitle(modelData)
    font.pixelSize: Fonts.callout
    leftPadding: 10
    rightPadding: 10
    topPadding: 6
    bottomPadding: 6
    onTriggered: AppStore.vodSort = modelData

    contentItem: PlainText {
        text: entry.text
        font: entry.font
        color: entry.highlighted ? MavuColor.ink : MavuColor.text
        verticalAlignment: Text.AlignVCenter
    }

    background: Rectangle {
        implicitWidth: 178
        radius: 6
        color: entry.highlighted ? MavuColor.amber : "transparent"
    }
}
