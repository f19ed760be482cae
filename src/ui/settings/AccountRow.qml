import QtQuick
import Mavu

// A labelled row of the account form: the label at the left, the value on one line at the right.
Item {
    id: row
    property string label
    property string value
    property string valueName
    property font valueFont
    valueFont.pixelSize: Fonts.body

    implicitHeight: Math.max(labelText.implicitHeight, valueText.implicitHeight) + 24

    PlainText {
        id: labelText
        anchors.left: parent.left
        anchors.leftMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        text: row.label
        font.pixelSize: Fonts.body
        color: MavuColor.text
    }
    PlainText {
        id: valueText
        objectName: row.valueName
        anchors.right: parent.right
        anchors.rightMargin: 16
        anchors.verticalCenter: parent.verticalCenter
        width: Math.min(implicitWidth, row.width - labelText.implicitWidth - 16 * 3)
        horizontalAlignment: Text.AlignRight
        text: row.value
        font: row.valueFont
        color: MavuColor.textDim
        elide: Text.ElideMiddle
        maximumLineCount: 1
    }
}
