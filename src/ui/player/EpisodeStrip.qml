import QtQuick
import Mavu

// The episodes of the playing season as chips; the playing one in amber.
ListView {
    id: root
    height: 30
    orientation: ListView.Horizontal
    spacing: 8
    leftMargin: 4
    rightMargin: 4
    clip: true
    boundsBehavior: Flickable.StopAtBounds
    model: AppStore.seasonEpisodesModel

    delegate: Rectangle {
        id: chip
        required property var episode
        readonly property bool current: AppStore.hasNowPlayingEpisode && AppStore.nowPlayingEpisode.id === episode.id
        objectName: "episodeChip"
        anchors.verticalCenter: parent ? parent.verticalCenter : undefined
        width: label.implicitWidth + 20
        height: label.implicitHeight + 12
        radius: height / 2
        color: current ? MavuColor.amber : Qt.rgba(1, 1, 1, 0.12)

        Text {
            id: label
            objectName: "chipText"
            anchors.centerIn: parent
            text: chip.episode.title !== "" ? chip.episode.title : "E" + chip.episode.episodeNum
            font.pixelSize: Fonts.caption
            color: chip.current ? MavuColor.ink : "white"
            maximumLineCount: 1
        }
        MouseArea {
            anchors.fill: parent
            cursorShape: Qt.PointingHandCursor
            onClicked: {
                if (AppStore.hasNowPlaying)
                    AppStore.playEpisode(chip.episode, AppStore.nowPlaying)
            }
        }
    }
}
