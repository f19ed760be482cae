import QtQuick
import Mavu
import Mavu.Core

// The live section's right side: the preview of the channel that plays, with its status, over
// the info panel (title, now and next, Catch Up and the favourite button). Every new address
// gets a new preview player; the old one stops as it goes.
// With the keyboard on the preview, Up/Down and Page Up/Page Down zap along the channel list.
FocusScope {
    id: pane
    objectName: "livePlayerPane"

    property bool isBuffering: true
    property bool failed: false
    property bool isReconnecting: false
    property VLCPlayerView player: null
    // The preview alone, without the info panel (the guide's corner).
    property bool compact: false
    readonly property bool showsPreview: LiveRules.showsPreview(AppStore.nowPlayingURL,
                                                                AppStore.hasNowPlaying,
                                                                AppStore.hasNowPlaying && AppStore.nowPlaying.isLive,
                                                                AppStore.hasCatchupURLBuilder)

    // Plays the channel `delta` rows away from the one playing; nothing past either end.
    function zap(delta: int) {
        const row = LiveRules.zapRow(LiveRules.rowOf(AppStore.itemsModel, AppStore.hasNowPlaying ? AppStore.nowPlaying.id : ""),
                                     AppStore.itemsModel.count, delta)
        if (row >= 0)
            AppStore.runPlay(LiveRules.itemAt(AppStore.itemsModel, row))
    }

    Rectangle {
        anchors.fill: parent
        color: "black"
    }

    FocusScope {
        id: video
        objectName: "livePreview"
        anchors.top: parent.top
        anchors.bottom: pane.compact ? parent.bottom : info.top
        width: parent.width
        activeFocusOnTab: true
        focus: true

        Keys.onUpPressed: pane.zap(-1)
        Keys.onDownPressed: pane.zap(1)
        Keys.onPressed: event => {
            if (event.key === Qt.Key_PageUp || event.key === Qt.Key_PageDown) {
                pane.zap(event.key === Qt.Key_PageUp ? -1 : 1)
                event.accepted = true
            }
        }

        // One delegate per address: a new channel makes a new player.
        Repeater {
            model: pane.showsPreview ? [AppStore.nowPlayingURL] : []
            VLCPlayerView {
                id: player
                required property url modelData
                objectName: "previewPlayer"
                width: parent ? parent.width : 0
                height: parent ? parent.height : 0
                url: player.modelData
            }
            // The pane's flags follow each new player's reports; they outlive the player.
            onItemAdded: (index, item) => {
                const player = item as VLCPlayerView
                // Its reports arrive later and change these only when they differ.
                player.isBuffering = pane.isBuffering
                player.failed = pane.failed
                player.isBufferingChanged.connect(() => pane.isBuffering = player.isBuffering)
                player.failedChanged.connect(() => pane.failed = player.failed)
                pane.isReconnecting = player.isReconnecting
                player.isReconnectingChanged.connect(() => pane.isReconnecting = player.isReconnecting)
                pane.player = player
            }
        }

        LiveStatusPanel {
            objectName: "liveStatus"
            anchors.centerIn: parent
            visible: pane.showsPreview && (pane.isBuffering || pane.failed || pane.isReconnecting)
            failed: pane.failed
            reconnecting: pane.isReconnecting
            onRetryRequested: if (pane.player) pane.player.retry()
        }

        Column {
            objectName: "selectChannel"
            anchors.centerIn: parent
            visible: !pane.showsPreview
            spacing: 10
            SymbolIcon {
                anchors.horizontalCenter: parent.horizontalCenter
                name: "tv"
                size: 44
                color: MavuColor.alpha(MavuColor.amber, Metrics.placeholderOpacity)
            }
            PlainText {
                anchors.horizontalCenter: parent.horizontalCenter
                text: "Select a channel"
                font.pixelSize: Fonts.body
                color: MavuColor.textDim
            }
        }

        FocusRing {
            visible: video.activeFocus
            faceRadius: 0
        }
    }

    Rectangle {
        id: info
        objectName: "liveInfo"
        visible: !pane.compact
        anchors.bottom: parent.bottom
        width: parent.width
        height: lines.implicitHeight + 24
        color: MavuColor.alpha(MavuColor.ink, 0.85)

        Column {
            id: lines
            x: 12
            y: 12
            width: parent.width - 24
            spacing: 8

            PlainText {
                objectName: "liveTitle"
                width: parent.width
                text: LiveRules.titleLine(AppStore.nowPlayingTitle)
                font.pixelSize: Fonts.headline
                font.bold: true
                color: MavuColor.text
                elide: Text.ElideRight
            }
            Repeater {
                model: AppStore.epgNowNextModel
                ProgramLine {
                    id: guideLine
                    required property int index
                    objectName: "guideLine"
                    visible: guideLine.index < LiveRules.guideLines
                    maxWidth: parent ? parent.width : 0
                }
            }
            PlainText {
                objectName: "noGuide"
                visible: AppStore.epgNowNextModel.count === 0
                text: "No programme info"
                font.pixelSize: Fonts.caption
                color: MavuColor.textDim
            }
            Row {
                spacing: 10
                MavuButtonStyle {
                    objectName: "catchupButton"
                    visible: AppStore.hasNowPlaying && AppStore.nowPlaying.tvArchive
                    text: "Catch Up"
                    symbol: "clock.arrow.circlepath"
                    font.pixelSize: Fonts.callout
                    onClicked: AppStore.runOpenCatchup()
                }
                MavuButtonStyle {
                    readonly property bool isFavorite: AppStore.favoritesRevision >= 0 && AppStore.hasNowPlaying
                                                       && AppStore.isFavorite(AppStore.nowPlaying)
                    objectName: "favoriteButton"
                    visible: AppStore.hasNowPlaying
                    text: isFavorite ? "Remove Favorite" : "Add Favorite"
                    symbol: isFavorite ? "star.fill" : "star"
                    font.pixelSize: Fonts.callout
                    onClicked: AppStore.toggleFavorite(AppStore.nowPlaying)
                }
            }
        }
    }
}
