import QtQuick
import QtQuick.Controls.Basic
import Mavu

// The library's front page: the sections and settings on the left, the newest movies and
// TV shows on the right, the account's expiry in the corner. Tab goes through the menu and
// then the two rows; the arrow keys move within the menu, along a row, and between them.
FocusScope {
    id: root
    objectName: "homeView"
    property bool showSettings: false
    // The settings card was used from the keyboard: its ring comes back with the focus.
    property bool settingsByKey: false

    onShowSettingsChanged: {
        if (showSettings)
            settingsSheet.forceActiveFocus()
        else
            menuSettings.forceActiveFocus(settingsByKey ? Qt.TabFocusReason : Qt.OtherFocusReason)
    }

    Backdrop {}

    Row {
        anchors.fill: parent
        // The sheet is modal: nothing behind it takes clicks or keyboard focus.
        enabled: !root.showSettings

        Item {
            id: menu
            width: Metrics.menuWidth
            height: parent.height

            Backdrop {
                veil: Metrics.columnOpacity
            }

            Column {
                x: Metrics.screenMargin
                y: Metrics.screenMargin
                width: parent.width - 2 * Metrics.screenMargin
                spacing: 12

                Item {
                    width: parent.width
                    height: wordmark.implicitHeight + 6 // 6 points under the wordmark
                    MavuWordmark {
                        id: wordmark
                        width: parent.width
                        size: 30
                        alignment: Qt.AlignLeft
                    }
                }

                MenuCard {
                    id: menuLive
                    objectName: "menuLive"
                    width: parent.width
                    text: AppStore.words.t("live_tv", "Live TV")
                    systemImage: "tv"
                    KeyNavigation.down: menuMovies
                    KeyNavigation.right: continueRow.visible ? continueRow : moviesRow
                    onClicked: AppStore.runOpenSection(Catalog.Live)
                }
                MenuCard {
                    id: menuMovies
                    objectName: "menuMovies"
                    width: parent.width
                    text: AppStore.words.t("movies", "Movies")
                    systemImage: "film"
                    KeyNavigation.up: menuLive
                    KeyNavigation.down: menuSeries
                    KeyNavigation.right: continueRow.visible ? continueRow : moviesRow
                    onClicked: AppStore.runOpenSection(Catalog.Movies)
                }
                MenuCard {
                    id: menuSeries
                    objectName: "menuSeries"
                    width: parent.width
                    text: AppStore.words.t("tv_shows", "TV Shows")
                    systemImage: "rectangle.stack"
                    KeyNavigation.up: menuMovies
                    KeyNavigation.down: menuSettings
                    KeyNavigation.right: continueRow.visible ? continueRow : moviesRow
                    onClicked: AppStore.runOpenSection(Catalog.Series)
                }
                MenuCard {
                    id: menuSettings
                    objectName: "menuSettings"
                    width: parent.width
                    text: AppStore.words.t("settings", "Settings")
                    systemImage: "gearshape"
                    KeyNavigation.up: menuSeries
                    KeyNavigation.right: continueRow.visible ? continueRow : moviesRow
                    onClicked: {
                        root.settingsByKey = visualFocus
                        root.showSettings = true
                    }
                }
            }
        }

        Item {
            width: parent.width - menu.width
            height: parent.height

            SearchField {
                id: librarySearch
                objectName: "librarySearch"
                x: Metrics.paneMargin
                y: Metrics.paneMargin
                width: Math.min(420, parent.width - 2 * Metrics.paneMargin)
                prompt: "Search channels, movies and shows"
                text: AppStore.search.text
                onEdited: typed => AppStore.search.text = typed
                Keys.onDownPressed: {
                    if (AppStore.search.active)
                        results.focusFirst(Qt.TabFocusReason)
                    else
                        moviesRow.forceActiveFocus(Qt.TabFocusReason)
                }
                Keys.onEscapePressed: event => {
                    event.accepted = AppStore.search.text.length > 0
                    AppStore.search.text = ""
                }
            }

            SearchResultsPane {
                id: results
                objectName: "searchResults"
                anchors.fill: parent
                anchors.topMargin: librarySearch.y + librarySearch.height + 8
                visible: AppStore.search.active
                onLeaveUp: root.focusSearch(Qt.BacktabFocusReason)
            }

            ScrollView {
                id: scroll
                anchors.fill: parent
                anchors.topMargin: librarySearch.y + librarySearch.height
                visible: !AppStore.search.active
                contentWidth: availableWidth
                ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

                Column {
                    x: Metrics.paneMargin
                    width: scroll.availableWidth - 2 * Metrics.paneMargin
                    topPadding: Metrics.paneMargin
                    bottomPadding: 2 * Metrics.paneMargin
                    spacing: Metrics.paneMargin

                    ContinueRow {
                        id: continueRow
                        objectName: "continueRow"
                        width: parent.width
                        KeyNavigation.down: moviesRow
                        KeyNavigation.left: menuLive
                        onActiveFocusChanged: root.reveal(this)
                    }
                    LatestRow {
                        id: moviesRow
                        objectName: "latestMoviesRow"
                        width: parent.width
                        title: AppStore.words.t("latest_movies", "Latest Movies")
                        model: AppStore.latestMoviesModel
                        KeyNavigation.up: continueRow
                        KeyNavigation.down: seriesRow
                        KeyNavigation.left: menuMovies
                        onActiveFocusChanged: root.reveal(this)
                    }
                    LatestRow {
                        id: seriesRow
                        objectName: "latestSeriesRow"
                        width: parent.width
                        title: AppStore.words.t("latest_tv_shows", "Latest TV Shows")
                        model: AppStore.latestSeriesModel
                        KeyNavigation.up: moviesRow
                        KeyNavigation.left: menuSeries
                        onActiveFocusChanged: root.reveal(this)
                    }
                }
            }

            PlainText {
                objectName: "connectionsText"
                anchors.right: parent.right
                anchors.bottom: expiryLine.top
                anchors.rightMargin: Metrics.paneMargin
                anchors.bottomMargin: 2
                visible: text.length > 0
                text: AppStore.connectionsText
                font.pixelSize: Fonts.footnote
                color: MavuColor.textDim
                horizontalAlignment: Text.AlignRight
            }

            PlainText {
                id: expiryLine
                objectName: "expiryText"
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.rightMargin: Metrics.paneMargin
                anchors.bottomMargin: 18
                width: Math.min(implicitWidth, 700)
                text: AppStore.expiryText
                font.pixelSize: Fonts.footnote
                color: MavuColor.textDim
                horizontalAlignment: Text.AlignRight
                wrapMode: Text.WordWrap
            }

            Column {
                objectName: "loadingOverlay"
                anchors.centerIn: parent
                spacing: 10
                visible: AppStore.loadingHome && AppStore.latestMoviesModel.count === 0
                         && AppStore.latestSeriesModel.count === 0
                Spinner {
                    anchors.horizontalCenter: parent.horizontalCenter
                    size: Metrics.spinnerLarge
                }
                PlainText {
                    text: "Loading your library…"
                    font.pixelSize: Fonts.body
                    color: MavuColor.textDim
                }
            }
        }
    }

    // Gives the keyboard to the search field (Ctrl+F).
    function focusSearch(reason: int) {
        librarySearch.focusField(reason)
    }

    // Scrolls the pane so that a row that took the keyboard focus is in view.
    function reveal(row: Item) {
        if (row.activeFocus)
            UiRules.reveal(scroll.contentItem, row, Metrics.paneMargin)
    }

    // Made anew each time it opens, so that it starts on its first page with nothing typed.
    Loader {
        id: settingsSheet
        objectName: "settingsSheet"
        anchors.fill: parent
        z: 100
        active: root.showSettings
        visible: active
        sourceComponent: MavuSettingsSheet {
            focus: true
        }
        onLoaded: {
            const sheet = item as MavuSettingsSheet
            sheet.openedByKey = root.settingsByKey
            sheet.dismissed.connect(() => root.showSettings = false)
        }
    }
}
