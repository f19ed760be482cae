import QtQuick
import QtQuick.Controls.Basic
import Mavu

// The whole-library search's results: Live TV, Movies and TV Shows, one row each, or
// "No results" when nothing matches anywhere. Up and Down move between the rows.
FocusScope {
    id: root

    signal leaveUp()

    // Gives the keyboard to the first row that shows.
    function focusFirst(reason: int) {
        const rows = [liveRow, moviesRow, seriesRow]
        for (const row of rows) {
            if (row.visible) {
                row.focusRow(reason)
                return
            }
        }
    }

    function step(from: Item, delta: int) {
        const rows = [liveRow, moviesRow, seriesRow]
        for (let at = rows.indexOf(from) + delta; at >= 0 && at < rows.length; at += delta) {
            if (rows[at].visible) {
                rows[at].focusRow(delta > 0 ? Qt.TabFocusReason : Qt.BacktabFocusReason)
                return
            }
        }
        if (delta < 0)
            root.leaveUp()
    }

    ScrollView {
        id: scroll
        anchors.fill: parent
        contentWidth: availableWidth
        ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

        Column {
            x: Metrics.paneMargin
            width: scroll.availableWidth - 2 * Metrics.paneMargin
            topPadding: 8
            bottomPadding: 2 * Metrics.paneMargin
            spacing: Metrics.paneMargin

            SearchResultRow {
                id: liveRow
                objectName: "liveResults"
                width: parent.width
                title: AppStore.words.t("live_tv", "Live TV")
                results: AppStore.search.live
                Keys.onDownPressed: root.step(liveRow, 1)
                Keys.onUpPressed: root.step(liveRow, -1)
                onActiveFocusChanged: root.reveal(this)
            }
            SearchResultRow {
                id: moviesRow
                objectName: "movieResults"
                width: parent.width
                title: AppStore.words.t("movies", "Movies")
                results: AppStore.search.movies
                Keys.onDownPressed: root.step(moviesRow, 1)
                Keys.onUpPressed: root.step(moviesRow, -1)
                onActiveFocusChanged: root.reveal(this)
            }
            SearchResultRow {
                id: seriesRow
                objectName: "seriesResults"
                width: parent.width
                title: AppStore.words.t("tv_shows", "TV Shows")
                results: AppStore.search.series
                Keys.onDownPressed: root.step(seriesRow, 1)
                Keys.onUpPressed: root.step(seriesRow, -1)
                onActiveFocusChanged: root.reveal(this)
            }
            PlainText {
                objectName: "noResults"
                visible: AppStore.search.nothingFound
                text: "No results"
                font.pixelSize: Fonts.body
                color: MavuColor.textDim
            }
        }
    }

    // Scrolls so that a row that took the keyboard focus is in view.
    function reveal(row: Item) {
        if (row.activeFocus)
            UiRules.reveal(scroll.contentItem, row, Metrics.paneMargin)
    }
}
