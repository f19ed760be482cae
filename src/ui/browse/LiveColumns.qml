import QtQuick
import Mavu

// The live section beside the category column: the channel list (or the catch-up panel) and
// the preview pane. Right from the list goes to the preview, Left from the preview back to the
// list; Escape closes the catch-up panel before it goes anywhere else.
FocusScope {
    id: columns
    objectName: "liveColumns"

    // The preview fills the window: the columns step aside until it gives the window back.
    readonly property bool filled: pane.filled

    function focusList(reason: int) {
        middle.focusList(reason)
    }

    Keys.onEscapePressed: event => {
        event.accepted = AppStore.catchupOpen
        if (AppStore.catchupOpen) {
            AppStore.catchupOpen = false
            middle.focusList(Qt.OtherFocusReason)
        }
    }

    Row {
        anchors.fill: parent

        LiveMiddleColumn {
            id: middle
            height: parent.height
            visible: !columns.filled
            focus: true
            Keys.onRightPressed: pane.forceActiveFocus(Qt.TabFocusReason)
        }
        ColumnDivider {
            height: parent.height
            visible: !columns.filled
        }
        LivePlayerPane {
            id: pane
            width: columns.filled ? parent.width : parent.width - middle.width - 1
            height: parent.height
            Keys.onLeftPressed: if (!columns.filled) middle.focusList(Qt.BacktabFocusReason)
        }
    }
}
