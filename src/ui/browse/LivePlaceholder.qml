import QtQuick
import Mavu

// Stands in for the live channel list and the player pane beside the category column.
FocusScope {
    objectName: "livePlaceholder"

    Spinner {
        anchors.centerIn: parent
        visible: AppStore.loadingItems
        size: Metrics.spinnerLarge
    }
    PlainText {
        objectName: "liveSummary"
        anchors.centerIn: parent
        visible: !AppStore.loadingItems
        text: AppStore.selectedCategory.name + " · " + AppStore.itemsModel.count + " channels"
        font.pixelSize: Fonts.body
        color: MavuColor.textDim
    }
}
