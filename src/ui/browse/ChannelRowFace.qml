import QtQuick
import Mavu

// A channel row's face: number, logo, name, then the archive clock and the favourite star.
Row {
    id: face
    property mediaItem item
    property int number
    property bool selected
    property bool favorite
    property string name
    property font nameFont
    property real availableWidth

    spacing: 8

    PlainText {
        objectName: "channelNumber"
        anchors.verticalCenter: parent.verticalCenter
        width: 28
        horizontalAlignment: Text.AlignRight
        text: String(face.number)
        font.pixelSize: Fonts.caption
        font.family: Fonts.monospace
        color: face.selected ? MavuColor.alpha(MavuColor.ink, 0.7) : MavuColor.textDim
    }
    ChannelLogo {
        anchors.verticalCenter: parent.verticalCenter
        icon: face.item.icon
    }
    PlainText {
        objectName: "channelName"
        anchors.verticalCenter: parent.verticalCenter
        width: Math.max(0, face.availableWidth - 28 - 30 - 3 * face.spacing - marks.width)
        text: face.name
        font: face.nameFont
        color: face.selected ? MavuColor.ink : MavuColor.text
        elide: Text.ElideRight
    }
    Row {
        id: marks
        anchors.verticalCenter: parent.verticalCenter
        spacing: 6
        SymbolGlyph {
            objectName: "archiveMark"
            anchors.verticalCenter: parent.verticalCenter
            visible: face.item.tvArchive
            name: "clock.arrow.circlepath"
            size: Fonts.caption2
            color: face.selected ? MavuColor.alpha(MavuColor.ink, 0.7) : MavuColor.textDim
        }
        SymbolGlyph {
            objectName: "favoriteMark"
            anchors.verticalCenter: parent.verticalCenter
            visible: face.favorite
            name: "star.fill"
            size: Fonts.caption2
            color: face.selected ? MavuColor.ink : MavuColor.amber
        }
    }
}
