import QtQuick
import Mavu

// The way back: a chevron in ink on an amber circle, or with `showsLabel` on an amber capsule
// that also says "Back".
MavuButton {
    id: control
    property real symbolSize: Fonts.headline
    property real inset: 8
    property bool showsLabel: false

    text: "Back"
    padding: inset
    leftPadding: showsLabel ? 14 : inset
    rightPadding: showsLabel ? 14 : inset
    implicitWidth: showsLabel ? implicitContentWidth + leftPadding + rightPadding : implicitHeight
    implicitHeight: implicitContentHeight + topPadding + bottomPadding
    faceRadius: height / 2
    opacity: down ? Metrics.pressedOpacity : 1.0

    // Centred in the circle or the capsule.
    contentItem: Item {
        implicitWidth: children[0].implicitWidth
        implicitHeight: children[0].implicitHeight
        Row {
            anchors.centerIn: parent
            spacing: 6
            SymbolIcon {
                anchors.verticalCenter: parent.verticalCenter
                name: "chevron.left"
                size: control.symbolSize
                bold: true
                color: MavuColor.ink
            }
            PlainText {
                anchors.verticalCenter: parent.verticalCenter
                visible: control.showsLabel
                text: control.text
                font.pixelSize: control.symbolSize
                font.bold: true
                color: MavuColor.ink
            }
        }
    }

    background: Rectangle {
        radius: height / 2
        color: MavuColor.amber
    }
}
