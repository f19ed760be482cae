import QtQuick

// A list that is one stop of the Tab chain: the arrow keys along it move the current entry,
// which takes the keyboard focus (and shows its ring). Keys it does not use (past either end,
// across it) go on to the items around it. Delegates take `focusPolicy: Qt.ClickFocus`, so
// that Tab leaves the list instead of walking through it.
ListView {
    id: view

    activeFocusOnTab: true
    keyNavigationEnabled: false
    boundsBehavior: Flickable.StopAtBounds

    // The list itself takes focus only from the keyboard (Tab, Backtab, a neighbour's arrow
    // key): hand it on to the current entry, ring and all.
    onActiveFocusChanged: {
        if (!activeFocus || count === 0)
            return
        if (currentIndex < 0) // a list filled after it was made has no current entry yet
            currentIndex = 0
        if (currentItem)
            currentItem.forceActiveFocus(Qt.TabFocusReason)
    }
    // The entry can come after the focus did: a list refilled or laid out anew has no current
    // item for a moment, and a row that goes leaves the focus with the list. Hand it on then,
    // or the keyboard would rest on the list with no row ringed.
    onCurrentItemChanged: {
        if (activeFocus && currentItem && !currentItem.activeFocus && Window.activeFocusItem === view)
            currentItem.forceActiveFocus(Qt.TabFocusReason)
    }

    // Moves the current entry by `delta`; false when there is no entry there. The entry takes
    // the focus before it becomes current: the list would otherwise hand it the focus without
    // a keyboard reason, and its ring would not show.
    function step(delta: int): bool {
        const next = currentIndex + delta
        if (next < 0 || next >= count)
            return false
        positionViewAtIndex(next, ListView.Contain)
        const entry = itemAtIndex(next)
        if (entry)
            entry.forceActiveFocus(delta > 0 ? Qt.TabFocusReason : Qt.BacktabFocusReason)
        currentIndex = next
        return true
    }

    Keys.onLeftPressed: event => event.accepted = orientation === ListView.Horizontal && step(-1)
    Keys.onRightPressed: event => event.accepted = orientation === ListView.Horizontal && step(1)
    Keys.onUpPressed: event => event.accepted = orientation === ListView.Vertical && step(-1)
    Keys.onDownPressed: event => event.accepted = orientation === ListView.Vertical && step(1)
}
