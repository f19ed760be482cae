import QtQuick
import QtQuick.Controls.Basic
import Mavu

// The movies' or TV shows' side of the section screen: the sort menu and the search field over
// the poster grid of the filtered items; a spinner while they load, the failure with Retry when
// they could not be fetched, a line when there are none. Tab goes from the sort menu to the
// search field to the grid (or Retry); typing while the grid has the keyboard, or Ctrl+F, goes
// to the search field.
FocusScope {
    id: pane
    objectName: "gridPane"

    readonly property int shows: BrowseRules.gridContent(AppStore.loadingCategories, AppStore.loadingItems,
                                                           AppStore.itemsModel.count, AppStore.failures.items.failed,
                                                           AppStore.failures.categories.failed)

    // Gives the grid the keyboard at its current cell, Retry when the items failed, or the
    // search field when there is neither.
    function focusGrid(reason: int) {
        if (grid.visible)
            grid.focusCurrent(reason)
        else if (failure.visible)
            failure.forceActiveFocus(reason)
        else
            search.focusField(reason)
    }

    // A search shows its first poster first; clearing it goes back to the poster that was
    // current before it, as long as the list is still the same.
    property int browsedIndex: -1
    property bool searched: false

    // A new order keeps the poster the user moved to current, at its new row. A grid still on
    // its first poster stays where it is and shows the new order there.
    property string followedId: ""
    property bool reordering: false

    function followReordered() {
        const id = pane.followedId
        pane.followedId = ""
        if (id.length === 0)
            return
        grid.forceLayout()
        const row = AppStore.itemsModel.rowOf(id)
        if (row < 0)
            return
        // The keyboard, when on a poster, goes along with it.
        if (grid.activeFocus) {
            grid.moveTo(row, Qt.TabFocusReason)
        } else {
            grid.currentIndex = row
            grid.positionViewAtIndex(row, GridView.Contain)
        }
    }

    // A search goes to the first poster once, after its rows are in (see onSearchTextChanged).
    property bool firstAfterSearch: false
    // Off, a search also went there before its rows changed, as it did before: the benchmark's
    // figures beside it.
    property bool firstOnce: true

    function toFirst() {
        pane.firstAfterSearch = false
        // The view applies the rows' changes once a frame: first those, then the place.
        grid.forceLayout()
        grid.currentIndex = 0
        grid.positionViewAtBeginning()
        // That puts the first row at the very top; the view's top margin comes before it.
        grid.contentY = grid.originY - grid.topMargin
    }

    function backToBrowsed() {
        grid.forceLayout()
        if (pane.browsedIndex >= 0 && pane.browsedIndex < grid.count) {
            grid.currentIndex = pane.browsedIndex
            grid.positionViewAtIndex(pane.browsedIndex, GridView.Contain)
        }
        pane.browsedIndex = -1
    }

    Timer {
        id: toFirstLater
        interval: 0
        onTriggered: pane.toFirst()
    }
    Timer {
        id: followLater
        interval: 0
        onTriggered: pane.followReordered()
    }
    Timer {
        id: backLater
        interval: 0
        onTriggered: pane.backToBrowsed()
    }

    Connections {
        target: AppStore
        // Told before the rows change, so the current poster is still the one the user chose.
        function onSearchTextChanged() {
            const searching = AppStore.searchText.length > 0
            if (searching) {
                if (!pane.searched)
                    pane.browsedIndex = grid.currentIndex
                if (!pane.firstOnce)
                    pane.toFirst()
                // Once the rows have changed (onFilteredItemsChanged), so that the view lays
                // them out once; a text that keeps the same rows goes there a moment later.
                pane.firstAfterSearch = true
                toFirstLater.restart()
            } else if (pane.searched) {
                backLater.restart()
            }
            pane.searched = searching
        }
        // Told once the rows have changed.
        function onFilteredItemsChanged() {
            if (pane.firstAfterSearch && pane.firstOnce) {
                toFirstLater.stop()
                pane.toFirst()
            }
        }
        function onItemsChanged() {
            pane.browsedIndex = -1
            if (pane.reordering) {
                pane.reordering = false
                // Once the rows have changed.
                followLater.restart()
            }
        }
        // Told before the rows change (a long list changes later, once it is ordered).
        function onVodSortChanged() {
            const card = grid.currentItem as ItemCard
            pane.followedId = grid.currentIndex > 0 && card ? card.item.id : ""
            pane.reordering = true
        }
    }
    // Off, the grid went to its top only after another category's rows took the place of these,
    // as it did before: the benchmark's figures beside it.
    property bool topBeforeReplace: true

    Connections {
        target: AppStore.itemsModel
        // Before another category's rows take the place of these: a grid deep in the old rows
        // goes to its top first, so that the delegates it scrolls past are set aside and taken up
        // again there. Moved after the change, the rows it showed were removed with their
        // delegates, and the top's were made anew: about twice the frame's time.
        function onListReplacing() {
            if (pane.topBeforeReplace)
                pane.toFirst()
        }
        // Another category's rows took the place of these, delegates and all: its top shows first.
        function onListReplaced() {
            pane.browsedIndex = -1
            pane.reordering = false
            pane.followedId = ""
            pane.toFirst()
        }
    }

    Row {
        id: header
        x: 12
        y: 12
        spacing: 12

        SortMenu {
            id: sort
            anchors.verticalCenter: parent.verticalCenter
        }
        SearchField {
            id: search
            objectName: "gridSearch"
            anchors.verticalCenter: parent.verticalCenter
            width: Math.min(Metrics.searchMaxWidth, pane.width - 24 - sort.width - header.spacing)
            prompt: BrowseRules.searchPrompt(AppStore.section)
            text: AppStore.searchText
            onEdited: typed => AppStore.searchText = typed
        }

        Keys.onDownPressed: pane.focusGrid(Qt.TabFocusReason)
    }

    Shortcut {
        sequence: "Ctrl+F"
        enabled: pane.visible
        onActivated: search.focusField(Qt.ShortcutFocusReason)
    }

    Item {
        id: content
        anchors.top: header.bottom
        anchors.topMargin: 12
        anchors.bottom: parent.bottom
        width: parent.width

        // Up from the grid's first row goes to the search field.
        Keys.onUpPressed: search.focusField(Qt.BacktabFocusReason)

        Spinner {
            objectName: "gridSpinner"
            anchors.centerIn: parent
            visible: pane.shows === BrowseRules.Spinner
            size: Metrics.spinnerLarge
        }

        PlainText {
            objectName: "gridEmpty"
            anchors.centerIn: parent
            visible: pane.shows === BrowseRules.Empty
            text: "Nothing here yet"
            font.pixelSize: Fonts.body
            color: MavuColor.textDim
        }

        FailurePanel {
            id: failure
            objectName: "gridFailure"
            anchors.centerIn: parent
            width: Math.min(Metrics.failureWidth, parent.width - 48)
            failure: AppStore.failures.items
            visible: pane.shows === BrowseRules.Failure
            onRetry: AppStore.failures.retryItems()
        }

        FocusGridView {
            id: grid
            objectName: "posterGrid"
            anchors.fill: parent
            focus: true
            visible: pane.shows === BrowseRules.Grid
            clip: true
            flickableDirection: Flickable.VerticalFlick
            columns: BrowseRules.columnCount(width)
            cellWidth: BrowseRules.cellWidth(width)
            cellHeight: BrowseRules.cellHeight(titleMetrics.lineSpacing)
            // The padding around the cells; each cell carries the spacing after it on its right
            // and below it.
            topMargin: BrowseRules.gridPadding
            leftMargin: BrowseRules.gridPadding
            rightMargin: BrowseRules.gridPadding - BrowseRules.columnSpacing
            bottomMargin: BrowseRules.gridPadding - BrowseRules.rowSpacing
            model: AppStore.itemsModel
            reuseItems: true

            ScrollBar.vertical: ScrollBar {}

            delegate: ItemCard {
                required property int index
                objectName: "itemCard"
                width: (GridView.view as GridView).cellWidth - BrowseRules.columnSpacing
                height: (GridView.view as GridView).cellHeight - BrowseRules.rowSpacing
                focusPolicy: Qt.ClickFocus
                // Reading the revision asks again whenever the favourites change.
                favorite: AppStore.favoritesRevision >= 0 && AppStore.isFavorite(item)
                onActiveFocusChanged: {
                    if (activeFocus)
                        GridView.view.currentIndex = index
                }
                onClicked: AppStore.runOpenDetail(item)
                GridView.onPooled: fetching = false
                GridView.onReused: fetching = true
            }

            Keys.onPressed: event => {
                if (BrowseRules.typesIntoSearch(event.text, event.modifiers)) {
                    search.typeText(event.text)
                    event.accepted = true
                }
            }
        }
    }

    FontMetrics {
        id: titleMetrics
        font.pixelSize: Fonts.callout
    }
}
