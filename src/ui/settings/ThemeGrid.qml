import QtQuick
import QtQuick.Controls.Basic
import Mavu

// The theme tiles in as many columns of at least 200 as fit, 16 apart. One Tab stop: the
// arrow keys move between the tiles.
GridView {
    id: grid

    readonly property real spacing: 16
    readonly property int columns: SettingsRules.gridColumns(width - 2 * Metrics.sheetPadding, 200, spacing)
    readonly property real tileWidth: (width - 2 * Metrics.sheetPadding - (columns - 1) * spacing) / columns
    readonly property real tileHeight: Metrics.themeThumbnailHeight + 8 + Fonts.callout * 1.5

    activeFocusOnTab: true
    keyNavigationEnabled: false
    boundsBehavior: Flickable.StopAtBounds
    topMargin: Metrics.sheetPadding
    bottomMargin: Metrics.sheetPadding - spacing
    leftMargin: Metrics.sheetPadding
    rightMargin: Metrics.sheetPadding - spacing
    cellWidth: tileWidth + spacing
    cellHeight: tileHeight + spacing
    currentIndex: Math.max(0, Math.min(AppStore.themeIndex, count - 1))
    ScrollBar.vertical: ScrollBar {}

    delegate: ThemeTile {
        width: (GridView.view as ThemeGrid).tileWidth
        height: (GridView.view as ThemeGrid).tileHeight
        onActiveFocusChanged: if (activeFocus) GridView.view.currentIndex = index
    }

    // Taken from the keyboard: the focus goes on to the current tile, ring and all.
    onActiveFocusChanged: {
        if (activeFocus && currentItem)
            currentItem.forceActiveFocus(Qt.TabFocusReason)
    }

    // Moves to the tile `delta` places on; false when there is none.
    function step(delta: int): bool {
        const next = currentIndex + delta
        if (next < 0 || next >= count)
            return false
        positionViewAtIndex(next, GridView.Contain)
        const tile = itemAtIndex(next)
        if (tile)
            tile.forceActiveFocus(delta > 0 ? Qt.TabFocusReason : Qt.BacktabFocusReason)
        currentIndex = next
        return true
    }

    Keys.onLeftPressed: event => event.accepted = step(-1)
    Keys.onRightPressed: event => event.accepted = step(1)
    Keys.onUpPressed: event => event.accepted = step(-columns)
    Keys.onDownPressed: event => event.accepted = step(columns)
}
