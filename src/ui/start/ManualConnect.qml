import QtQuick
import QtQuick.Controls.Basic
import Mavu

// Host, user name and password typed by hand; the store tries them and reports back.
Column {
    id: root
    property alias host: hostEntry.text
    property alias user: userEntry.text
    property alias pass: passEntry.text

    width: 420
    spacing: 10
    topPadding: 6

    component Entry: Column {
        id: entry
        property string label
        property alias text: input.text
        property alias placeholder: input.placeholderText
        property alias fieldName: input.objectName
        property bool secure: false

        width: root.width
        spacing: 3
        Text {
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
            background: Rectangle {
                radius: 8
                color: MavuColor.ink
            }
        }
    }

    Entry {
        id: hostEntry
        label: "Server address"
        fieldName: "hostField"
        placeholder: "http://" + UiRules.exampleHost + ":8080"
    }
    Entry {
        id: userEntry
        label: "Username"
        fieldName: "userField"
        placeholder: "username"
    }
    Entry {
        id: passEntry
        label: "Password"
        fieldName: "passField"
        secure: true
    }

    Text {
        objectName: "connectError"
        width: parent.width
        visible: AppStore.connectError.length > 0
        text: AppStore.connectError
        font.pixelSize: Fonts.caption
        color: "red"
        wrapMode: Text.WordWrap
    }

    MavuButtonStyle {
        objectName: "connectButton"
        anchors.horizontalCenter: parent.horizontalCenter
        width: 160
        filled: true
        text: "Connect"
        font.weight: Font.DemiBold
        enabled: root.host.length > 0 && !AppStore.connecting
        onClicked: AppStore.runConnect(UiRules.manualHost(root.host), UiRules.manualUser(root.user), root.pass, true)
    }
}
