import QtQuick
import QtQuick.Controls.Basic
import Mavu

// The one window: ink, the chosen theme picture, the screen of the current phase, the
// full-window player when something plays that needs it, and the busy overlay. Whether the
// player covers the phase, and what it holds while it fades, is ShellState's to decide.
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

    Component.onCompleted: {
        x = Screen.virtualX + (Screen.width - width) / 2
        y = Screen.virtualY + (Screen.height - height) / 2
    }

    // Layer 2: the theme picture, cropped to fill, dimmed by half-black; nothing while it loads.
    // It is decoded once at a size that covers the whole screen, so resizing the window only
    // rescales it, and it fades in only when a new address has loaded.
    Item {
        anchors.fill: parent
        Image {
            id: theme
            objectName: "themePicture"
            anchors.fill: parent
            source: AppStore.currentThemeURL
            sourceSize.width: Screen.width * Screen.devicePixelRatio
            sourceSize.height: Screen.height * Screen.devicePixelRatio
            fillMode: Image.PreserveAspectCrop
            asynchronous: true
            opacity: status === Image.Ready ? 1 : 0
            Behavior on opacity {
                NumberAnimation { duration: Metrics.fade; easing.type: Easing.InOutQuad }
            }
        }
        Rectangle {
            anchors.fill: parent
            color: "black"
            opacity: Metrics.pictureDim * theme.opacity
        }
    }

    // Layer 3: the screen of the phase, swapped at once. It has the keyboard while the player
    // does not cover it; under the player it is out of the Tab chain.
    Loader {
        id: phaseScreen
        objectName: "phaseScreen"
        anchors.fill: parent
        focus: !ShellState.coversWithPlayer
        enabled: !ShellState.coversWithPlayer
        sourceComponent: AppStore.phase === AppStore.Check ? checkScreen
                       : AppStore.phase === AppStore.Home ? homeScreen : sectionScreen
    }
    Component {
        id: checkScreen
        CheckView {
            focus: true
        }
    }
    // Ctrl+F searches the whole library from anywhere but the player and the grid, whose own
    // field takes it. Another screen gives way to the home screen first.
    property bool searchWanted: false
    Shortcut {
        objectName: "searchShortcut"
        sequence: "Ctrl+F"
        enabled: !ShellState.coversWithPlayer && AppStore.phase !== AppStore.Check
                 && !(AppStore.phase === AppStore.Section && AppStore.section !== Catalog.Live && !AppStore.hasDetailItem)
        onActivated: {
            if (AppStore.phase === AppStore.Home) {
                (phaseScreen.item as HomeView).focusSearch(Qt.ShortcutFocusReason)
                return
            }
            window.searchWanted = true
            AppStore.goHome()
        }
    }
    Connections {
        target: phaseScreen
        function onLoaded() {
            const home = phaseScreen.item as HomeView
            if (home && window.searchWanted)
                home.focusSearch(Qt.ShortcutFocusReason)
            window.searchWanted = false
        }
    }
    Component {
        id: homeScreen
        HomeView {
            focus: true
        }
    }
    Component {
        id: sectionScreen
        SectionView {
            focus: true
        }
    }

    // Layer 4: the full-window player, made fresh each time it is shown, fading in and out.
    Loader {
        id: playerLayer
        objectName: "playerLayer"
        anchors.fill: parent
        active: ShellState.playerLoaded
        focus: ShellState.coversWithPlayer
        opacity: ShellState.coversWithPlayer ? 1 : 0
        Behavior on opacity {
            NumberAnimation { duration: Metrics.fade; easing.type: Easing.InOutQuad }
        }
        onOpacityChanged: {
            if (opacity === 0)
                ShellState.playerFadedOut()
        }

        sourceComponent: PlayerScreen {
            focus: true
            url: ShellState.playerURL
            title: ShellState.playerTitle
        }
    }

    // The guide grid's glyphs are made while the window is idle a moment after start, not by
    // the frame that first opens the guide.
    Timer {
        interval: 1500
        running: true
        onTriggered: glyphWarmup.active = true
    }
    Loader {
        id: glyphWarmup
        active: false
        sourceComponent: GlyphWarmup {}
        onLoaded: (item as GlyphWarmup).finishedChanged.connect(() => warmupDone.start())
    }
    Timer {
        id: warmupDone
        interval: 0
        onTriggered: {
            glyphWarmup.active = false
            guideWarmupLater.start()
        }
    }
    // Then the rest of the guide's first-frame work: its components and the pipelines of its
    // faces. Some 30 ms of the GUI thread's time: a moment later, so as not to land among the
    // catalogues' arrival and the home rows of a usual start.
    Timer {
        id: guideWarmupLater
        interval: 1500
        onTriggered: guideWarmup.active = true
    }
    Loader {
        id: guideWarmup
        objectName: "guideWarmup"
        active: false
        sourceComponent: GuideWarmup {}
        onLoaded: (item as GuideWarmup).finishedChanged.connect(() => guideWarmupDone.start())
    }
    Timer {
        id: guideWarmupDone
        interval: 0
        onTriggered: guideWarmup.active = false
    }

    // Layer 5: the busy overlay.
    Rectangle {
        objectName: "busyOverlay"
        anchors.fill: parent
        visible: AppStore.resolving
        color: MavuColor.alpha("black", Metrics.busyDim)
        MouseArea { anchors.fill: parent }
        Spinner {
            anchors.centerIn: parent
            size: Metrics.spinnerHuge
        }
    }
}
