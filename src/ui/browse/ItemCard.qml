import QtQuick
import Mavu

// One poster of the section grid with its title under it, in up to two lines, and a star in
// its corner while the item is a favourite. As a delegate it takes its row's `item`.
MavuButton {
    id: card
    required property mediaItem item
    property bool favorite: false
    // Off while a grid keeps the card aside for reuse: its picture is not fetched meanwhile.
    property bool fetching: true

    text: item.name
    faceRadius: Metrics.gridPosterRadius
    padding: 0
    opacity: down ? Metrics.pressedOpacity : 1.0

    contentItem: Column {
        spacing: BrowseRules.titleGap

        PosterPicture {
            width: card.width
            height: BrowseRules.posterHeight
            radius: Metrics.gridPosterRadius
            icon: card.item.icon
            fetching: card.fetching
            placeholderSize: 32
            placeholderCaptioned: false

            WatchProgressBar {
                objectName: "watchProgress"
                anchors.left: parent.left
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.margins: 6
                progress: AppStore.positions.revision >= 0 ? AppStore.positions.progressOfItem(card.item) : 0
            }

            FavoriteBadge {
                objectName: "favoriteBadge"
                anchors.top: parent.top
                anchors.right: parent.right
                anchors.margins: 5
                visible: card.favorite
            }
        }

        PlainText {
            objectName: "cardTitle"
            width: card.width
            text: card.item.name
            font.pixelSize: Fonts.callout
            color: MavuColor.text
            wrapMode: Text.Wrap
            maximumLineCount: 2
            elide: Text.ElideRight
        }
    }
}
