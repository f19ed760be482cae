import QtQuick
import Qt5Compat.GraphicalEffects
import Mavu

// A poster's picture in its rounded frame, loaded at display size; the placeholder shows until
// it arrives and when there is none.
Rectangle {
    id: frame
    // The provider's picture address as it came; anything that is not an address shows the
    // placeholder.
    property string icon

    width: Metrics.posterWidth
    height: Metrics.posterHeight
    radius: Metrics.posterRadius
    color: MavuColor.panel

    PosterPlaceholder {
        anchors.centerIn: parent
        visible: poster.status !== Image.Ready
    }

    Image {
        id: poster
        objectName: "posterImage"
        anchors.fill: parent
        source: UiRules.imageUrl(frame.icon)
        sourceSize.width: Metrics.posterWidth * Screen.devicePixelRatio
        sourceSize.height: Metrics.posterHeight * Screen.devicePixelRatio
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
