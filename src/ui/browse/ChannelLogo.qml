import QtQuick
import Mavu

// A channel's logo in its small rounded box: the picture scaled to fit, or the "tv" symbol while
// it loads, when it fails and when the channel has none.
Rectangle {
    id: box
    // The provider's picture address as it came.
    property string icon

    width: 30
    height: 30
    radius: 5
    color: MavuColor.panel

    SymbolGlyph {
        objectName: "logoPlaceholder"
        anchors.centerIn: parent
        visible: logo.status !== Image.Ready
        name: "tv"
        size: Fonts.caption
        color: MavuColor.alpha(MavuColor.amber, Metrics.placeholderOpacity)
    }
    Image {
        id: logo
        objectName: "logoImage"
        anchors.fill: parent
        source: UiRules.imageUrl(box.icon)
        sourceSize.width: box.width * Screen.devicePixelRatio
        sourceSize.height: box.height * Screen.devicePixelRatio
        fillMode: Image.PreserveAspectFit
        asynchronous: true
        cache: true
        visible: status === Image.Ready
    }
}
