import QtQuick
import Mavu

// "Continue Watching": what was left part-way, most recent first; gone while there is nothing.
// One Tab stop; Left and Right move along it.
FocusScope {
    id: root

    visible: AppStore.positions.model.count > 0
    implicitHeight: visible ? column.implicitHeight : 0

    Column {
        id: column
        width: parent.width
        spacing: 24

        PlainText {
            objectName: "rowTitle"
            text: "Continue Watching"
            font.pixelSize: Fonts.title3
            font.bold: true
            color: MavuColor.text
        }

        FocusListView {
            objectName: "continueList"
            focus: true
            width: parent.width
            height: 244
            orientation: ListView.Horizontal
            spacing: Metrics.posterSpacing
            // Room for the focus ring of the first and last poster.
            leftMargin: Metrics.focusRingGap + Metrics.focusRingWidth
            rightMargin: leftMargin
            clip: true
            model: AppStore.positions.model
            delegate: ContinueCard {
                required property int index
                anchors.verticalCenter: parent ? parent.verticalCenter : undefined
                focusPolicy: Qt.ClickFocus
                onActiveFocusChanged: {
                    if (activeFocus)
                        ListView.view.currentIndex = index
                }
                onClicked: AppStore.runResume(entry)
            }
        }
    }
}
