import QtQuick
import Mavu

// One entry of the Continue Watching row: the poster, how much was watched and the title. A
// press plays it on from where it was left; the corner button (shown under the pointer) or the
// Delete key takes it off the row.
MavuButton {
    id: control
    required property watchEntry entry

    text: entry.caption
    faceRadius: Metrics.posterRadius
    padding: 0
    implicitWidth: Metrics.posterWidth
    opacity: down ? Metrics.pressedOpacity : 1.0

    Keys.onDeletePressed: event => {
        event.accepted = true
        AppStore.positions.remove(control.entry.kind, control.entry.streamId)
    }

    contentItem: Column {
        spacing: 8

        PosterPicture {
            icon: control.entry.poster
        }
        WatchProgressBar {
            objectName: "watchProgress"
            width: Metrics.posterWidth
            progress: control.entry.progress
        }
        PlainText {
            objectName: "posterName"
            width: Metrics.posterWidth
            text: control.entry.caption
            font.pixelSize: Fonts.callout
            color: MavuColor.text
            elide: Text.ElideRight
            maximumLineCount: 1
        }
    }

    MavuButton {
        objectName: "removeButton"
        x: control.width - width - 6
        y: 6
        // Only for the pointer: the keyboard has the Delete key.
        focusPolicy: Qt.NoFocus
        visible: control.hovered || hovered
        text: "Remove from Continue Watching"
        faceRadius: height / 2
        padding: 2
        contentItem: SymbolIcon {
            name: "xmark.circle.fill"
            size: Fonts.title3
            color: "white"
        }
        background: Rectangle {
            radius: height / 2
            color: MavuColor.alpha("black", 0.6)
        }
        onClicked: AppStore.positions.remove(control.entry.kind, control.entry.streamId)
    }
}
