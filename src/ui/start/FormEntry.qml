import QtQuick
import QtQuick.Controls.Basic
import Mavu

// One labelled single-line field of a form, without platform chrome; an amber outline while
// it has focus.
Column {
    id: entry
    property string label
    property alias text: input.text
    property alias placeholder: input.placeholderText
    property alias fieldName: input.objectName
    property bool secure: false
    // The field's face: ink on the check screen's card, panel on the ink of a settings page.
    property color fieldColor: MavuColor.ink
    signal accepted()
    // The text field itself, for whoever gives it the keyboard.
    property alias field: input

    spacing: 3

    PlainText {
        text: entry.label
        font.pixelSize: Fonts.caption2
        color: MavuColor.textDim
    }
    TextField {
        id: input
        width: parent.width
        padding: 9
        font.pixelSize: Fonts.body
        color: MavuColor.text
        placeholderTextColor: MavuColor.textDim
        selectionColor: MavuColor.amber
        selectedTextColor: MavuColor.ink
        echoMode: entry.secure ? TextInput.Password : TextInput.Normal
        Accessible.name: entry.label
        onAccepted: entry.accepted()
        background: Rectangle {
            radius: Metrics.fieldRadius
            color: entry.fieldColor
            border.width: input.activeFocus ? Metrics.focusRingWidth : 0
            border.color: MavuColor.amber
        }
    }
}
