import QtQuick
import Mavu

// The inside of the guide's programme sheet.
Column {
    id: face
    property string channelName
    property guideProgram program
    property string day
    signal closeRequested

    spacing: 10

    PlainText {
        objectName: "detailsChannel"
        width: parent.width
        text: face.channelName
        font.pixelSize: Fonts.caption
        color: MavuColor.textDim
        elide: Text.ElideRight
    }
    PlainText {
        objectName: "detailsTitle"
        width: parent.width
        text: face.program.title
        font.pixelSize: Fonts.title2
        font.bold: true
        color: MavuColor.text
        wrapMode: Text.WordWrap
    }
    PlainText {
        objectName: "detailsTime"
        text: face.day + "  " + face.program.timeRange
        font.pixelSize: Fonts.callout
        color: MavuColor.amber
    }
    PlainText {
        objectName: "detailsText"
        width: parent.width
        visible: text !== ""
        text: face.program.desc
        font.pixelSize: Fonts.callout
        color: MavuColor.textDim
        wrapMode: Text.WordWrap
        maximumLineCount: 12
        elide: Text.ElideRight
    }
    MavuButtonStyle {
        objectName: "detailsClose"
        anchors.right: parent.right
        focus: true
        filled: true
        text: "Close"
        onClicked: face.closeRequested()
    }
}
