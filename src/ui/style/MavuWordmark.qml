import QtQuick
import Mavu

// The product name in rounded bold amber over an amber bar.
Item {
    id: root
    property real size: 30
    property int alignment: Qt.AlignHCenter // Qt.AlignLeft, Qt.AlignHCenter or Qt.AlignRight

    readonly property real gap: size * 0.13
    readonly property real barWidth: size * 1.95
    readonly property real barHeight: Math.max(4, size * 0.13)

    implicitWidth: Math.max(label.implicitWidth, barWidth)
    implicitHeight: label.implicitHeight + gap + barHeight

    function alignedX(itemWidth) {
        if (alignment & Qt.AlignLeft)
            return 0
        if (alignment & Qt.AlignRight)
            return width - itemWidth
        return (width - itemWidth) / 2
    }

    PlainText {
        id: label
        objectName: "wordmarkText"
        x: root.alignedX(implicitWidth)
        text: "MAVU"
        font.family: Fonts.rounded
        font.bold: true
        font.pixelSize: root.size
        color: MavuColor.amber
        wrapMode: Text.NoWrap
    }
    Rectangle {
        objectName: "wordmarkBar"
        x: root.alignedX(width)
        y: label.implicitHeight + root.gap
        width: root.barWidth
        height: root.barHeight
        radius: 2
        color: MavuColor.amber
    }
}
