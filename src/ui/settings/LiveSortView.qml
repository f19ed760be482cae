import QtQuick
import Mavu

// How live channels are ordered: the provider's order or by name either way. The page stays
// open after a choice.
SettingsPage {
    id: page
    objectName: "liveSortView"
    title: "Live Sort"
    initialFocus: list

    ChoiceList {
        id: list
        objectName: "liveSortList"
        anchors.fill: parent
        model: SettingsRules.liveSortOptions
        currentIndex: Math.max(0, Math.min(AppStore.liveSortIndex, count - 1))

        delegate: ChoiceRow {
            required property string modelData
            required property int index
            objectName: "liveSort" + index
            width: ListView.view.width - ListView.view.leftMargin - ListView.view.rightMargin
            text: modelData
            chosen: index === AppStore.liveSortIndex
            onActiveFocusChanged: if (activeFocus) ListView.view.currentIndex = index
            onClicked: AppStore.liveSortIndex = index
        }
    }
}
