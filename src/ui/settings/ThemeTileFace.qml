import QtQuick
import Qt5Compat.GraphicalEffects
import Mavu

// A theme tile's face: the thumbnail in a rounded frame, and the name under it.
Column {
    id: face
    property theme theme
    property bool chosen: false

    spacing: 8

    Rectangle {
        id: frame
        objectName: "themeFrame"
        width: face.width
        height: Metrics.themeThumbnailHeight
        radius: Metrics.settingRowRadius
        color: face.theme.url.length > 0 ? MavuColor.panel : MavuColor.ink

        Spinner {
            objectName: "themeSpinner"
            anchors.centerIn: parent
            visible: face.theme.url.length > 0 && picture.status !== Image.Ready
            size: Metrics.spinnerSmall
        }

        MavuWordmark {
            objectName: "themeWordmark"
            anchors.centerIn: parent
            visible: face.theme.url.length === 0
            size: 46
        }

        Image {
            id: picture
            objectName: "themeImage"
            anchors.fill: parent
            source: UiRules.imageUrl(face.theme.url)
            sourceSize.width: frame.width * Screen.devicePixelRatio
            sourceSize.height: frame.height * Screen.devicePixelRatio
            fillMode: Image.PreserveAspectCrop
            asynchronous: true
            visible: false
        }
        OpacityMask {
            anchors.fill: parent
            visible: picture.status === Image.Ready
            source: picture
            maskSource: Rectangle {
                width: frame.width
                height: frame.height
                radius: frame.radius
            }
        }

        // The border: amber and wide on the chosen tile, a faint white line on the others.
        Rectangle {
            objectName: "themeBorder"
            anchors.fill: parent
            radius: frame.radius
            color: "transparent"
            border.width: face.chosen ? 3 : 1
            border.color: face.chosen ? MavuColor.amber : MavuColor.alpha("white", 0.08)
        }

        Rectangle {
            objectName: "themeCheck"
            anchors.top: parent.top
            anchors.right: parent.right
            anchors.margins: 6
            visible: face.chosen
            width: check.implicitWidth + 16
            height: width
            radius: width / 2
            color: MavuColor.alpha("black", 0.4)
            SymbolIcon {
                id: check
                anchors.centerIn: parent
                name: "checkmark.circle.fill"
                size: Fonts.body
                color: MavuColor.amber
            }
        }
    }

    PlainText {
        objectName: "themeName"
        width: face.width
        horizontalAlignment: Text.AlignHCenter
        text: face.theme.name
        font.pixelSize: Fonts.callout
        color: MavuColor.text
        elide: Text.ElideRight
        maximumLineCount: 1
    }
}
