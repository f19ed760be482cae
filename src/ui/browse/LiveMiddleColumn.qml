import QtQuick
import Mavu

// The live section's middle column: the search field over the channel list, or the catch-up
// panel while it is open. Rows are made only as they scroll into view.
FocusScope {
    id: column
    objectName: "liveMiddleColumn"

    width: 300

    // Gives the channel list the keyboard at its current row, or the search field when there
    // is no list.
    function focusList(reason: int) {
        if (AppStore.catchupOpen)
            panel.forceActiveFocus(reason)
        else if (list.visible)
            list.forceActiveFocus(reason)
        else
            search.focusField(reason)
    }

    Backdrop {
        veil: 0.45
    }

    Item {
        id: channels
        anchors.fill: parent
        visible: !AppStore.catchupOpen

        SearchField {
            id: search
            objectName: "channelSearch"
            x: 10
            y: 10
            width: parent.width - 20
            prompt: "Search channels"
            text: AppStore.searchText
            onEdited: typed => AppStore.searchText = typed
            Keys.onDownPressed: column.focusList(Qt.TabFocusReason)
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
                visible: AppStore.loadingItems
                size: Metrics.spinnerSmall
            }
            PlainText {
                objectName: "channelsEmpty"
                anchors.centerIn: parent
                visible: !AppStore.loadingItems && AppStore.itemsModel.count === 0
                text: "Nothing here yet"
                font.pixelSize: Fonts.body
                color: MavuColor.textDim
            }
            FocusListView {
                id: list
                objectName: "channelList"
                anchors.fill: parent
                focus: true
                visible: !AppStore.loadingItems && count > 0
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
