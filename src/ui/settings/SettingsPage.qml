import QtQuick

// One page of the settings sheet: its title for the sheet's bar, and what takes the keyboard
// when it is shown.
FocusScope {
    id: page
    property string title
    // The item that takes the focus when the page is shown from the keyboard; the page itself
    // when none.
    property Item initialFocus: null
    // Also when shown by a click: a field to type into, a row to come back to. A list is left
    // alone, so that its ring does not show for a click.
    property bool initialFocusByClick: false

    // The page is done: the sheet goes back one page.
    signal leave(bool byKey)

    // Shown, or shown again: the focus goes in, with its ring when the keyboard brought it.
    function enter(byKey: bool) {
        const target = page.initialFocus !== null && (byKey || page.initialFocusByClick) ? page.initialFocus : page
        // Shown again, the page may have handed its last focused item the focus already, for
        // no reason the ring shows for: give it again, for this reason.
        if (target.activeFocus && target !== page)
            target.focus = false
        target.forceActiveFocus(byKey ? Qt.TabFocusReason : Qt.OtherFocusReason)
    }
}
