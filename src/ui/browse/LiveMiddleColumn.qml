import QtQuick
import Mavu

// The live section's middle column: the switch to the guide and the search field over the
// channel list, or the catch-up panel while it is open. Rows are made only as they scroll into view.
// Channels that could not be fetched show the failure with Retry in place of the list.
FocusScope {
    id: column
    objectName: "liveMiddleColumn"

    width: 300

    readonly property int shows: BrowseRules.gridContent(false, AppStore.loadingItems, AppStore.itemsModel.count,
                                                           AppStore.failures.items.failed,
                                                           AppStore.failures.categories.failed)

    // Gives the channel list the keyboard at its current row, Retry when the channels failed,
    // or the search field when there is neither.
    function focusList(reason: int) {
        if (AppStore.catchupOpen)
            panel.forceActiveFocus(reason)
        else if (list.visible)
            list.forceActiveFocus(reason)
        else if (failure.visible)
            failure.forceActiveFocus(reason)
        else
            search.focusField(reason)
    }

    // A search shows its first channel first; clearing it goes back to the channel that was
    // current before it, as long as the list is still the same.
    property int browsedIndex: -1
    property bool searched: false

    function toFirst() {
        // The view applies the rows' changes once a frame: first those, then the place.
        list.forceLayout()
        list.currentIndex = 0
        list.positionViewAtBeginning()
        // That puts the first row at the very top; the view's top margin comes before it.
        list.contentY = list.originY - list.topMargin
    }

    function backToBrowsed() {
        list.forceLayout()
        if (column.browsedIndex >= 0 && column.browsedIndex < list.count) {
            list.currentIndex = column.browsedIndex
            list.positionViewAtIndex(column.browsedIndex, ListView.Contain)
        }
        column.browsedIndex = -1
    }

    Timer {
        id: toFirstLater
        interval: 0
        onTriggered: column.toFirst()
    }
    Timer {
        id: backLater
        interval: 0
        onTriggered: column.backToBrowsed()
    }

    Connections {
        target: AppStore
        // Told before the rows change, so the current channel is still the one the user chose.
        function onSearchTextChanged() {
            const searching = AppStore.searchText.length > 0
            if (searching) {
                if (!column.searched)
                    column.browsedIndex = list.currentIndex
                column.toFirst()
                // Again once the rows have changed: removing rows at the top moves the view.
                toFirstLater.restart()
            } else if (column.searched) {
                backLater.restart()
            }
            column.searched = searching
        }
        function onItemsChanged() {
            column.browsedIndex = -1
        }
    }
    // Off, the list went to its top only after another category's rows took the place of these,
    // as it did before: the benchmark's figures beside it.
    property bool topBeforeReplace: true

    Connections {
        target: AppStore.itemsModel
        // Before another category's rows take the place of these: a list deep in the old rows goes
        // to its top first, so that the rows it scrolls past are set aside and taken up again there
        // rather than removed with the old rows and made anew.
        function onListReplacing() {
            if (column.topBeforeReplace)
                column.toFirst()
        }
        // Another category's rows took the place of these, delegates and all: its top shows first.
        function onListReplaced() {
            column.browsedIndex = -1
            column.toFirst()
        }
    }

    Backdrop {
        veil: 0.45
    }

    Item {
        id: channels
        anchors.fill: parent
        visible: !AppStore.catchupOpen

        LiveViewSwitch {
            id: viewSwitch
            x: 10
            y: 10
            Keys.onDownPressed: search.focusField(Qt.TabFocusReason)
        }

        SearchField {
            id: search
            objectName: "channelSearch"
            x: 10
            anchors.top: viewSwitch.bottom
            anchors.topMargin: 8
            width: parent.width - 20
            prompt: "Search channels"
            text: AppStore.searchText
            onEdited: typed => AppStore.searchText = typed
            Keys.onDownPressed: column.focusList(Qt.TabFocusReason)
            Keys.onUpPressed: viewSwitch.forceActiveFocus(Qt.BacktabFocusReason)
        }

        Item {
            anchors.top: search.bottom
            anchors.topMargin: 10
            anchors.bottom: parent.bottom
            width: parent.width

            // Up from the first row goes to the search field.
            Keys.onUpPressed: search.focusField(Qt.BacktabFocusReason)

            Spinner {
                objectName: "channelSpinner"
                anchors.centerIn: parent
                visible: column.shows === BrowseRules.Spinner
                size: Metrics.spinnerSmall
            }
            PlainText {
                objectName: "channelsEmpty"
                anchors.centerIn: parent
                visible: column.shows === BrowseRules.Empty
                text: "Nothing here yet"
                font.pixelSize: Fonts.body
                color: MavuColor.textDim
            }
            FailurePanel {
                id: failure
                objectName: "channelFailure"
                anchors.centerIn: parent
                width: parent.width - 32
                failure: AppStore.failures.items
                visible: column.shows === BrowseRules.Failure
                onRetry: AppStore.failures.retryItems()
            }
            FocusListView {
                id: list
                objectName: "channelList"
                anchors.fill: parent
                focus: true
                visible: column.shows === BrowseRules.Grid
                spacing: 3
                leftMargin: 8
                rightMargin: 8
                topMargin: Metrics.focusRingGap + Metrics.focusRingWidth
                bottomMargin: 12
                clip: true
                model: AppStore.itemsModel
                // A thumb drag through thousands of channels shows a new page every frame: rows
                // are rebound rather than made anew.
                reuseItems: true
                delegate: ChannelRow {
                    required property int index
                    objectName: "channelRow"
                    width: ListView.view.width - ListView.view.leftMargin - ListView.view.rightMargin
                    focusPolicy: Qt.ClickFocus
                    number: LiveRules.itemNumber(item, index)
                    selected: AppStore.hasNowPlaying && AppStore.nowPlaying.id === item.id && AppStore.nowPlaying.isLive
                    favorite: AppStore.favoritesRevision >= 0 && AppStore.isFavorite(item)
                    onActiveFocusChanged: {
                        if (activeFocus)
                            ListView.view.currentIndex = index
                    }
                    onClicked: AppStore.runPlay(item)
                }
            }
        }
    }

    Loader {
        id: panel
        objectName: "catchupLayer"
        anchors.fill: parent
        active: AppStore.catchupOpen
        focus: active
        sourceComponent: CatchupPanel {
            focus: true
        }
    }
}
