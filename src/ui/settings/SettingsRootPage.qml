import QtQuick
import QtQuick.Controls.Basic
import Mavu

// The sheet's first page: ten rows, eight opening a page of their own and two acting at once.
// Every detail at the right is bound to the store, so a choice made on a page shows here on
// return. Tab and the up and down arrows move through the rows.
SettingsPage {
    id: page
    objectName: "settingsRootPage"
    title: "Settings"
    initialFocus: openedFrom
    initialFocusByClick: true

    // The row whose page is shown over this one: it takes the focus again on return.
    property Item openedFrom: rowParental

    signal open(Component page, var properties, bool byKey)
    signal dismissed()

    function show(row: SettingRow, next: Component, properties: var) {
        page.openedFrom = row
        page.open(next, properties, row.visualFocus)
    }

    // Moves the focus `delta` rows; false past either end.
    function step(delta: int): bool {
        const rows = column.children
        let at = -1
        for (let i = 0; i < rows.length; ++i) {
            if (rows[i].activeFocus)
                at = i
        }
        const next = at + delta
        if (at < 0 || next < 0 || next >= rows.length)
            return false
        rows[next].forceActiveFocus(delta > 0 ? Qt.TabFocusReason : Qt.BacktabFocusReason)
        return true
    }

    // Keeps the row with the focus in view.
    function reveal(row: Item) {
        if (row.activeFocus)
            UiRules.reveal(flick, row, Metrics.sheetPadding)
    }

    Keys.onUpPressed: event => event.accepted = page.step(-1)
    Keys.onDownPressed: event => event.accepted = page.step(1)

    Flickable {
        id: flick
        anchors.fill: parent
        contentWidth: width
        contentHeight: column.height + 2 * Metrics.sheetPadding
        boundsBehavior: Flickable.StopAtBounds
        ScrollBar.vertical: ScrollBar {}

        Column {
            id: column
            x: Metrics.sheetPadding
            y: Metrics.sheetPadding
            width: flick.width - 2 * Metrics.sheetPadding
            spacing: 10

            SettingRow {
                id: rowParental
                objectName: "rowParental"
                width: parent.width
                symbol: "lock.shield"
                text: "Parental Control"
                onActiveFocusChanged: page.reveal(this)
                onClicked: page.show(this, parentalPage, {})
            }
            SettingRow {
                objectName: "rowHideLive"
                width: parent.width
                symbol: "eye.slash"
                text: "Hide Live Categories"
                onActiveFocusChanged: page.reveal(this)
                onClicked: page.show(this, hidePage, { section: Catalog.Live })
            }
            SettingRow {
                objectName: "rowHideMovies"
                width: parent.width
                symbol: "eye.slash"
                text: "Hide Movie Categories"
                onActiveFocusChanged: page.reveal(this)
                onClicked: page.show(this, hidePage, { section: Catalog.Movies })
            }
            SettingRow {
                objectName: "rowHideSeries"
                width: parent.width
                symbol: "eye.slash"
                text: "Hide TV Show Categories"
                onActiveFocusChanged: page.reveal(this)
                onClicked: page.show(this, hidePage, { section: Catalog.Series })
            }
            SettingRow {
                objectName: "rowAccount"
                width: parent.width
                symbol: "person.crop.circle"
                text: "Account"
                onActiveFocusChanged: page.reveal(this)
                onClicked: page.show(this, accountPage, {})
            }
            SettingRow {
                objectName: "rowTheme"
                width: parent.width
                symbol: "paintbrush"
                text: "Change Theme"
                detail: SettingsRules.themeDetail(AppStore.themes, AppStore.themeIndex)
                onActiveFocusChanged: page.reveal(this)
                onClicked: page.show(this, themePage, {})
            }
            SettingRow {
                objectName: "rowRefresh"
                width: parent.width
                symbol: "arrow.clockwise"
                text: "Refresh Playlist"
                onActiveFocusChanged: page.reveal(this)
                // The refresh runs on after the sheet has gone.
                onClicked: {
                    AppStore.runRefresh()
                    page.dismissed()
                }
            }
            SettingRow {
                objectName: "rowLiveSort"
                width: parent.width
                symbol: "arrow.up.arrow.down"
                text: "Live Sort"
                detail: SettingsRules.liveSortDetail(AppStore.liveSortIndex)
                onActiveFocusChanged: page.reveal(this)
                onClicked: page.show(this, liveSortPage, {})
            }
            SettingRow {
                objectName: "rowChangePlaylist"
                width: parent.width
                symbol: "rectangle.stack.badge.play"
                text: "Change Playlist"
                onActiveFocusChanged: page.reveal(this)
                onClicked: {
                    AppStore.changePlaylist()
                    page.dismissed()
                }
            }
            SettingRow {
                objectName: "rowLanguage"
                width: parent.width
                symbol: "globe"
                text: "Change Language"
                detail: SettingsRules.languageDetail(AppStore.languageCode)
                onActiveFocusChanged: page.reveal(this)
                onClicked: page.show(this, languagePage, {})
            }
        }
    }

    Component {
        id: parentalPage
        ParentalControlView {}
    }
    Component {
        id: hidePage
        HideCategoriesView {}
    }
    Component {
        id: accountPage
        AccountView {}
    }
    Component {
        id: themePage
        ThemeView {}
    }
    Component {
        id: liveSortPage
        LiveSortView {}
    }
    Component {
        id: languagePage
        LanguageView {}
    }
}
