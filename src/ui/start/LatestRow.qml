import QtQuick
import Mavu

// A titled row of posters; a spinner while the library loads, a dash when it stays empty.
Column {
    id: root
    property string title
    property var model

    spacing: 24

    Text {
        objectName: "rowTitle"
        text: root.title
        font.pixelSize: Fonts.title3
        font.bold: true
        color: MavuColor.text
    }

    ListView {
        objectName: "posterList"
        visible: root.model.count > 0
        width: parent.width
        height: visible ? 230 : 0
        orientation: ListView.Horizontal
        spacing: 16
        clip: true
        boundsBehavior: Flickable.StopAtBounds
        model: root.model
        delegate: PosterCard {
            required property var item
            anchors.verticalCenter: parent ? parent.verticalCenter : undefined
            media: item
            onPlay: AppStore.runPlay(item)
        }
    }

    Item {
        objectName: "rowSpinner"
        visible: root.model.count === 0 && AppStore.loadingHome
        width: parent.width
        height: visible ? 208 : 0
        Spinner {
            anchors.centerIn: parent
            size: 22
        }
    }

    Text {
        objectName: "rowEmpty"
        visible: root.model.count === 0 && !AppStore.loadingHome
        text: "—"
        font.pixelSize: Fonts.body
        color: MavuColor.textDim
    }
}
