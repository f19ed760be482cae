import QtQuick
import Mavu

// The language of the interface's words, from a fixed list. The store falls back to English
// words where the device service has none for the chosen code. The page stays open.
SettingsPage {
    id: page
    objectName: "languageView"
    title: "Language"
    initialFocus: list

    ChoiceList {
        id: list
        objectName: "languageList"
        anchors.fill: parent
        model: languages
        Component.onCompleted: {
            for (let i = 0; i < languages.count; ++i) {
                if (languages.get(i).code === AppStore.languageCode)
                    currentIndex = i
            }
        }

        delegate: ChoiceRow {
            required property string code
            required property string name
            required property int index
            objectName: "language_" + code
            width: ListView.view.width - ListView.view.leftMargin - ListView.view.rightMargin
            text: name
            chosen: code === AppStore.languageCode
            onActiveFocusChanged: if (activeFocus) ListView.view.currentIndex = index
            onClicked: AppStore.languageCode = code
        }
    }

    ListModel {
        id: languages
        ListElement { code: "en"; name: "English" }
        ListElement { code: "hr"; name: "Hrvatski" }
        ListElement { code: "de"; name: "Deutsch" }
        ListElement { code: "fr"; name: "Français" }
        ListElement { code: "es"; name: "Español" }
        ListElement { code: "it"; name: "Italiano" }
        ListElement { code: "pt"; name: "Português" }
        ListElement { code: "nl"; name: "Nederlands" }
        ListElement { code: "tr"; name: "Türkçe" }
        ListElement { code: "ar"; name: "العربية" }
        ListElement { code: "ru"; name: "Русский" }
    }
}
