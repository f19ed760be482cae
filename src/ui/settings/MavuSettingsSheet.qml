import QtQuick
import QtQuick.Controls.Basic
import Mavu

// The settings sheet: a modal panel over the home screen holding a stack of pages under a
// bar with the page's title, the way back and Done. Done or Escape closes the sheet from any
// page; the back control, Backspace or Alt+Left goes back one page. It is made anew each time
// it opens, so it always starts on its first page.
FocusScope {
    id: root
    // Opened from the keyboard: the first row shows its focus ring at once.
    property bool openedByKey: false
    signal dismissed()

    anchors.fill: parent
    z: 100

    // Once the sheet is in place and whoever opened it has settled its own focus.
    Timer {
        running: true
        interval: 0
        onTriggered: rootPage.enter(root.openedByKey)
    }

    Keys.onEscapePressed: root.dismissed()
    Keys.onPressed: event => {
        const backspace = event.key === Qt.Key_Backspace && event.modifiers === Qt.NoModifier
        const altLeft = event.key === Qt.Key_Left && event.modifiers === Qt.AltModifier
        if (backspace || altLeft)
            event.accepted = root.back(true)
    }

    // Opens a page over the current one; `byKey` says the keyboard asked for it.
    function push(page: Component, properties: var, byKey: bool) {
        const shown = stack.push(page, properties) as SettingsPage
        shown.leave.connect(root.back)
        shown.enter(byKey)
    }

    // One page back; false on the first page.
    function back(byKey: bool): bool {
        if (stack.depth <= 1)
            return false
        stack.pop()
        const shown = stack.currentItem as SettingsPage
        shown.enter(byKey)
        return true
    }

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
        id: panel
        objectName: "settingsPanel"
        anchors.centerIn: parent
        width: Math.min(Metrics.sheetWidth, parent.width - 2 * Metrics.screenMargin)
        height: Math.min(Metrics.sheetHeight, parent.height - 2 * Metrics.screenMargin)
        radius: Metrics.cardRadius
        color: MavuColor.ink
        border.width: 1
        border.color: MavuColor.alpha("white", Metrics.hairlineOpacity)

        Item {
            id: bar
            width: parent.width
            height: Metrics.sheetBarHeight

            BackButton {
                objectName: "settingsBack"
                anchors.left: parent.left
                anchors.leftMargin: 14
                anchors.verticalCenter: parent.verticalCenter
                visible: stack.depth > 1
                showsLabel: true
                symbolSize: Fonts.callout
                inset: 6
                onClicked: root.back(visualFocus)
            }

            PlainText {
                objectName: "settingsTitle"
                anchors.centerIn: parent
                width: Math.min(implicitWidth, parent.width - 220)
                text: stack.currentItem ? (stack.currentItem as SettingsPage).title : ""
                font.pixelSize: Fonts.headline
                font.bold: true
                color: MavuColor.text
                elide: Text.ElideRight
            }

            MavuButtonStyle {
                objectName: "settingsDone"
                anchors.right: parent.right
                anchors.rightMargin: 14
                anchors.verticalCenter: parent.verticalCenter
                filled: true
                topPadding: 6
                bottomPadding: 6
                text: "Done"
                font.weight: Font.DemiBold
                onClicked: root.dismissed()
            }

            Rectangle {
                anchors.bottom: parent.bottom
                width: parent.width
                height: 1
                color: MavuColor.alpha("white", Metrics.hairlineOpacity)
            }
        }

        StackView {
            id: stack
            objectName: "settingsStack"
            anchors.top: bar.bottom
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            anchors.bottomMargin: panel.radius / 2 // the pages' edges stay inside the rounded corners
            clip: true
            focus: true

            initialItem: SettingsRootPage {
                id: rootPage
                onOpen: (page, properties, byKey) => root.push(page, properties, byKey)
                onDismissed: root.dismissed()
            }

            // Pages slide in from the right and back out to it; the page underneath moves a
            // little and fades.
            pushEnter: Transition {
                NumberAnimation { property: "x"; from: stack.width; to: 0; duration: Metrics.fade; easing.type: Easing.OutCubic }
            }
            pushExit: Transition {
                NumberAnimation { property: "x"; from: 0; to: -stack.width / 3; duration: Metrics.fade; easing.type: Easing.OutCubic }
                NumberAnimation { property: "opacity"; from: 1; to: 0; duration: Metrics.fade }
            }
            popEnter: Transition {
                NumberAnimation { property: "x"; from: -stack.width / 3; to: 0; duration: Metrics.fade; easing.type: Easing.OutCubic }
                NumberAnimation { property: "opacity"; from: 0; to: 1; duration: Metrics.fade }
            }
            popExit: Transition {
                NumberAnimation { property: "x"; from: 0; to: stack.width; duration: Metrics.fade; easing.type: Easing.OutCubic }
            }
        }
    }
}
