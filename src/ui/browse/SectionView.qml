import QtQuick
import Mavu

// The section phase: the category column's header (the way back home and the section's
// title) over the column's veil. Escape goes home too.
FocusScope {
    id: root
    objectName: "sectionView"

    Keys.onEscapePressed: AppStore.goHome()

    Backdrop {}

    Item {
        id: column
        width: Metrics.columnWidth
        height: parent.height

        Backdrop {
            veil: Metrics.columnOpacity
        }

        Row {
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
    }
}
