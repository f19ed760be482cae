import QtQuick
import Mavu

// The live section beside the category column: the channel list (or the catch-up panel) and
// the preview pane; or, in the guide view, the guide grid with the preview kept playing in its
// bottom-right corner. Right from the list goes to the preview, Left from the preview back to
// the list or the grid; Escape closes the catch-up panel before it goes anywhere else. A preview
// that fills the window sets both views aside until it gives the window back.
FocusScope {
    id: columns
    objectName: "liveColumns"

    readonly property bool guide: AppStore.liveGuide
    readonly property bool filled: pane.filled
    readonly property bool inCorner: guide && !filled
    readonly property real cornerWidth: Math.round(Math.min(360, width * 0.34))
    readonly property real cornerHeight: Math.round(cornerWidth * 9 / 16)

    function focusList(reason: int) {
        const grid = guideLayer.item as GuideView
        if (grid)
            grid.focusGrid(reason)
        else
            middle.focusList(reason)
    }

    // The keyboard follows a switch of view to the view now shown.
    onGuideChanged: focusLater.restart()

    Timer {
        id: focusLater
        interval: 0
        onTriggered: columns.focusList(Qt.OtherFocusReason)
    }

    Keys.onEscapePressed: event => {
        event.accepted = AppStore.catchupOpen
        if (AppStore.catchupOpen) {
            AppStore.catchupOpen = false
            middle.focusList(Qt.OtherFocusReason)
        }
    }

    Loader {
        id: guideLayer
        objectName: "guideLayer"
        anchors.fill: parent
        active: columns.guide
        visible: !columns.filled
        focus: active
        sourceComponent: GuideView {
            focus: true
        }
    }
    Binding {
        target: guideLayer.item
        property: "cornerWidth"
        value: columns.cornerWidth
    }
    Binding {
        target: guideLayer.item
        property: "cornerHeight"
        value: columns.cornerHeight
    }

    Row {
        anchors.fill: parent

        LiveMiddleColumn {
            id: middle
            height: parent.height
            visible: !columns.guide && !columns.filled
            focus: !columns.guide
            Keys.onRightPressed: pane.forceActiveFocus(Qt.TabFocusReason)
        }
        ColumnDivider {
            height: parent.height
            visible: !columns.guide && !columns.filled
        }
        // The same pane in either view, so the preview goes on playing across a switch.
        Item {
            width: parent.width - (columns.guide || columns.filled ? 0 : middle.width + 1)
            height: parent.height
            LivePlayerPane {
                id: pane
                compact: columns.inCorner
                x: columns.inCorner ? parent.width - width : 0
                y: columns.inCorner ? parent.height - height : 0
                width: columns.inCorner ? columns.cornerWidth : parent.width
                height: columns.inCorner ? columns.cornerHeight : parent.height
                Keys.onLeftPressed: if (!columns.filled) columns.focusList(Qt.BacktabFocusReason)
            }
        }
    }
}
