import QtQuick
import Mavu

// A grid that is one stop of the Tab chain: the arrow keys move the current cell, which takes
// the keyboard focus (and shows its ring) and is scrolled into view. Keys that would leave the
// grid go on to the items around it. Delegates take `focusPolicy: Qt.ClickFocus`, so that Tab
// leaves the grid instead of walking through it.
GridView {
    id: view
    // Cells in a row, as the grid's owner lays them out.
    property int columns: 1

    activeFocusOnTab: true
    keyNavigationEnabled: false
    boundsBehavior: Flickable.StopAtBounds

    // The grid itself takes focus only from the keyboard (Tab, Backtab, a neighbour's arrow
    // key): hand it on to the current cell, ring and all.
    onActiveFocusChanged: {
        if (!activeFocus || count === 0)
            return
        if (currentIndex < 0 || currentIndex >= count)
            currentIndex = 0
        positionViewAtIndex(currentIndex, GridView.Contain)
        if (currentItem)
            currentItem.forceActiveFocus(Qt.TabFocusReason)
    }

    // Gives the current cell the keyboard for `reason`. A grid that has it already lets go
    // first, so that the cell's ring follows the new reason.
    function focusCurrent(reason: int) {
        if (activeFocus)
            focus = false
        forceActiveFocus(reason)
    }

    // Makes `next` the current cell, scrolled into view and focused; false when there is none.
    // The cell takes the focus before it becomes current: the grid would otherwise hand it the
    // focus without a keyboard reason, and its ring would not show.
    function moveTo(next: int, reason: int): bool {
        if (next < 0 || next >= count)
            return false
        positionViewAtIndex(next, GridView.Contain)
        const cell = itemAtIndex(next)
        if (cell)
            cell.forceActiveFocus(reason)
        currentIndex = next
        return true
    }

    function step(key: int): bool {
        const next = BrowseRules.gridNeighbour(currentIndex, count, columns, key)
        return moveTo(next, next > currentIndex ? Qt.TabFocusReason : Qt.BacktabFocusReason)
    }

    Keys.onLeftPressed: event => event.accepted = step(Qt.Key_Left)
    Keys.onRightPressed: event => event.accepted = step(Qt.Key_Right)
    Keys.onUpPressed: event => event.accepted = step(Qt.Key_Up)
    Keys.onDownPressed: event => event.accepted = step(Qt.Key_Down)
}
