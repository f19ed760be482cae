import QtQuick
import QtQuick.Controls.Basic
import Mavu

// The one window: ink, the chosen theme picture, the screen of the current phase, the
// full-window player when something plays that needs it, and the busy overlay.
ApplicationWindow {
    id: window
    objectName: "contentWindow"
    width: 1200
    height: 760
    minimumWidth: 820
    minimumHeight: 520
    visible: true
    title: "MAVU"
    color: MavuColor.ink
    palette.highlight: MavuColor.amber
    palette.highlightedText: MavuColor.ink
    palette.window: MavuColor.ink
    palette.windowText: MavuColor.text
    palette.base: MavuColor.panel
    palette.text: MavuColor.text
    palette.button: MavuColor.panel
    palette.buttonText: MavuColor.text

    // A live channel played normally stays in the Live TV screen's own pane; everything else
    // that plays covers the window.
    readonly property bool coversWithPlayer: AppStore.nowPlayingURL.toString() !== ""
            && !(AppStore.hasNowPlaying && AppStore.nowPlaying.isLive && !AppStore.hasCatchupURLBuilder)

    Component.onCompleted: {
        x = Screen.virtualX + (Screen.width - width) / 2
        y = Screen.virtualY + (Screen.height - height) / 2
    }

    // Layer 2: the theme picture, cropped to fill, dimmed by half-black; nothing while it loads.
    Item {
        anchors.fill: parent
        Image {
            id: theme
            objectName: "themePicture"
            anchors.fill: parent
            source: AppStore.currentThemeURL
            sourceSize.width: window.width * Screen.devicePixelRatio
            fillMode: Image.PreserveAspectCrop
            asynchronous: true
            opacity: status === Image.Ready ? 1 : 0
            Behavior on opacity {
                NumberAnimation { duration: 200; easing.type: Easing.InOutQuad }
            }
        }
        Rectangle {
            anchors.fill: parent
            color: "black"
            opacity: 0.5 * theme.opacity
        }
    }

    // Layer 3: the screen of the phase, swapped at once.
    Loader {
        id: phaseScreen
        objectName: "phaseScreen"
        anchors.fill: parent
        sourceComponent: AppStore.phase === AppStore.Check ? checkScreen
                       : AppStore.phase === AppStore.Home ? homeScreen : sectionScreen
    }
    Component { id: checkScreen; CheckView {} }
    Component { id: homeScreen; HomeView {} }
    Component { id: sectionScreen; Item { objectName: "sectionPlaceholder" } }

    // Layer 4: the full-window player, made fresh each time it is shown, fading in and out.
    // While it fades out it keeps the address it played, so nothing else starts behind the fade.
    Loader {
        id: playerLayer
        objectName: "playerLayer"
        anchors.fill: parent
        active: false
        opacity: 0
        property url shownURL
        property string shownTitle

        function follow() {
            if (window.coversWithPlayer) {
                fadeOut.stop()
                shownURL = AppStore.nowPlayingURL
                if (!active) {
                    shownTitle = AppStore.nowPlayingTitle
                    active = true
                }
                fadeIn.restart()
            } else if (active && !fadeOut.running) {
                fadeIn.stop()
                fadeOut.restart()
            }
        }

        sourceComponent: PlayerScreen {
            url: playerLayer.shownURL
            title: playerLayer.shownTitle
        }

        NumberAnimation {
            id: fadeIn
            target: playerLayer
            property: "opacity"
            to: 1
            duration: 200
            easing.type: Easing.InOutQuad
        }
        SequentialAnimation {
            id: fadeOut
            NumberAnimation {
                target: playerLayer
                property: "opacity"
                to: 0
                duration: 200
                easing.type: Easing.InOutQuad
            }
            ScriptAction {
                script: playerLayer.active = false
            }
        }

        Connections {
            target: window
            function onCoversWithPlayerChanged() { playerLayer.follow() }
        }
        Connections {
            target: AppStore
            function onNowPlayingURLChanged() { playerLayer.follow() }
        }
    }

    // Layer 5: the busy overlay.
    Rectangle {
        objectName: "busyOverlay"
        anchors.fill: parent
        visible: AppStore.resolving
        color: Qt.rgba(0, 0, 0, 0.35)
        MouseArea { anchors.fill: parent }
        Spinner {
            anchors.centerIn: parent
            size: 48
        }
    }
}
