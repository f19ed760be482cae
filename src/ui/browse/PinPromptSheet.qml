import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import Mavu

// Asks for the parental PIN before a locked category opens. A new sheet is made for each
// challenge and opens at once. Every way it closes (the right PIN, Cancel, Escape) clears the
// challenge; only the right PIN runs it.
Popup {
    id: sheet
    objectName: "pinSheet"
    // A wrong PIN was submitted since the sheet opened; it stays said while the next is typed.
    property bool wrong: false
    // The right PIN was submitted: closing runs the challenge instead of dropping it.
    property bool accepted: false

    anchors.centerIn: parent
    width: 340
    padding: 26
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape

    T.Overlay.modal: Rectangle {
        color: MavuColor.alpha("black", Metrics.backdropOpacity)
    }
    background: Rectangle {
        radius: Metrics.sheetRadius
        color: MavuColor.ink
        border.width: 1
        border.color: MavuColor.alpha("white", Metrics.hairlineOpacity)
    }

    Component.onCompleted: open()
    onClosed: {
        if (accepted)
            AppStore.runPinChallenge()
        else
            AppStore.dropPinChallenge()
    }

    function submit() {
        if (BrowseRules.pinMatches(field.text, AppStore.parentalPIN)) {
            accepted = true
            close()
        } else {
            wrong = true
            field.clear()
        }
    }

    Column {
        width: sheet.availableWidth
        spacing: 14

        SymbolIcon {
            anchors.horizontalCenter: parent.horizontalCenter
            name: "lock.shield"
            size: 30
            color: MavuColor.amber
        }
        PlainText {
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Parental Control"
            font.pixelSize: Fonts.headline
            font.bold: true
            color: MavuColor.text
        }
        PlainText {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: "Enter your PIN to open this category."
            font.pixelSize: Fonts.callout
            color: MavuColor.textDim
            wrapMode: Text.Wrap
        }
        Rectangle {
            anchors.horizontalCenter: parent.horizontalCenter
            width: 160
            height: field.implicitHeight + 18
            radius: Metrics.fieldRadius
            color: MavuColor.panel

            FocusRing {
                visible: field.activeFocus
                faceRadius: Metrics.fieldRadius
            }

            TextInput {
                id: field
                objectName: "pinField"
                anchors.fill: parent
                anchors.margins: 9
                focus: true
                echoMode: TextInput.Password
                horizontalAlignment: TextInput.AlignHCenter
                verticalAlignment: TextInput.AlignVCenter
                color: MavuColor.text
                selectionColor: MavuColor.amber
                selectedTextColor: MavuColor.ink
                font.pixelSize: Fonts.body
                clip: true
                Accessible.name: "PIN"
                onAccepted: sheet.submit()
            }
        }
        PlainText {
            objectName: "pinWrong"
            anchors.horizontalCenter: parent.horizontalCenter
            visible: sheet.wrong
            text: "Wrong PIN"
            font.pixelSize: Fonts.caption
            color: "red"
        }
        Row {
            anchors.horizontalCenter: parent.horizontalCenter
            spacing: 10

            MavuButtonStyle {
                objectName: "pinCancel"
                text: "Cancel"
                onClicked: sheet.close()
            }
            MavuButtonStyle {
                objectName: "pinOK"
                filled: true
                text: "OK"
                font.bold: true
                onClicked: sheet.submit()
            }
        }
    }
}
