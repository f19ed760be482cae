import QtQuick
import QtQuick.Controls.Basic
import Mavu

// A category's name on a panel with an amber switch at the right. Space turns it; a click
// anywhere on the row does too.
Switch {
    id: control

    focusPolicy: Qt.ClickFocus
    hoverEnabled: true
    topPadding: 8
    bottomPadding: 8
    leftPadding: 14
    rightPadding: 14
    spacing: 12
    font.pixelSize: Fonts.body
    Accessible.name: text

    background: Rectangle {
        radius: Metrics.choiceRowRadius
        color: MavuColor.panel
    }

    indicator: Rectangle {
        x: control.width - width - control.rightPadding
        y: (control.height - height) / 2
        implicitWidth: 38
        implicitHeight: 22
        radius: height / 2
        color: control.checked ? MavuColor.amber : MavuColor.alpha("white", 0.24)
        opacity: control.down ? Metrics.pressedOpacity : 1.0

        Rectangle {
            x: control.checked ? parent.width - width - 2 : 2
            y: 2
            width: parent.height - 4
            height: width
            radius: width / 2
            color: "white"
            Behavior on x {
                NumberAnimation { duration: 120 }
            }
        }
    }

    contentItem: PlainText {
        objectName: "categoryName"
        leftPadding: 0
        rightPadding: control.indicator.width + control.spacing
        horizontalAlignment: Text.AlignLeft
        verticalAlignment: Text.AlignVCenter
        text: control.text
        font: control.font
        color: MavuColor.text
        elide: Text.ElideRight
    }

    HoverHandler {
        cursorShape: Qt.PointingHandCursor
    }

    FocusRing {
        objectName: "focusRing"
        visible: control.visualFocus
        faceRadius: Metrics.choiceRowRadius
    }
}
