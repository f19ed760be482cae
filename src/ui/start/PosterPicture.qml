import QtQuick
import Mavu

// A poster's picture in its rounded frame, loaded at display size; the placeholder shows until
// it arrives and when there is none. A frame that goes, shows another poster or stops
// `fetching` (a grid cell scrolled away, reused or set aside) drops its download.
Rectangle {
    id: frame
    // The provider's picture address as it came; anything that is not an address shows the
    // placeholder.
    property string icon
    property alias placeholderSize: placeholder.symbolSize
    property alias placeholderCaptioned: placeholder.captioned
    property bool fetching: true

    width: Metrics.posterWidth
    height: Metrics.posterHeight
    radius: Metrics.posterRadius
    color: MavuColor.panel

    PosterPlaceholder {
        id: placeholder
        anchors.centerIn: parent
        visible: poster.status !== Image.Ready
    }

    Image {
        id: poster
        objectName: "posterImage"
        anchors.fill: parent
        source: frame.fetching ? UiRules.imageUrl(frame.icon) : ""
        sourceSize.width: frame.width * Screen.devicePixelRatio
        sourceSize.height: frame.height * Screen.devicePixelRatio
        fillMode: Image.PreserveAspectCrop
        asynchronous: true
        cache: true
        visible: false
    }
    RoundedPicture {
        anchors.fill: parent
        visible: poster.status === Image.Ready
        source: poster
        radius: frame.radius
    }
}
