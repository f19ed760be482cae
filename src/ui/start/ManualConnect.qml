import QtQuick
import Mavu

// Host, user name and password typed by hand; the store tries them and reports back.
// Return in any field connects, as the button does. While it tries, a spinner turns beside
// the button and the button cancels: it keeps the keyboard focus either way.
Column {
    id: root
    property alias host: hostEntry.text
    property alias user: userEntry.text
    property alias pass: passEntry.text
    readonly property bool canConnect: host.length > 0 && !AppStore.connecting
    // This form started the attempt that is running (START may start one too).
    property bool startedHere: false
    readonly property bool running: startedHere && AppStore.connecting

    width: 420
    spacing: 10
    topPadding: 6

    function connect() {
        if (!canConnect)
            return
        startedHere = true
        AppStore.runConnect(UiRules.manualHost(host), UiRules.manualUser(user), pass, true)
    }

    Connections {
        target: AppStore
        function onConnectingChanged() {
            if (!AppStore.connecting)
                root.startedHere = false
        }
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
        id: connectButton
        objectName: "connectButton"
        anchors.horizontalCenter: parent.horizontalCenter
        width: 160
        filled: !root.running
        text: root.running ? "Cancel" : "Connect"
        font.weight: Font.DemiBold
        enabled: root.running || root.canConnect
        onClicked: {
            if (root.running)
                AppStore.cancelConnect()
            else
                root.connect()
        }

        Spinner {
            objectName: "connectSpinner"
            anchors.right: parent.left
            anchors.rightMargin: 14
            anchors.verticalCenter: parent.verticalCenter
            visible: root.running
            size: Metrics.spinnerSmall
        }
    }
}
