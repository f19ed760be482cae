import QtQuick
import Mavu

// Stands in for the detail screen: the item's name and the way back to the grid.
FocusScope {
    objectName: "detailPlaceholder"

    Column {
        x: Metrics.paneMargin
        y: Metrics.paneMargin
        spacing: 16

        BackButton {
            objectName: "detailBack"
            focus: true
            showsLabel: true
            onClicked: AppStore.clearDetailItem()
        }
        PlainText {
            objectName: "detailTitle"
            text: AppStore.detailItem.name
            font.pixelSize: Fonts.title2
            font.bold: true
            color: MavuColor.text
        }
    }
}
