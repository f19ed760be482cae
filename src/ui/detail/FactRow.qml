import QtQuick
import Mavu

// One labelled fact of the detail screen, absent while its value is empty. Give it a width:
// the value wraps within it.
Row {
    id: root
    property string label
    property string value

    spacing: 8
    visible: value !== ""

    PlainText {
        objectName: "factLabel"
        width: 100
        text: root.label
        font.pixelSize: Fonts.callout
        font.weight: Font.DemiBold
        color: MavuColor.amber
    }
    PlainText {
        objectName: "factValue"
        width: root.width - 100 - root.spacing
        text: root.value
        font.pixelSize: Fonts.callout
        color: MavuColor.text
        wrapMode: Text.Wrap
    }
}
