import QtQuick
import Qt5Compat.GraphicalEffects
import Mavu

// A provider's picture in a rounded frame, cropped to fill it and decoded at the frame's size.
// A symbol stands in while it loads, when it fails and when the address is none.
Rectangle {
    id: frame
    // The address as the provider wrote it.
    property string address
    property string placeholder: "film"
    property real placeholderSize: 40

    SymbolIcon {
        objectName: "placeholder"
        anchors.centerIn: parent
        visible: picture.status !== Image.Ready
        name: frame.placeholder
        size: frame.placeholderSize
        color: MavuColor.amber
        opacity: 0.7
    }

    Image {
        id: picture
        objectName: "picture"
        anchors.fill: parent
        source: UiRules.imageUrl(frame.address)
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
}
