import QtQuick
import Mavu

// "Resumed at 41:12 — Start over" for a few seconds after a movie or an episode picked up where
// it was left. Start over is an ordinary button: Tab reaches it, Enter or Space presses it.
Rectangle {
    id: root
    required property ResumeState resume

    visible: opacity > 0
    opacity: resume.noticeShown ? 1 : 0
    Behavior on opacity { NumberAnimation { duration: Metrics.chromeFade } }
    width: row.implicitWidth + 28
    height: row.implicitHeight + 16
    radius: height / 2
    color: MavuColor.alpha("black", 0.7)

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 10

        PlainText {
            objectName: "resumeText"
            anchors.verticalCenter: parent.verticalCenter
            text: root.resume.noticeText + " —"
            font.pixelSize: Fonts.callout
            color: "white"
        }
        MavuButtonStyle {
            objectName: "startOverButton"
            anchors.verticalCenter: parent.verticalCenter
            text: "Start over"
            topPadding: 4
            bottomPadding: 4
            leftPadding: 10
            rightPadding: 10
            font.pixelSize: Fonts.callout
            enabled: root.resume.noticeShown
            onClicked: root.resume.startOver()
        }
    }
}
