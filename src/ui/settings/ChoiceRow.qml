import QtQuick
import Mavu

// One entry of a settings list to choose from: its name on a panel and a check mark at the
// right on the chosen one. As a delegate of a FocusListView it follows the list's current entry.
MavuButton {
    id: control
    // This entry is the one chosen.
    property bool chosen: false

    focusPolicy: Qt.ClickFocus
    faceRadius: Metrics.choiceRowRadius
    topPadding: 11
    bottomPadding: 11
    leftPadding: 16
    rightPadding: 16
    font.pixelSize: Fonts.body
    Accessible.checkable: true
    Accessible.checked: chosen

    background: Rectangle {
        radius: Metrics.choiceRowRadius
        color: MavuColor.panel
    }

    contentItem: Item {
        implicitHeight: Math.max(children[0].implicitHeight, children[1].implicitHeight)
        PlainText {
            objectName: "choiceName"
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.rightMargin: 28
            anchors.verticalCenter: parent.verticalCenter
            // At the left also for a name written right to left ("العربية").
            horizontalAlignment: Text.AlignLeft
            text: control.text
            font: control.font
            color: MavuColor.text
            elide: Text.ElideRight
        }
        SymbolIcon {
            objectName: "choiceCheck"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            visible: control.chosen
            name: "checkmark"
            size: Fonts.body
            color: MavuColor.amber
        }
    }
}
