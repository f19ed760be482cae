import QtQuick
import QtQuick.Controls.Basic
import Mavu

// The library's front page: the sections and settings on the left, the newest movies and
// TV shows on the right, the account's expiry in the corner.
Item {
    id: root
    objectName: "homeView"
    property bool showSettings: false

    Rectangle {
        anchors.fill: parent
        color: MavuColor.ink
        opacity: 0.5
    }

    Row {
        anchors.fill: parent

        Item {
            id: menu
            width: 210
            height: parent.height

            Rectangle {
                anchors.fill: parent
                color: MavuColor.ink
                opacity: 0.55
            }

            Column {
                x: 20
                y: 20
                width: parent.width - 40
                spacing: 12

                Item {
                    width: parent.width
                    height: wordmark.implicitHeight + 6 // 6 points under the wordmark
                    MavuWordmark {
                        id: wordmark
                        width: parent.width
                        size: 30
                        alignment: Qt.AlignLeft
                    }
                }

                MenuCard {
                    objectName: "menuLive"
                    width: parent.width
                    title: AppStore.t("live_tv", "Live TV")
                    systemImage: "tv"
                    onActivated: AppStore.runOpenSection(0)
                }
                MenuCard {
                    objectName: "menuMovies"
                    width: parent.width
                    title: AppStore.t("movies", "Movies")
                    systemImage: "film"
                    onActivated: AppStore.runOpenSection(1)
                }
                MenuCard {
                    objectName: "menuSeries"
                    width: parent.width
                    title: AppStore.t("tv_shows", "TV Shows")
                    systemImage: "rectangle.stack"
                    onActivated: AppStore.runOpenSection(2)
                }
                MenuCard {
                    objectName: "menuSettings"
                    width: parent.width
                    title: AppStore.t("settings", "Settings")
                    systemImage: "gearshape"
                    onActivated: root.showSettings = true
                }
            }
        }

        Item {
            width: parent.width - menu.width
            height: parent.height

            ScrollView {
                id: scroll
                anchors.fill: parent
                contentWidth: availableWidth
                ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

                Column {
                    x: 24
                    width: scroll.availableWidth - 48
                    topPadding: 24
                    bottomPadding: 48
                    spacing: 24

                    LatestRow {
                        objectName: "latestMoviesRow"
                        width: parent.width
                        title: AppStore.t("latest_movies", "Latest Movies")
                        model: AppStore.latestMoviesModel
                    }
                    LatestRow {
                        objectName: "latestSeriesRow"
                        width: parent.width
                        title: AppStore.t("latest_tv_shows", "Latest TV Shows")
                        model: AppStore.latestSeriesModel
                    }
                }
            }

            Text {
                objectName: "expiryText"
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                anchors.rightMargin: 24
                anchors.bottomMargin: 18
                width: Math.min(implicitWidth, 700)
                text: AppStore.expiryText
                font.pixelSize: Fonts.footnote
                color: MavuColor.textDim
                horizontalAlignment: Text.AlignRight
                wrapMode: Text.WordWrap
            }

            Column {
                objectName: "loadingOverlay"
                anchors.centerIn: parent
                spacing: 10
                visible: AppStore.loadingHome && AppStore.latestMoviesModel.count === 0
                         && AppStore.latestSeriesModel.count === 0
                Spinner {
                    anchors.horizontalCenter: parent.horizontalCenter
                    size: 36
                }
                Text {
                    text: "Loading your library…"
                    font.pixelSize: Fonts.body
                    color: MavuColor.textDim
                }
            }
        }
    }

    MavuSettingsSheet {
        objectName: "settingsSheet"
        visible: root.showSettings
        onDismissed: root.showSettings = false
    }
}
