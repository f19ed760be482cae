import QtQuick
import Mavu

// One row of the settings sheet's first page: a symbol, the title, an optional detail and a
// chevron on a panel, outlined in amber while the pointer is over it. The whole row is the
// button.
MavuButton {
    id: control
    // The symbol name at the left.
    property string symbol
    // What the row says at its right; nothing when empty.
    property string detail
    // The pointer is over the row.
    readonly property bool hover: hovered

    faceRadius: Metrics.settingRowRadius
    topPadding: 13
    bottomPadding: 13
    leftPadding: 16
    rightPadding: 16
    font.pixelSize: Fonts.body

    background: Rectangle {
        radius: Metrics.settingRowRadius
        color: MavuColor.panel
        border.width: 1.2
        border.color: MavuColor.alpha(MavuColor.amber, control.hover ? 0.7 : 0)
    }

    contentItem: SettingRowFace {
        symbol: control.symbol
        title: control.text
        detail: control.detail
        font: control.font
    }
}
