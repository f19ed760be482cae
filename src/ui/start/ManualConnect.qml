import QtQuick
import QtQuick.Dialogs
import Mavu

// A provider account (host, user name and password) or a plain M3U list (an address, or a
// file chosen with the desktop's dialog) typed by hand; the store tries it and reports back.
// Return in any field connects, as the button does. While it tries, a spinner turns beside
// the button and the button cancels: it keeps the keyboard focus either way.
Column {
    id: root
    property alias host: hostEntry.text
    property alias user: userEntry.text
    property alias pass: passEntry.text
    property alias m3u: m3uEntry.text
    // The form asks for a plain M3U list instead of a provider account.
    property bool m3uMode: false
    // A provider's own list address typed as an M3U list: its account, or an empty map.
    readonly property var providerAccount: m3uMode ? UiRules.providerOfM3u(m3u) : ({})
    readonly property bool providerRecognised: providerAccount.host !== undefined
    readonly property bool canConnect: (m3uMode ? UiRules.manualUser(m3u).length > 0 : host.length > 0)
                                       && !AppStore.connecting
    // This form started the attempt that is running (START may start one too).
    property bool startedHere: false
    readonly property bool running: startedHere && AppStore.connecting
    // The list this form tried last could not be read: the button tries it again.
    property bool m3uFailed: false

    width: 420
    spacing: 10
    topPadding: 6

    function connect() {
        if (!canConnect)
            return
        startedHere = true
        if (m3uMode)
            AppStore.runConnectM3u(UiRules.manualUser(m3u), true)
        else
            AppStore.runConnect(UiRules.manualHost(host), UiRules.manualUser(user), pass, true)
    }

    // The account behind a provider's list address fills the provider form, which connects
    // it with its categories, details and catch-up.
    function useProviderAccount() {
        const account = providerAccount
        hostEntry.text = account.host
        userEntry.text = account.user
        passEntry.text = account.pass
        m3uMode = false
        connectButton.forceActiveFocus()
    }

    onM3uModeChanged: m3uFailed = false

    Connections {
        target: AppStore
        function onConnectingChanged() {
            if (!AppStore.connecting) {
                root.m3uFailed = root.startedHere && root.m3uMode && AppStore.hasConnectError
                root.startedHere = false
            }
        }
    }

    Row {
        objectName: "kindChoice"
        anchors.horizontalCenter: parent.horizontalCenter
        spacing: 8

        MavuButtonStyle {
            objectName: "providerChoice"
            width: (root.width - 8) / 2
            text: "Provider account"
            filled: !root.m3uMode
            Accessible.role: Accessible.RadioButton
            Accessible.checked: !root.m3uMode
            onClicked: root.m3uMode = false
        }
        MavuButtonStyle {
            objectName: "m3uChoice"
            width: (root.width - 8) / 2
            text: "M3U playlist"
            filled: root.m3uMode
            Accessible.role: Accessible.RadioButton
            Accessible.checked: root.m3uMode
            onClicked: root.m3uMode = true
        }
    }

    FormEntry {
        id: m3uEntry
        visible: root.m3uMode
        width: root.width
        label: "Playlist address or file"
        fieldName: "m3uField"
        placeholder: "http://" + UiRules.exampleHost + "/playlist.m3u"
        onAccepted: root.connect()
    }
    Connections {
        target: m3uEntry.field
        function onTextEdited() {
            root.m3uFailed = false
        }
    }

    MavuButtonStyle {
        objectName: "chooseFileButton"
        visible: root.m3uMode
        anchors.horizontalCenter: parent.horizontalCenter
        text: "Choose a file…"
        onClicked: fileDialog.open()
    }

    FileDialog {
        id: fileDialog
        title: "Choose an M3U playlist"
        nameFilters: ["Playlists (*.m3u *.m3u8 *.m3u.gz)", "All files (*)"]
        onAccepted: {
            m3uEntry.text = UiRules.localPath(selectedFile)
            root.m3uFailed = false
        }
    }

    Column {
        objectName: "providerNotice"
        visible: root.providerRecognised
        width: root.width
        spacing: 6

        PlainText {
            width: parent.width
            text: "This is a provider's own playlist address. Connect it as a provider account instead: better categories, details and catch-up."
            font.pixelSize: Fonts.caption
            color: MavuColor.text
            wrapMode: Text.WordWrap
        }
        MavuButtonStyle {
            objectName: "useProviderButton"
            anchors.horizontalCenter: parent.horizontalCenter
            text: "Use as provider account"
            onClicked: root.useProviderAccount()
        }
    }

    FormEntry {
        id: hostEntry
        visible: !root.m3uMode
        width: root.width
        label: "Server address"
        fieldName: "hostField"
        placeholder: "http://" + UiRules.exampleHost + ":8080"
        onAccepted: root.connect()
    }
    FormEntry {
        id: userEntry
        visible: !root.m3uMode
        width: root.width
        label: "Username"
        fieldName: "userField"
        placeholder: "username"
        onAccepted: root.connect()
    }
    FormEntry {
        id: passEntry
        visible: !root.m3uMode
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
        text: root.running ? "Cancel" : root.m3uFailed ? "Retry" : "Connect"
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
