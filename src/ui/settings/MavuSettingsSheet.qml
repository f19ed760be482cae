import QtQuick
import Mavu

// The settings sheet: a modal panel over the home screen. Escape or Done closes it.
FocusScope {
    id: root
    signal dismissed()

    anchors.fill: parent
    z: 100

    Keys.onEscapePressed: root.dismissed()

    // Modal: the screen behind takes no clicks while the sheet is up.
    Rectangle {
        anchors.fill: parent
        color: "black"
        opacity: Metrics.busyDim
        MouseArea {
            anchors.fill: parent
            acceptedButtons: Qt.AllButtons
            hoverEnabled: true
            onWheel: wheel => wheel.accepted = true
        }
    }

    Rectangle {
        objectName: "settingsPanel"
        anchors.centerIn: parent
        width: Math.min(560, parent.width - 80)
        height: Math.min(620, parent.height - 80)
        radius: Metrics.cardRadius
        color: MavuColor.ink
        border.width: 1
        border.color: MavuColor.alpha("white", Metrics.hairlineOpacity)

        PlainText {
            x: 24
            y: 20
            text: "Settings"
            font.pixelSize: Fonts.title2
            font.bold: true
            color: MavuColor.text
        }

        MavuButtonStyle {
            objectName: "settingsDone"
            anchors.right: parent.right
            anchors.top: parent.top
            anchors.margins: 16
            filled: true
            text: "Done"
            font.weight: Font.DemiBold
            onClicked: root.dismissed()
        }
    }
}
