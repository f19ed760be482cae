import QtQuick
import Mavu

// Every category of one section with a switch: off hides it from the section's category
// column. Each switch is saved at once; the open section follows without a restart.
SettingsPage {
    id: page
    objectName: "hideCategoriesView"
    title: "Hide Categories"
    initialFocus: list

    // The section whose categories are listed (Catalog.Live, Catalog.Movies or Catalog.Series).
    property int section: Catalog.Live
    // The provider's categories of the section, hidden ones included (Category values).
    property var cats: []
    // The ids of the hidden categories.
    property var hidden: []
    property bool loading: true

    Component.onCompleted: {
        page.hidden = AppStore.hiddenCategoryIDs(page.section)
        AppStore.runAllCategories(page.section)
    }

    Connections {
        target: AppStore
        // Only this section's first answer: a page opened before for another section may
        // still be waiting for its own.
        function onAllCategoriesLoaded(answered: int, categories: var) {
            if (!page.loading || answered !== page.section)
                return
            page.cats = categories
            page.loading = false
        }
    }

    Spinner {
        objectName: "categoriesSpinner"
        anchors.centerIn: parent
        visible: page.loading
        size: Metrics.spinnerLarge
    }

    PlainText {
        objectName: "noCategories"
        anchors.centerIn: parent
        visible: !page.loading && page.cats.length === 0
        text: "No categories."
        font.pixelSize: Fonts.body
        color: MavuColor.textDim
    }

    HiddenCategoryList {
        id: list
        objectName: "categoryList"
        anchors.fill: parent
        visible: !page.loading && page.cats.length > 0
        model: page.cats
        hidden: page.hidden
        onSwitched: (id, shown) => {
            page.hidden = SettingsRules.withShown(page.hidden, id, shown)
            AppStore.setHidden(page.hidden, page.section)
        }
    }
}
