import QtQuick
import Mavu

// The section phase. With an item open, its detail screen fills the screen; otherwise the category
// column, a divider and the section's body: the poster grid for movies and TV shows, the live
// columns for Live TV. The parental PIN sheet shows while the store holds a challenge.
// Escape goes back one step: from the detail to the grid, from the grid home.
FocusScope {
    id: root
    objectName: "sectionView"

    // A filled live preview has the whole window.
    readonly property bool liveFilled: (body.item as LiveColumns)?.filled ?? false

    // The detail screen takes Escape itself and clears the item.
    Keys.onEscapePressed: AppStore.goHome()

    // Back from a title, the grid's current cell takes the keyboard again, ring and all, so the
    // way on starts where it left off.
    Connections {
        target: AppStore
        function onDetailItemChanged() {
            const pane = body.item as GridPane
            if (!AppStore.hasDetailItem && pane)
                pane.focusGrid(Qt.BacktabFocusReason)
        }
    }

    Backdrop {}

    FocusScope {
        id: columns
        objectName: "sectionColumns"
        anchors.fill: parent
        // Hidden, not destroyed, under the detail: the grid keeps its place and its current cell.
        visible: !AppStore.hasDetailItem
        focus: !AppStore.hasDetailItem

        Row {
            anchors.fill: parent

            CategoryColumn {
                id: categoryColumn
                height: parent.height
                visible: !root.liveFilled
                focus: true
                // Right from the categories goes to the grid's current cell or the channel list.
                Keys.onRightPressed: event => {
                    const pane = body.item as GridPane
                    const live = body.item as LiveColumns
                    event.accepted = pane !== null || live !== null
                    if (pane)
                        pane.focusGrid(Qt.TabFocusReason)
                    else if (live)
                        live.focusList(Qt.TabFocusReason)
                }
            }
            ColumnDivider {
                height: parent.height
                visible: !root.liveFilled
            }
            Loader {
                id: body
                objectName: "sectionBody"
                width: root.liveFilled ? parent.width : parent.width - categoryColumn.width - 1
                height: parent.height
                sourceComponent: AppStore.section === Catalog.Live ? liveBody : gridBody
                // Left from the body's left edge goes back to the categories.
                Keys.onLeftPressed: categoryColumn.focusList(Qt.BacktabFocusReason)
            }
        }
    }

    Component {
        id: gridBody
        GridPane {
            focus: true
        }
    }
    Component {
        id: liveBody
        LiveColumns {
            focus: true
        }
    }

    Loader {
        id: detailLayer
        objectName: "detailLayer"
        anchors.fill: parent
        active: AppStore.hasDetailItem
        focus: active
        sourceComponent: DetailScreen {
            focus: true
        }
    }

    Loader {
        id: pinLayer
        objectName: "pinLayer"
        anchors.fill: parent
        active: AppStore.hasPinChallenge
        sourceComponent: PinPromptSheet {}
    }
}
