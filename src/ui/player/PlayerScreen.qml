import QtQuick
import Mavu
import Mavu.Core
import Mavu.Desktop

// The full-window player for movies, episodes and catch-up recordings: the picture, a status
// panel while the stream opens or after it failed, and two bars of controls that a click shows
// or hides. The keyboard drives playback (PlayerShortcuts); "?" lists the keys. F, F11 or a
// double-click on the picture fill the screen, where the pointer and the bars go when the
// pointer rests. Escape leaves full screen, then the player; any other key brings hidden bars
// back first.
FocusScope {
    id: root
    objectName: "playerScreen"

    // Given by the shell: the address to play and the title at the time it was shown.
    property url url
    property string title
    property alias showChrome: idle.shown
    // 1 with the bars in place, 0 with them gone; only this moves, so layout changes never animate.
    property real chromeReveal: showChrome ? 1 : 0
    Behavior on chromeReveal { NumberAnimation { duration: Metrics.chromeFade; easing.type: Easing.InOutQuad } }

    readonly property string displayTitle: AppStore.nowPlayingTitle !== "" ? AppStore.nowPlayingTitle : title
    readonly property bool fullScreen: Window.visibility === Window.FullScreen
    // In full screen, the pointer has rested long enough to hide it with the bars.
    readonly property bool pointerResting: idle.pointerResting

    IdleChrome {
        id: idle
        active: root.fullScreen
        restAfter: Metrics.pointerIdle
    }

    PlayerController {
        id: controller
    }

    PlayerScreenState {
        id: screenState
        objectName: "playerScreenState"
        controller: controller
        store: AppStore
    }

    PlayerShortcuts {
        id: shortcuts
        objectName: "playerShortcuts"
        screenState: screenState
        fullScreen: root.fullScreen
        onToggleFullScreenRequested: WindowPlacement.toggleFullScreen(root.Window.window)
        onLeaveFullScreenRequested: WindowPlacement.leaveFullScreen(root.Window.window)
        onLeaveRequested: AppStore.exitPlayer()
    }

    // Movies and episodes start where they were left, and remember where they are.
    ResumeState {
        id: resumeState
        objectName: "resumeState"
        controller: controller
        store: AppStore
    }

    // The desktop's media controls and the screen kept awake follow this screen's playback.
    Component.onCompleted: {
        MediaSession.attachController(controller)
        resumeState.play(url)
    }
    onUrlChanged: resumeState.play(url)
    Component.onDestruction: {
        MediaSession.detach(controller)
        resumeState.save()
        controller.shutdown()
    }

    Keys.onPressed: event => {
        if (shortcuts.press(event.key, event.text, event.modifiers)) {
            event.accepted = true
        } else if (!root.showChrome) {
            idle.wake()
            event.accepted = true
        }
    }

    // Any movement of the pointer brings it and the bars back.
    RestingPointer {
        chrome: idle
    }

    Rectangle {
        anchors.fill: parent
        color: "black"
    }

    ControlledVideoView {
        objectName: "videoView"
        anchors.fill: parent
        controller: controller
    }

    // Clicks that reach the screen itself (not a control) show or hide the bars.
    MouseArea {
        objectName: "chromeToggle"
        anchors.fill: parent
        onClicked: root.showChrome = !root.showChrome
        onDoubleClicked: WindowPlacement.toggleFullScreen(root.Window.window)
    }

    Rectangle {
        objectName: "statusPanel"
        anchors.centerIn: parent
        visible: controller.isBuffering || controller.failed || controller.isReconnecting
        width: statusColumn.implicitWidth + 56
        height: statusColumn.implicitHeight + 56
        radius: 16
        color: MavuColor.alpha("black", 0.55)

        Column {
            id: statusColumn
            anchors.centerIn: parent
            spacing: 16

            SymbolIcon {
                anchors.horizontalCenter: parent.horizontalCenter
                visible: controller.failed
                name: "exclamationmark.triangle"
                size: 40
                color: MavuColor.amber
            }
            PlainText {
                objectName: "failureTitle"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: controller.failed
                text: "Couldn't play this stream"
                font.pixelSize: Fonts.body
                color: "white"
            }
            PlainText {
                objectName: "failureDetail"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: controller.failed
                text: controller.limitReached
                      ? "The account's connection limit was reached. Stop it playing elsewhere and try again."
                      : "The provider may be offline or this title isn't available."
                font.pixelSize: Fonts.callout
                color: MavuColor.textDim
            }
            MavuButtonStyle {
                objectName: "retryButton"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: controller.failed
                filled: true
                text: "Retry"
                // A failure leaves nothing else to do here: Return retries at once.
                onVisibleChanged: if (visible) forceActiveFocus()
                onClicked: controller.retry()
            }
            Spinner {
                anchors.horizontalCenter: parent.horizontalCenter
                visible: !controller.failed
                size: 36
            }
            PlainText {
                objectName: "loadingText"
                anchors.horizontalCenter: parent.horizontalCenter
                visible: !controller.failed
                text: controller.isReconnecting ? "Reconnecting…" : "Loading " + root.displayTitle + "…"
                font.pixelSize: Fonts.body
                color: "white"
                maximumLineCount: 1
                elide: Text.ElideRight
                width: Math.min(implicitWidth, root.width - 120)
            }
        }
    }

    // Top bar: back and the title, over a fade from black.
    Item {
        id: topBar
        objectName: "topBar"
        width: parent.width
        height: topRow.implicitHeight + 32
        y: -height * (1 - root.chromeReveal)
        opacity: root.chromeReveal
        visible: opacity > 0

        Rectangle {
            anchors.fill: parent
            gradient: Gradient {
                GradientStop { position: 0; color: MavuColor.alpha("black", 0.7) }
                GradientStop { position: 1; color: "transparent" }
            }
        }

        Row {
            id: topRow
            x: 16
            y: 16
            spacing: 12

            BackButton {
                objectName: "backButton"
                symbolSize: Fonts.title3
                inset: 10
                onClicked: AppStore.exitPlayer()
            }
            PlainText {
                objectName: "titleText"
                anchors.verticalCenter: parent.verticalCenter
                width: Math.min(implicitWidth, root.width - 100)
                text: root.displayTitle
                font.pixelSize: Fonts.title3
                font.weight: Font.DemiBold
                color: "white"
                maximumLineCount: 1
                elide: Text.ElideRight
            }
        }
    }

    PlayerBottomBar {
        id: bottomBar
        objectName: "bottomBar"
        width: parent.width
        controller: controller
        screenState: screenState
        y: root.height - height * root.chromeReveal
        opacity: root.chromeReveal
        visible: opacity > 0
    }

    ResumeNotice {
        objectName: "resumeNotice"
        anchors.horizontalCenter: parent.horizontalCenter
        y: topBar.y + topBar.height + 8
        resume: resumeState
    }

    PlayerKeysOverlay {
        objectName: "keysOverlay"
        anchors.centerIn: parent
        visible: shortcuts.keysShown
        keyList: shortcuts.keyList
    }
}
