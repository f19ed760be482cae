import QtQuick
import QtQuick.Controls.Basic
import Mavu

// One movie or TV show: poster, facts, plot and actions, and a show's seasons and episodes.
// It fills its parent and reads everything from the store, whose `detailItem` it shows; back
// and Escape clear that item. Details that could not be fetched say so with Retry below the
// actions (for a show, in place of its seasons). Tab goes through back, the actions, the
// season chips and the episodes (or Retry); the screen scrolls to whatever takes the keyboard.
FocusScope {
    id: root
    objectName: "detailScreen"

    property mediaItem item: AppStore.detailItem
    readonly property detailTexts texts: DetailRules.texts(item, AppStore.vodInfo)

    Keys.onEscapePressed: AppStore.clearDetailItem()

    FavoriteMark {
        id: favorite
        store: AppStore
        item: root.item
    }

    Column {
        anchors.fill: parent

        Row {
            id: header
            padding: 16
            spacing: 12

            BackButton {
                id: back
                objectName: "detailBack"
                anchors.verticalCenter: parent.verticalCenter
                symbolSize: Fonts.headline
                inset: 9
                onClicked: AppStore.clearDetailItem()
            }
            PlainText {
                objectName: "detailTitle"
                anchors.verticalCenter: parent.verticalCenter
                width: Math.min(implicitWidth, root.width - 2 * header.padding - back.width - header.spacing)
                text: root.item.name
                font.pixelSize: Fonts.title2
                font.bold: true
                color: MavuColor.text
                maximumLineCount: 1
                elide: Text.ElideRight
            }
        }

        ScrollView {
            id: scroll
            width: parent.width
            height: parent.height - header.height
            contentWidth: availableWidth
            ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

            Column {
                id: content
                x: 20
                width: scroll.availableWidth - 40
                bottomPadding: 24
                spacing: 22

                Row {
                    spacing: 24

                    DetailPicture {
                        objectName: "poster"
                        width: 220
                        height: 300
                        radius: 14
                        color: MavuColor.panel
                        address: root.item.icon
                        placeholder: "film"
                        placeholderSize: 40
                    }

                    Column {
                        width: content.width - 220 - 24
                        spacing: 10

                        DetailFacts {
                            width: parent.width
                            texts: root.texts
                            rating: root.item.rating5
                        }

                        Row {
                            topPadding: 8
                            spacing: 10

                            MavuButtonStyle {
                                objectName: "trailerButton"
                                anchors.verticalCenter: parent.verticalCenter
                                visible: root.texts.trailerId !== ""
                                text: "Watch Trailer"
                                symbol: "play.rectangle"
                                font.weight: Font.DemiBold
                                onClicked: AppStore.openTrailer(root.texts.trailerId)
                            }
                            MavuButtonStyle {
                                objectName: "playButton"
                                anchors.verticalCenter: parent.verticalCenter
                                visible: root.texts.movie
                                width: Math.max(implicitWidth, 90)
                                filled: true
                                text: "Play"
                                symbol: "play.fill"
                                font.bold: true
                                onClicked: AppStore.runPlay(root.item)
                            }
                            MavuButtonStyle {
                                objectName: "favoriteButton"
                                anchors.verticalCenter: parent.verticalCenter
                                text: favorite.favorite ? "Remove Favorite" : "Add to Favorite"
                                symbol: favorite.favorite ? "star.fill" : "star"
                                font.weight: Font.DemiBold
                                onClicked: AppStore.toggleFavorite(root.item)
                            }
                        }
                    }
                }

                PlainText {
                    objectName: "plot"
                    width: parent.width
                    visible: text !== ""
                    text: root.texts.plot
                    font.pixelSize: Fonts.body
                    color: MavuColor.textDim
                    wrapMode: Text.Wrap
                }

                FailurePanel {
                    objectName: "detailFailure"
                    width: parent.width
                    // A movie keeps its Play: one line suffices. A show has nothing below without
                    // its seasons.
                    compact: root.texts.movie
                    topPadding: root.texts.movie ? 0 : 40
                    failure: AppStore.failures.details
                    visible: failure.failed && !AppStore.loadingDetail
                    onRetry: AppStore.failures.retryDetails()
                }

                SeasonsPart {
                    objectName: "seasonsPart"
                    width: parent.width
                    visible: !root.texts.movie && !AppStore.failures.details.failed
                }
            }
        }
    }

    Rectangle {
        objectName: "loadingOverlay"
        anchors.centerIn: parent
        visible: AppStore.loadingDetail
        width: spinner.width + 40
        height: spinner.height + 40
        radius: 12
        color: MavuColor.alpha("black", 0.4)

        Spinner {
            id: spinner
            anchors.centerIn: parent
            size: Metrics.spinnerLarge
        }
    }

    // Whatever takes the keyboard inside the scrolling part comes into view.
    Connections {
        target: root.Window.window
        function onActiveFocusItemChanged() {
            root.reveal(root.Window.activeFocusItem)
        }
    }

    function reveal(item: Item) {
        UiRules.reveal(scroll.contentItem, item, 12)
    }
}
