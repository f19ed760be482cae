import QtQuick
import Mavu

// A show's seasons as chips and the chosen season's episodes as cards. The chips are one Tab
// stop (Left and Right move along them), the episodes another (Up and Down).
Column {
    id: root
    readonly property bool hasSeasons: AppStore.seasonsModel.count > 0
    // Room for the focus ring of the chips at either end of their clipped row.
    readonly property real ringRoom: Metrics.focusRingGap + Metrics.focusRingWidth

    spacing: 12

    FontMetrics {
        id: chipFont
        font.pixelSize: Fonts.body
    }

    PlainText {
        objectName: "noEpisodes"
        visible: !root.hasSeasons && !AppStore.loadingDetail
        text: "No episodes available"
        font.pixelSize: Fonts.body
        color: MavuColor.textDim
    }

    PlainText {
        objectName: "seasonsTitle"
        visible: root.hasSeasons
        text: "Seasons"
        font.pixelSize: Fonts.title3
        font.bold: true
        color: MavuColor.text
    }

    FocusListView {
        objectName: "seasonChips"
        visible: root.hasSeasons
        x: -root.ringRoom
        width: root.width + 2 * root.ringRoom
        height: visible ? Math.ceil(chipFont.height) + 14 + 2 * root.ringRoom : 0
        orientation: ListView.Horizontal
        spacing: 8
        leftMargin: root.ringRoom
        rightMargin: root.ringRoom
        clip: true
        model: AppStore.seasonsModel

        delegate: MavuButton {
            id: chip
            required property season season
            required property int index
            readonly property bool selected: AppStore.hasSelectedSeason && DetailRules.sameSeason(season, AppStore.selectedSeason)
            objectName: "seasonChip"
            anchors.verticalCenter: parent ? parent.verticalCenter : undefined
            focusPolicy: Qt.ClickFocus
            text: season.name
            topPadding: 7
            bottomPadding: 7
            leftPadding: 14
            rightPadding: 14
            faceRadius: height / 2
            font.pixelSize: Fonts.body

            background: Rectangle {
                radius: height / 2
                color: chip.selected ? MavuColor.amber : MavuColor.panel
            }
            contentItem: PlainText {
                objectName: "chipText"
                text: chip.text
                font: chip.font
                color: chip.selected ? MavuColor.ink : MavuColor.text
                maximumLineCount: 1
            }

            // The keyboard enters the row at the chosen season.
            onSelectedChanged: if (selected) ListView.view.currentIndex = index
            Component.onCompleted: if (selected) ListView.view.currentIndex = index
            onActiveFocusChanged: if (activeFocus) ListView.view.currentIndex = index
            onClicked: AppStore.selectedSeason = season
        }
    }

    // As tall as all its cards: the screen scrolls, not the list.
    FocusListView {
        objectName: "episodeList"
        visible: root.hasSeasons
        width: root.width
        height: contentHeight
        interactive: false
        spacing: 12
        model: AppStore.seasonEpisodesModel

        delegate: EpisodeCard {
            required property int index
            objectName: "episodeCard"
            width: ListView.view.width
            focusPolicy: Qt.ClickFocus
            playing: AppStore.hasNowPlayingEpisode && AppStore.nowPlayingEpisode.id === episode.id
            onActiveFocusChanged: if (activeFocus) ListView.view.currentIndex = index
            onClicked: AppStore.playEpisode(episode, AppStore.detailItem)
        }
    }
}
