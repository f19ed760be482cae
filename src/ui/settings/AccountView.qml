import QtQuick
import Mavu

// The device identifier and the connected playlist's host, as a grouped form.
SettingsPage {
    id: page
    objectName: "accountView"
    title: "Account"

    Rectangle {
        x: Metrics.sheetPadding
        y: Metrics.sheetPadding
        width: parent.width - 2 * Metrics.sheetPadding
        height: form.height
        radius: Metrics.settingRowRadius
        color: MavuColor.panel

        Column {
            id: form
            width: parent.width

            AccountRow {
                width: parent.width
                label: "Device (MAC)"
                value: AppStore.mac
                valueName: "accountMac"
                valueFont.family: Fonts.monospace
            }
            Rectangle {
                x: 16
                width: parent.width - 32
                height: 1
                color: MavuColor.alpha("white", Metrics.hairlineOpacity)
            }
            AccountRow {
                width: parent.width
                label: "Playlist"
                value: SettingsRules.accountPlaylist(AppStore.hasPlaylist, AppStore.playlist.host)
                valueName: "accountPlaylist"
            }
        }
    }
}
