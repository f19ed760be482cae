import QtQuick
import Mavu

// The first screen: this device's identifier, whether a playlist is attached, START, and the
// manual connection form behind a toggle. A device service that did not answer, and a
// playlist that could not be entered (its account refused, its server unreachable), are said
// here with Retry.
FocusScope {
    id: root
    objectName: "checkView"
    property bool showManual: false
    // START's attempt is running (the form's own shows in the form).
    readonly property bool entering: AppStore.connecting && !manualConnect.running
    // Why the last attempt to enter the library failed; in the form while the form is open.
    readonly property bool connectFailureShown: AppStore.failures.connect.failed && !showManual

    Component.onCompleted: {
        if (!AppStore.statusLoaded)
            AppStore.runStart()
    }

    function goBack() {
        AppStore.checkCanGoBack = false
        AppStore.goHome()
    }

    Keys.onEscapePressed: event => {
        event.accepted = AppStore.checkCanGoBack
        if (AppStore.checkCanGoBack)
            root.goBack()
    }

    Backdrop {}

    // The way back to the library after "Change playlist", above everything else and first
    // in the Tab order.
    BackButton {
        objectName: "backButton"
        visible: AppStore.checkCanGoBack
        x: Metrics.screenMargin
        y: Metrics.screenMargin
        z: 10
        showsLabel: true
        onClicked: root.goBack()
    }

    Flickable {
        anchors.fill: parent
        contentWidth: width
        contentHeight: Math.max(height, card.height + 40)
        boundsBehavior: Flickable.StopAtBounds
        clip: true

        Rectangle {
            id: card
            objectName: "checkCard"
            anchors.centerIn: parent
            // As wide as its widest item (the texts wrap at their own limits), at most 620.
            width: Math.min(620, 80 + Math.max(macText.implicitWidth, Math.min(statusText.implicitWidth, 460),
                                               Math.min(disclaimer.implicitWidth, 480), root.showManual ? 420 : 200))
            height: column.implicitHeight + 80
            radius: 24
            color: MavuColor.alpha(MavuColor.panel, 0.6)
            border.width: 1
            border.color: MavuColor.alpha("white", Metrics.hairlineOpacity)

            Column {
                id: column
                anchors.centerIn: parent
                width: parent.width - 80
                spacing: 18

                Item {
                    width: parent.width
                    height: 70
                    MavuWordmark {
                        anchors.centerIn: parent
                        size: 46
                    }
                }

                PlainText {
                    id: macText
                    objectName: "macText"
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: AppStore.mac
                    font.family: Fonts.monospace
                    font.pixelSize: 26
                    font.bold: true
                    color: MavuColor.text
                }

                PlainText {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "YOUR MAC ADDRESS"
                    font.pixelSize: Fonts.caption
                    color: MavuColor.textDim
                }

                PlainText {
                    id: statusText
                    objectName: "statusText"
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: Math.min(implicitWidth, 460)
                    visible: text.length > 0
                    text: root.connectFailureShown ? ""
                        : UiRules.checkStatusLine(AppStore.hasPlaylist, AppStore.statusLoaded,
                                                  AppStore.failures.deviceStatus.failed)
                    font.pixelSize: Fonts.callout
                    color: MavuColor.textDim
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                }

                FailurePanel {
                    objectName: "deviceStatusFailure"
                    width: parent.width
                    visible: failure.failed && !AppStore.hasPlaylist
                    failure: AppStore.failures.deviceStatus
                    onRetry: AppStore.failures.retryStart()
                }

                FailurePanel {
                    objectName: "connectFailure"
                    width: parent.width
                    visible: root.connectFailureShown && !root.entering
                    failure: AppStore.failures.connect
                    onRetry: AppStore.failures.retryConnect()
                }

                // START, or Cancel beside a spinner while it runs: one button, so that the
                // keyboard focus stays on it.
                MavuButtonStyle {
                    objectName: "startButton"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: AppStore.hasPlaylist && (root.entering || !root.connectFailureShown)
                    width: 200
                    filled: !root.entering
                    text: root.entering ? "Cancel" : "START"
                    font.bold: true
                    enabled: root.entering || !AppStore.connecting
                    onClicked: {
                        if (root.entering)
                            AppStore.cancelConnect()
                        else
                            AppStore.runEnterBrowse()
                    }

                    Spinner {
                        objectName: "startSpinner"
                        anchors.right: parent.left
                        anchors.rightMargin: 14
                        anchors.verticalCenter: parent.verticalCenter
                        visible: root.entering
                        size: Metrics.spinnerSmall
                    }
                }

                Spinner {
                    objectName: "statusSpinner"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: !AppStore.hasPlaylist && !AppStore.statusLoaded
                    size: Metrics.spinnerSmall
                }

                MavuButton {
                    id: toggle
                    objectName: "manualToggle"
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: root.showManual ? "Hide" : "Connect a playlist manually"
                    font.pixelSize: Fonts.callout
                    faceRadius: 4
                    contentItem: PlainText {
                        text: toggle.text
                        font: toggle.font
                        color: MavuColor.amber
                    }
                    onClicked: root.showManual = !root.showManual
                }

                ManualConnect {
                    id: manualConnect
                    objectName: "manualConnect"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: root.showManual
                }

                PlainText {
                    id: disclaimer
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: Math.min(implicitWidth, 480)
                    text: "MAVU is a media player only. It does not provide, sell, or host any channels or content — you connect a service you already have."
                    font.pixelSize: Fonts.caption
                    color: MavuColor.textDim
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                }
            }
        }
    }
}
