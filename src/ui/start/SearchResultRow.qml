import QtQuick
import Mavu

// One kind's results of the whole-library search: its title with the count and "See all",
// then up to 30 posters, best first. While the catalogue loads a spinner stands in, and a
// failure says why with Retry. A kind with nothing found takes no room. The posters are one
// Tab stop (Left and Right move along them); Enter opens the entry.
FocusScope {
    id: root
    required property SearchResults results
    property string title

    readonly property bool shows: results.count > 0 || results.loading || results.failure.failed

    visible: shows
    implicitHeight: shows ? column.implicitHeight : 0

    // Gives the keyboard to the posters, or to the row's first control when there are none.
    function focusRow(reason: int) {
        if (posters.count > 0)
            posters.forceActiveFocus(reason)
        else if (failure.visible)
            failure.forceActiveFocus(reason)
        else if (seeAll.visible)
            seeAll.forceActiveFocus(reason)
    }

    // The posters change in place as the text changes: a new text starts at its best match.
    Connections {
        target: AppStore.search
        function onTextChanged() {
            posters.currentIndex = 0
            posters.positionViewAtBeginning()
        }
    }

    Column {
        id: column
        width: parent.width
        spacing: 14

        Row {
            spacing: 12
            height: Math.max(heading.implicitHeight, seeAll.implicitHeight)

            PlainText {
                id: heading
                objectName: "resultsTitle"
                anchors.verticalCenter: parent.verticalCenter
                text: root.title
                font.pixelSize: Fonts.title3
                font.bold: true
                color: MavuColor.text
            }
            PlainText {
                objectName: "resultsCount"
                anchors.verticalCenter: parent.verticalCenter
                visible: root.results.count > 0
                text: Number(root.results.count).toLocaleString(Qt.locale(), "f", 0)
                font.pixelSize: Fonts.body
                color: MavuColor.textDim
            }
            MavuButton {
                id: seeAll
                objectName: "seeAll"
                anchors.verticalCenter: parent.verticalCenter
                visible: root.results.count > 0
                text: "See all"
                faceRadius: Metrics.fieldRadius
                padding: 4
                contentItem: PlainText {
                    text: "See all"
                    font.pixelSize: Fonts.body
                    font.bold: true
                    color: MavuColor.amber
                }
                onClicked: AppStore.search.seeAll(root.results.section)
            }
        }

        FocusListView {
            id: posters
            objectName: "resultPosters"
            focus: true
            visible: count > 0
            width: parent.width
            height: visible ? 230 : 0
            orientation: ListView.Horizontal
            spacing: Metrics.posterSpacing
            // Room for the focus ring of the first and last poster.
            leftMargin: Metrics.focusRingGap + Metrics.focusRingWidth
            rightMargin: leftMargin
            clip: true
            // No posters made ahead off screen: those are made asynchronously, and a keystroke
            // that empties the row while one is half made leaves the view cancelling a row the
            // model no longer has. Thirty posters are cheap enough to make as they scroll in.
            cacheBuffer: 0
            model: root.results.model
            delegate: PosterCard {
                required property int index
                anchors.verticalCenter: parent ? parent.verticalCenter : undefined
                focusPolicy: Qt.ClickFocus
                onActiveFocusChanged: {
                    if (activeFocus)
                        ListView.view.currentIndex = index
                }
                onClicked: AppStore.search.open(item)
            }
        }

        Item {
            objectName: "resultsSpinner"
            visible: posters.count === 0 && root.results.loading
            width: parent.width
            height: visible ? 120 : 0
            Spinner {
                anchors.centerIn: parent
                size: Metrics.spinnerSmall
            }
        }

        FailurePanel {
            id: failure
            objectName: "resultsFailure"
            width: parent.width
            compact: true
            failure: root.results.failure
            onRetry: AppStore.search.retry(root.results.section)
        }
    }
}
