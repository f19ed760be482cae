import QtQuick
import Mavu

// The section screen's left column: the way back home, the section's title, and the section's
// categories with the favourites and the recently viewed first; a spinner while they load. When
// the provider's categories could not be fetched, the favourites and the recently viewed stay
// and the failure follows them with Retry. The list is one Tab stop: Up and Down move along it,
// Return or Space selects; Tab goes on to Retry.
FocusScope {
    id: column
    objectName: "categoryColumn"

    width: Metrics.columnWidth

    // Gives the list the keyboard at its current row.
    function focusList(reason: int) {
        list.forceActiveFocus(reason)
    }

    Backdrop {
        veil: Metrics.columnOpacity
    }

    Row {
        id: header
        x: 12
        y: 12
        spacing: 10

        BackButton {
            id: back
            objectName: "sectionBack"
            anchors.verticalCenter: parent.verticalCenter
            onClicked: AppStore.goHome()
        }
        PlainText {
            objectName: "sectionTitle"
            anchors.verticalCenter: parent.verticalCenter
            width: column.width - 24 - 10 - back.width
            text: UiRules.sectionTitle(AppStore.section)
            font.pixelSize: Fonts.headline
            font.bold: true
            color: MavuColor.text
            elide: Text.ElideRight
        }
    }

    Item {
        id: rest
        anchors.top: header.bottom
        anchors.topMargin: 12
        anchors.bottom: parent.bottom
        width: parent.width

        Spinner {
            objectName: "categorySpinner"
            anchors.centerIn: parent
            visible: AppStore.loadingCategories
            size: Metrics.spinnerSmall
        }

        FocusListView {
            id: list
            objectName: "categoryList"
            anchors.fill: parent
            focus: true
            visible: !AppStore.loadingCategories
            spacing: 4
            leftMargin: 8
            rightMargin: 8
            // Room for the first row's focus ring.
            topMargin: Metrics.focusRingGap + Metrics.focusRingWidth
            bottomMargin: 12
            clip: true
            model: AppStore.categoriesModel
            // A selection far down a long column scrolls it there (followSelection): rows set
            // aside are taken up again rather than a screenful of buttons made anew, which cost
            // more than the rest of the category switch together.
            reuseItems: true
            footer: FailurePanel {
                objectName: "categoryFailure"
                width: ListView.view.width - ListView.view.leftMargin - ListView.view.rightMargin
                topPadding: 18
                failure: AppStore.failures.categories
                onRetry: AppStore.failures.retryCategories()
            }
            delegate: CategoryRow {
                required property int index
                objectName: "categoryRow"
                width: ListView.view.width - ListView.view.leftMargin - ListView.view.rightMargin
                focusPolicy: Qt.ClickFocus
                selected: BrowseRules.isSelected(category, AppStore.hasSelectedCategory, AppStore.selectedCategory)
                onActiveFocusChanged: {
                    if (activeFocus)
                        ListView.view.currentIndex = index
                }
                onClicked: AppStore.selectCategory(category)
            }
        }
    }

    // The current row follows the selection, so that the keyboard starts from it.
    function followSelection() {
        const index = BrowseRules.selectedIndex(AppStore.categoriesModel, AppStore.hasSelectedCategory,
                                                AppStore.selectedCategory)
        if (index < 0)
            return
        list.currentIndex = index
        list.positionViewAtIndex(index, ListView.Contain)
        if (list.activeFocus && list.currentItem)
            list.currentItem.forceActiveFocus()
    }

    Component.onCompleted: followSelection()
    Connections {
        target: AppStore
        function onSelectedCategoryChanged() {
            column.followSelection()
        }
        function onCategoriesChanged() {
            column.followSelection()
        }
    }
}
