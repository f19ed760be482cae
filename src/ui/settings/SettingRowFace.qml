import QtQuick
import Mavu

// The face of a settings row: the symbol in a column of its own, the title, and at the right
// the detail (when there is one) and a chevron.
Item {
    id: face
    property string symbol
    property string title
    property string detail
    property font font

    implicitWidth: 24 + 12 + titleText.implicitWidth + 12 + detailText.implicitWidth + 8 + chevron.implicitWidth
    implicitHeight: Math.max(titleText.implicitHeight, symbolIcon.implicitHeight)

    SymbolIcon {
        id: symbolIcon
        anchors.verticalCenter: parent.verticalCenter
        width: 24
        name: face.symbol
        size: Fonts.body
        color: MavuColor.amber
    }
    PlainText {
        id: titleText
        objectName: "rowTitle"
        anchors.left: symbolIcon.right
        anchors.leftMargin: 12
        anchors.right: detailText.left
        anchors.rightMargin: 12
        anchors.verticalCenter: parent.verticalCenter
        text: face.title
        font: face.font
        color: MavuColor.text
        elide: Text.ElideRight
    }
    PlainText {
        id: detailText
        objectName: "rowDetail"
        anchors.right: chevron.left
        anchors.rightMargin: visible ? 8 : 0
        anchors.verticalCenter: parent.verticalCenter
        width: visible ? Math.min(implicitWidth, face.width / 2) : 0
        visible: face.detail.length > 0
        text: face.detail
        font.pixelSize: face.font.pixelSize
        color: MavuColor.textDim
        elide: Text.ElideRight
    }
    SymbolIcon {
        id: chevron
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        name: "chevron.right"
        size: Fonts.caption
        color: MavuColor.textDim
    }
}
