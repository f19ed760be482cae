import QtQuick
import Mavu

// The episodes of the playing season as chips; the playing one in amber. One Tab stop; Left
// and Right move along it.
FocusListView {
    height: 30
    orientation: ListView.Horizontal
    spacing: 8
    leftMargin: 4
    rightMargin: 4
    clip: true
    model: AppStore.seasonEpisodesModel

    delegate: MavuButton {
        id: chip
        required property episode episode
        required property int index
        readonly property bool current: AppStore.hasNowPlayingEpisode && AppStore.nowPlayingEpisode.id === episode.id
        objectName: "episodeChip"
        anchors.verticalCenter: parent ? parent.verticalCenter : undefined
        focusPolicy: Qt.ClickFocus
        text: UiRules.episodeLabel(episode)
        topPadding: 6
        bottomPadding: 6
        leftPadding: 10
        rightPadding: 10
        faceRadius: height / 2
        readonly property color color: current ? MavuColor.amber : MavuColor.alpha("white", 0.12)

        background: Rectangle {
            radius: height / 2
            color: chip.color
        }
        contentItem: PlainText {
            objectName: "chipText"
            text: chip.text
            font.pixelSize: Fonts.caption
            color: chip.current ? MavuColor.ink : "white"
            maximumLineCount: 1
        }
        onActiveFocusChanged: {
            if (activeFocus)
                ListView.view.currentIndex = index
        }
        onClicked: {
            if (AppStore.hasNowPlaying)
                AppStore.playEpisode(episode, AppStore.nowPlaying)
        }
    }
}
