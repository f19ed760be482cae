import QtQuick
import Mavu

// One episode of the detail screen: its thumbnail and title, marked and outlined while it is
// the one playing. The whole card plays it (click, Enter, Return or Space).
MavuButton {
    id: control
    required property episode episode
    property bool playing: false
    // The pointer is over the card.
    readonly property bool hover: hovered

    text: DetailRules.episodeTitle(episode)
    padding: 8
    faceRadius: 10

    background: Rectangle {
        objectName: "cardFace"
        radius: 10
        color: MavuColor.alpha(MavuColor.panel, control.hover ? 1.0 : 0.6)
        border.width: control.playing ? Metrics.outlineWidth : 0
        border.color: MavuColor.amber
    }

    contentItem: Row {
        spacing: 10

        DetailPicture {
            objectName: "thumbnail"
            anchors.verticalCenter: parent.verticalCenter
            width: 74
            height: 46
            radius: 8
            color: MavuColor.ink
            address: control.episode.image
            placeholder: "play.rectangle"
            placeholderSize: Fonts.title3

            WatchProgressBar {
                objectName: "watchProgress"
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.margins: 4
                implicitHeight: 3
                progress: AppStore.positions.revision >= 0 ? AppStore.positions.progressOfEpisode(control.episode) : 0
            }
        }
        Column {
            anchors.verticalCenter: parent.verticalCenter
            width: control.availableWidth - 74 - 10
            spacing: 2

            PlainText {
                objectName: "episodeTitle"
                width: parent.width
                text: control.text
                font.pixelSize: Fonts.callout
                color: MavuColor.text
                wrapMode: Text.Wrap
                maximumLineCount: 2
                elide: Text.ElideRight
            }
            PlainText {
                objectName: "playingMark"
                visible: control.playing
                text: "playing"
                font.pixelSize: Fonts.caption2
                color: MavuColor.amber
            }
        }
    }
}
