import QtQuick
import Mavu

// The player's keys, listed over the picture: the keys in amber, what they do beside them.
Rectangle {
    id: overlay

    // {keys, meaning} rows.
    property var keyList: []

    width: column.implicitWidth + 48
    height: column.implicitHeight + 40
    radius: Metrics.cardRadius
    color: MavuColor.alpha("black", 0.8)
    border.width: 1
    border.color: MavuColor.alpha("white", Metrics.hairlineOpacity)

    Column {
        id: column
        anchors.centerIn: parent
        spacing: 10

        PlainText {
            objectName: "keysTitle"
            text: "Keyboard"
            font.pixelSize: Fonts.title3
            font.weight: Font.DemiBold
            color: "white"
        }

        Repeater {
            model: overlay.keyList
            delegate: Row {
                id: line
                required property var modelData
                spacing: 16
                PlainText {
                    width: 120
                    text: line.modelData.keys
                    font.pixelSize: Fonts.body
                    font.weight: Font.DemiBold
                    color: MavuColor.amber
                }
                PlainText {
                    text: line.modelData.meaning
                    font.pixelSize: Fonts.body
                    color: MavuColor.text
                }
            }
        }
    }
}
