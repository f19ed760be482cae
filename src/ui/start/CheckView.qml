import QtQuick
import QtQuick.Controls.Basic
import Mavu

// The first screen: this device's identifier, whether a playlist is attached, START, and the
// manual connection form behind a toggle.
Item {
    id: root
    objectName: "checkView"
    property bool showManual: false

    readonly property string statusText: {
        if (AppStore.hasPlaylist)
            return "Tap START to open your library."
        if (AppStore.statusLoaded)
            return "No playlist is attached to this device yet.\nAttach one to this MAC on " + UiRules.attachAddress
                    + ", or connect a playlist manually below."
        return ""
    }

    Component.onCompleted: {
        if (!AppStore.statusLoaded)
            AppStore.runStart()
    }

    Rectangle {
        anchors.fill: parent
        color: MavuColor.ink
        opacity: 0.5
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
            color: Qt.rgba(MavuColor.panel.r, MavuColor.panel.g, MavuColor.panel.b, 0.6)
            border.width: 1
            border.color: Qt.rgba(1, 1, 1, 0.1)

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

                Text {
                    id: macText
                    objectName: "macText"
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: AppStore.mac
                    font.family: Fonts.monospace
                    font.pixelSize: 26
                    font.bold: true
                    color: MavuColor.text
                }

                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: "YOUR MAC ADDRESS"
                    font.pixelSize: Fonts.caption
                    color: MavuColor.textDim
                }

                Text {
                    id: statusText
                    objectName: "statusText"
                    anchors.horizontalCenter: parent.horizontalCenter
                    width: Math.min(implicitWidth, 460)
                    visible: text.length > 0
                    text: root.statusText
                    font.pixelSize: Fonts.callout
                    color: MavuColor.textDim
                    horizontalAlignment: Text.AlignHCenter
                    wrapMode: Text.WordWrap
                }

                MavuButtonStyle {
                    objectName: "startButton"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: AppStore.hasPlaylist
                    width: 200
                    filled: true
                    text: "START"
                    font.bold: true
                    onClicked: AppStore.runEnterBrowse()
                }

                Spinner {
                    objectName: "statusSpinner"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: !AppStore.hasPlaylist && !AppStore.statusLoaded
                    size: 22
                }

                Text {
                    objectName: "manualToggle"
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: root.showManual ? "Hide" : "Connect a playlist manually"
                    font.pixelSize: Fonts.callout
                    color: MavuColor.amber
                    TapHandler {
                        onTapped: root.showManual = !root.showManual
                    }
                    HoverHandler {
                        cursorShape: Qt.PointingHandCursor
                    }
                }

                ManualConnect {
                    objectName: "manualConnect"
                    anchors.horizontalCenter: parent.horizontalCenter
                    visible: root.showManual
                }

                Text {
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

    // The way back to the library after "Change playlist", above everything else.
    Rectangle {
        objectName: "backButton"
        visible: AppStore.checkCanGoBack
        x: 20
        y: 20
        z: 10
        width: backRow.implicitWidth + 28
        height: backRow.implicitHeight + 16
        radius: height / 2
        color: MavuColor.amber

        Row {
            id: backRow
            anchors.centerIn: parent
            spacing: 6
            SymbolIcon {
                anchors.verticalCenter: parent.verticalCenter
                name: "chevron.left"
                size: Fonts.headline
                bold: true
                color: MavuColor.ink
            }
            Text {
                anchors.verticalCenter: parent.verticalCenter
                text: "Back"
                font.pixelSize: Fonts.headline
                font.bold: true
                color: MavuColor.ink
            }
        }
        TapHandler {
            onTapped: {
                AppStore.checkCanGoBack = false
                AppStore.goHome()
            }
        }
    }
}
