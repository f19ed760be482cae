import QtQuick
import Mavu

// Host, user name and password typed by hand; the store tries them and reports back.
// Return in any field connects, as the button does.
Column {
    id: root
    property alias host: hostEntry.text
    property alias user: userEntry.text
    property alias pass: passEntry.text
    readonly property bool canConnect: host.length > 0 && !AppStore.connecting

    width: 420
    spacing: 10
    topPadding: 6

    function connect() {
        if (canConnect)
            AppStore.runConnect(UiRules.manualHost(host), UiRules.manualUser(user), pass, true)
    }

    FormEntry {
        id: hostEntry
        width: root.width
        label: "Server address"
        fieldName: "hostField"
        placeholder: "http://" + UiRules.exampleHost + ":8080"
        onAccepted: root.connect()
    }
    FormEntry {
        id: userEntry
        width: root.width
        label: "Username"
        fieldName: "userField"
        placeholder: "username"
        onAccepted: root.connect()
    }
    FormEntry {
        id: passEntry
        width: root.width
        label: "Password"
        fieldName: "passField"
        secure: true
        onAccepted: root.connect()
    }

    PlainText {
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
        enabled: root.canConnect
        onClicked: root.connect()
    }
}
