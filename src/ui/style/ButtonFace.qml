import QtQuick
import Mavu

// The label of the app's button: the text, with a symbol before it when one is named, centred
// and cut short with an ellipsis when the button is narrower.
Item {
    id: face
    property string text
    property string symbol
    property font font
    property color color

    // From the parts' natural sizes: the text's shown width follows the face's width.
    implicitWidth: (icon.visible ? icon.implicitWidth + row.spacing : 0) + label.implicitWidth
    implicitHeight: row.implicitHeight

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 7

        SymbolIcon {
            id: icon
            objectName: "buttonSymbol"
            anchors.verticalCenter: parent.verticalCenter
            visible: face.symbol !== ""
            name: face.symbol
            size: face.font.pixelSize
            bold: face.font.bold
            color: face.color
        }
        PlainText {
            id: label
            objectName: "buttonText"
            anchors.verticalCenter: parent.verticalCenter
            width: Math.min(implicitWidth, face.width - (icon.visible ? icon.width + row.spacing : 0))
            text: face.text
            font: face.font
            color: face.color
            elide: Text.ElideRight
        }
    }
}
