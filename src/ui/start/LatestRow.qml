import QtQuick
import Mavu

// A titled row of posters; a spinner while the library loads, the failure with Retry when it
// could not be loaded, a dash when it stays empty. The row is one Tab stop; Left and Right move
// along it (or Tab reaches its Retry).
FocusScope {
    id: root
    property string title
    required property MediaItemListModel model

    implicitHeight: column.implicitHeight

    Column {
        id: column
        width: parent.width
        spacing: 24

        PlainText {
            objectName: "rowTitle"
            text: root.title
            font.pixelSize: Fonts.title3
            font.bold: true
            color: MavuColor.text
        }

        FocusListView {
            objectName: "posterList"
            focus: true
            visible: root.model.count > 0
            width: parent.width
            height: visible ? 230 : 0
            orientation: ListView.Horizontal
            spacing: Metrics.posterSpacing
            // Room for the focus ring of the first and last poster.
            leftMargin: Metrics.focusRingGap + Metrics.focusRingWidth
            rightMargin: leftMargin
            clip: true
            model: root.model
            delegate: PosterCard {
                required property int index
                anchors.verticalCenter: parent ? parent.verticalCenter : undefined
                focusPolicy: Qt.ClickFocus
                onActiveFocusChanged: {
                    if (activeFocus)
                        ListView.view.currentIndex = index
                }
                onClicked: AppStore.runPlay(item)
            }
        }

        Item {
            objectName: "rowSpinner"
            visible: root.model.count === 0 && AppStore.loadingHome
            width: parent.width
            height: visible ? 208 : 0
            Spinner {
                anchors.centerIn: parent
                size: Metrics.spinnerSmall
            }
        }

        FailurePanel {
            objectName: "rowFailure"
            width: parent.width
            compact: true
            failure: AppStore.failures.home
            visible: root.model.count === 0 && !AppStore.loadingHome && failure.failed
            onRetry: AppStore.failures.retryHome()
        }

        PlainText {
            objectName: "rowEmpty"
            visible: root.model.count === 0 && !AppStore.loadingHome && !AppStore.failures.home.failed
            text: "—"
            font.pixelSize: Fonts.body
            color: MavuColor.textDim
        }
    }
}
