import QtQuick
import Mavu
import Mavu.Core

// The live section's right side: the preview of the channel that plays, with its status, over
// the info panel (title, now and next, Catch Up and the favourite button). Every new address
// gets a new preview player; the old one stops as it goes.
// With the keyboard on the preview, Up/Down and Page Up/Page Down zap along the channel list.
// Enter makes the preview fill the window and F, F11 or a double-click fill the screen with it;
// the info panel then rides over the picture and, in full screen, goes with the resting pointer.
FocusScope {
    id: pane
    objectName: "livePlayerPane"

    property bool isBuffering: true
    property bool failed: false
    property bool isReconnecting: false
    property bool limitReached: false
    property VLCPlayerView player: null
    // The preview alone, without the info panel (the guide's corner).
    property bool compact: false
    readonly property bool showsPreview: LiveRules.showsPreview(AppStore.nowPlayingURL,
                                                                AppStore.hasNowPlaying,
                                                                AppStore.hasNowPlaying && AppStore.nowPlaying.isLive,
                                                                AppStore.hasCatchupURLBuilder)
    // The preview covers the window; the columns around it step aside.
    readonly property bool filled: previewState.filled
    readonly property bool fullScreen: Window.visibility === Window.FullScreen
    // 1 with the info panel in place over a filled preview, 0 with it gone.
    property real chromeReveal: idle.shown ? 1 : 0
    Behavior on chromeReveal { NumberAnimation { duration: Metrics.chromeFade; easing.type: Easing.InOutQuad } }

    // Plays the channel `delta` rows away from the one playing; nothing past either end.
    function zap(delta: int) {
        const row = LiveRules.zapRow(LiveRules.rowOf(AppStore.itemsModel, AppStore.hasNowPlaying ? AppStore.nowPlaying.id : ""),
                                     AppStore.itemsModel.count, delta)
        if (row >= 0)
            AppStore.runPlay(LiveRules.itemAt(AppStore.itemsModel, row))
    }

    LivePreviewState {
        id: previewState
        objectName: "previewState"
        fullScreen: pane.fullScreen
        showsPreview: pane.showsPreview
        catchupOpen: AppStore.catchupOpen
        onZapRequested: delta => {
            pane.zap(delta)
            idle.wake()
        }
        onEnterFullScreenRequested: WindowPlacement.toggleFullScreen(pane.Window.window)
        onLeaveFullScreenRequested: WindowPlacement.leaveFullScreen(pane.Window.window)
        // Filled, the preview is all there is to hold the keyboard (Escape must reach it); the
        // info panel starts out shown either way.
        onFilledChanged: {
            idle.wake()
            if (filled)
                video.forceActiveFocus(Qt.OtherFocusReason)
        }
    }

    IdleChrome {
        id: idle
        active: pane.filled && pane.fullScreen
        restAfter: Metrics.pointerIdle
    }

    RestingPointer {
        chrome: idle
    }

    Rectangle {
        anchors.fill: parent
        color: "black"
    }

    FocusScope {
        id: video
        objectName: "livePreview"
        anchors.top: parent.top
        anchors.bottom: pane.compact || pane.filled ? parent.bottom : info.top
        width: parent.width
        activeFocusOnTab: true
        focus: true

        // Escape that is not the preview's own goes on to the screen around it.
        Keys.onPressed: event => {
            if (previewState.press(event.key, event.modifiers)) {
                event.accepted = true
            } else if (!idle.shown) {
                idle.wake()
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
                pane.limitReached = player.limitReached
                player.limitReachedChanged.connect(() => pane.limitReached = player.limitReached)
                pane.player = player
            }
        }

        // Under the status panel, so that its Retry still takes clicks.
        MouseArea {
            objectName: "previewSurface"
            anchors.fill: parent
            onClicked: {
                video.forceActiveFocus(Qt.MouseFocusReason)
                if (pane.filled)
                    idle.shown = !idle.shown
            }
            onDoubleClicked: previewState.toggleFullScreen()
        }

        LiveStatusPanel {
            objectName: "liveStatus"
            anchors.centerIn: parent
            visible: pane.showsPreview && (pane.isBuffering || pane.failed || pane.isReconnecting)
            failed: pane.failed
            reconnecting: pane.isReconnecting
            limitReached: pane.limitReached
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
            visible: video.activeFocus && !pane.filled
            faceRadius: 0
        }
    }

    Rectangle {
        id: info
        objectName: "liveInfo"
        anchors.bottom: parent.bottom
        width: parent.width
        height: lines.implicitHeight + 24
        color: MavuColor.alpha(MavuColor.ink, 0.85)
        opacity: pane.filled ? pane.chromeReveal : 1
        visible: !pane.compact && opacity > 0

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
                text: AppStore.guide.guideless ? "This playlist has no guide" : "No programme info"
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
