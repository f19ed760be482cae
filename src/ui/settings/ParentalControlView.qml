import QtQuick
import Mavu

// Changes the parental PIN that unlocks adult live categories. The fields start empty each
// time; a failed save says why under them and leaves what was typed; a good one stores the
// new PIN and goes back to the first page. Return in any field saves.
SettingsPage {
    id: page
    objectName: "parentalControlView"
    title: "Parental Control"
    initialFocus: currentEntry.field
    initialFocusByClick: true

    property string error

    // `byKey`: the keyboard asked, so the first page's row shows its ring on return.
    function save(byKey: bool) {
        if (!SettingsRules.canSavePin(currentEntry.text, newEntry.text))
            return
        page.error = SettingsRules.pinSaveError(currentEntry.text, AppStore.parentalPIN, newEntry.text, confirmEntry.text)
        if (page.error.length > 0)
            return
        AppStore.parentalPIN = newEntry.text
        page.leave(byKey)
    }

    Column {
        x: 24
        y: 24
        width: parent.width - 48
        spacing: 16

        PlainText {
            width: parent.width
            text: "Change your parental PIN. It locks adult Live TV categories. Default PIN: " + SettingsRules.defaultPin
            font.pixelSize: Fonts.body
            color: MavuColor.textDim
            wrapMode: Text.Wrap
        }

        FormEntry {
            id: currentEntry
            width: 220
            label: "Current PIN"
            fieldName: "currentPin"
            fieldColor: MavuColor.panel
            secure: true
            onAccepted: page.save(true)
        }
        FormEntry {
            id: newEntry
            width: 220
            label: "New PIN"
            fieldName: "newPin"
            fieldColor: MavuColor.panel
            secure: true
            onAccepted: page.save(true)
        }
        FormEntry {
            id: confirmEntry
            width: 220
            label: "Confirm new PIN"
            fieldName: "confirmPin"
            fieldColor: MavuColor.panel
            secure: true
            onAccepted: page.save(true)
        }

        PlainText {
            objectName: "pinError"
            width: parent.width
            visible: page.error.length > 0
            text: page.error
            font.pixelSize: Fonts.caption
            color: "red"
            wrapMode: Text.Wrap
        }

        MavuButtonStyle {
            objectName: "savePin"
            filled: true
            text: "Save PIN"
            font.weight: Font.DemiBold
            enabled: SettingsRules.canSavePin(currentEntry.text, newEntry.text)
            onClicked: page.save(visualFocus)
        }
    }
}
