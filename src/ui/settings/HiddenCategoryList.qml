import QtQuick
import Mavu

// The categories of a section, each with a switch that is on while the category is shown.
ChoiceList {
    id: list
    // The ids of the hidden categories.
    property var hidden: []
    // A switch was turned: `shown` is its new state.
    signal switched(string id, bool shown)

    delegate: CategorySwitch {
        required property category modelData
        required property int index
        readonly property HiddenCategoryList categories: ListView.view as HiddenCategoryList
        objectName: "category_" + modelData.id
        width: ListView.view.width - ListView.view.leftMargin - ListView.view.rightMargin
        text: modelData.name
        checked: !categories.hidden.includes(modelData.id)
        onActiveFocusChanged: if (activeFocus) ListView.view.currentIndex = index
        onToggled: categories.switched(modelData.id, checked)
    }
}
