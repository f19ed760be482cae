import QtQuick
import Mavu

// One poster with its name under it. As a delegate it takes its row's `item`.
MavuButton {
    id: control
    required property mediaItem item

    text: item.name
    faceRadius: Metrics.posterRadius
    padding: 0
    implicitWidth: Metrics.posterWidth
    opacity: down ? Metrics.pressedOpacity : 1.0

    contentItem: Column {
        spacing: 8

        PosterPicture {
            icon: control.item.icon
        }

        PlainText {
            objectName: "posterName"
            width: Metrics.posterWidth
            text: control.item.name
            font.pixelSize: Fonts.callout
            color: MavuColor.text
            elide: Text.ElideRight
            maximumLineCount: 1
        }
    }
}
