pragma Singleton
import QtQuick

// Sizes, spacings, opacities and timings the screens share, in logical pixels and milliseconds.
QtObject {
    // Screens and columns laid over the theme picture.
    readonly property real backdropOpacity: 0.5
    readonly property real columnOpacity: 0.55
    readonly property real pictureDim: 0.5
    readonly property real busyDim: 0.35
    readonly property real pressedOpacity: 0.75
    // The faint white edge of raised panels.
    readonly property real hairlineOpacity: 0.1

    // Fades: the theme picture and the player layer; the player's bars.
    readonly property int fade: 200
    readonly property int chromeFade: 250
    // In full screen the pointer and the player's bars go after this long without movement.
    readonly property int pointerIdle: 3000

    // The ring around whatever has keyboard focus.
    readonly property real focusRingWidth: 2
    readonly property real focusRingGap: 3

    // The app's button and its relatives.
    readonly property real buttonRadius: 10
    readonly property real fieldRadius: 8
    readonly property real cardRadius: 14
    readonly property real outlineWidth: 1.5

    // Posters.
    readonly property real posterWidth: 150
    readonly property real posterHeight: 200
    readonly property real posterRadius: 12
    readonly property real posterSpacing: 16
    // The section grid's posters and their badges.
    readonly property real gridPosterRadius: 10
    readonly property real placeholderOpacity: 0.7
    readonly property real badgeOpacity: 0.55

    // Spinners.
    readonly property real spinnerSmall: 22
    readonly property real spinnerLarge: 36
    readonly property real spinnerHuge: 48

    // The widest a failure panel's words run before they wrap.
    readonly property real failureWidth: 420

    // Home screen and section columns.
    readonly property real menuWidth: 210
    readonly property real columnWidth: 220
    // The guide grid: the channel column and a channel's row.
    readonly property real guideChannelWidth: 210
    readonly property real guideRowHeight: 52
    readonly property real screenMargin: 20
    readonly property real paneMargin: 24

    // The settings sheet: its panel, its bar, the padding of its pages and the rows on them.
    readonly property real sheetWidth: 520
    readonly property real sheetHeight: 560
    readonly property real sheetBarHeight: 52
    readonly property real sheetPadding: 20
    readonly property real settingRowRadius: 12
    readonly property real choiceRowRadius: 10
    readonly property real choiceRowSpacing: 6
    readonly property real themeThumbnailHeight: 110
    readonly property real dividerOpacity: 0.18
    readonly property real rowRadius: 9
    readonly property real searchMaxWidth: 280
    readonly property real sheetRadius: 12
}
