import QtQuick
import Mavu

// The facts beside the poster: each row only when it has something to say, the rating always.
Column {
    id: root
    required property detailTexts texts
    property real rating

    spacing: 7

    FactRow {
        objectName: "factReleaseDate"
        width: root.width
        label: "Release date"
        value: root.texts.releaseDate
    }
    Row {
        objectName: "ratingRow"
        spacing: 6
        Stars {
            objectName: "stars"
            anchors.verticalCenter: parent.verticalCenter
            rating: root.rating
        }
        PlainText {
            objectName: "ratingNumber"
            anchors.verticalCenter: parent.verticalCenter
            visible: text !== ""
            text: DetailRules.ratingText(root.rating)
            font.pixelSize: Fonts.callout
            color: MavuColor.textDim
        }
    }
    FactRow {
        objectName: "factDirector"
        width: root.width
        label: "Director"
        value: root.texts.director
    }
    FactRow {
        objectName: "factAge"
        width: root.width
        label: "Age"
        value: root.texts.age
    }
    FactRow {
        objectName: "factLength"
        width: root.width
        label: "Length"
        value: root.texts.length
    }
    FactRow {
        objectName: "factGenre"
        width: root.width
        label: "Genre"
        value: root.texts.genre
    }
    FactRow {
        objectName: "factCast"
        width: root.width
        label: "Cast"
        value: root.texts.cast
    }
}
