import QtQuick
import Mavu

// The background themes of the device service as a grid of thumbnails; a click makes one the
// background. The themes arrive with the store's start; until then the page says it waits.
SettingsPage {
    id: page
    objectName: "themeView"
    title: "Change Theme"
    initialFocus: grid

    Column {
        objectName: "themesLoading"
        anchors.centerIn: parent
        spacing: 10
        visible: AppStore.themes.length === 0
        Spinner {
            anchors.horizontalCenter: parent.horizontalCenter
            size: Metrics.spinnerLarge
        }
        PlainText {
            text: "Loading themes…"
            font.pixelSize: Fonts.body
            color: MavuColor.textDim
        }
    }

    ThemeGrid {
        id: grid
        objectName: "themeGrid"
        anchors.fill: parent
        visible: AppStore.themes.length > 0
        model: AppStore.themes
    }
}
