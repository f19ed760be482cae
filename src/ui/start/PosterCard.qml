import QtQuick
import Qt5Compat.GraphicalEffects
import Mavu

// One poster with its name under it; the picture loads at display size, the placeholder shows
// until it arrives and when there is none.
Item {
    id: root
    property var media
    signal play()

    width: 150
    implicitHeight: column.implicitHeight

    Column {
        id: column
        spacing: 8

        Rectangle {
            id: frame
            width: 150
            height: 200
            radius: 12
            color: MavuColor.panel

            PosterPlaceholder {
                anchors.centerIn: parent
                visible: poster.status !== Image.Ready
            }

            Image {
                id: poster
                objectName: "posterImage"
                anchors.fill: parent
                source: UiRules.imageUrl(root.media ? root.media.icon : "")
                sourceSize.width: 150 * Screen.devicePixelRatio
                sourceSize.height: 200 * Screen.devicePixelRatio
                fillMode: Image.PreserveAspectCrop
                asynchronous: true
                cache: true
                visible: false
            }
            OpacityMask {
                anchors.fill: parent
                visible: poster.status === Image.Ready
                source: poster
                maskSource: Rectangle {
                    width: frame.width
                    height: frame.height
                    radius: frame.radius
                }
            }
        }

        Text {
            objectName: "posterName"
            width: 150
            text: root.media ? root.media.name : ""
            font.pixelSize: Fonts.callout
            color: MavuColor.text
            elide: Text.ElideRight
            maximumLineCount: 1
        }
    }

    HoverHandler {
        cursorShape: Qt.PointingHandCursor
    }
    TapHandler {
        onTapped: root.play()
    }
}
