import QtQuick
import Mavu

// One entry of the home screen's left column.
Item {
    id: root
    property string title
    property string systemImage
    property bool hover: hoverHandler.hovered
    signal activated()

    implicitHeight: row.implicitHeight + 28

    Rectangle {
        anchors.fill: parent
        radius: 14
        color: MavuColor.panel
        border.width: 1.5
        border.color: Qt.rgba(MavuColor.amber.r, MavuColor.amber.g, MavuColor.amber.b, root.hover ? 0.9 : 0)
    }

    Row {
        id: row
        x: 16
        anchors.verticalCenter: parent.verticalCenter
        spacing: 12
        Item {
            width: 26
            height: icon.implicitHeight
            anchors.verticalCenter: parent.verticalCenter
            SymbolIcon {
                id: icon
                anchors.centerIn: parent
                name: root.systemImage
                size: Fonts.title3
                color: MavuColor.amber
            }
        }
        Text {
            objectName: "menuTitle"
            anchors.verticalCenter: parent.verticalCenter
            width: root.width - 32 - 26 - 12
            text: root.title
            font.pixelSize: Fonts.body
            font.weight: Font.DemiBold
            color: MavuColor.text
            elide: Text.ElideRight
        }
    }

    HoverHandler {
        id: hoverHandler
        cursorShape: Qt.PointingHandCursor
    }
    TapHandler {
        onTapped: root.activated()
    }
}
