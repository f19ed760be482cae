import QtQuick
import Mavu

// Why a place of a screen has nothing to show, in words, with Retry: what a screen shows in
// place of emptiness when its request failed. Visible only while the place has a failure.
//
//   FailurePanel {
//       failure: AppStore.failures.items
//       onRetry: AppStore.failures.retryItems()
//   }
//
// Retry is a button like any other: Tab reaches it; Enter, Return and Space press it. `compact`
// suits a row or a column (text and button side by side, left-aligned); otherwise the panel
// centres a warning sign, the text and the button.
FocusScope {
    id: root
    required property placeFailure failure
    property bool compact: false
    property string retryText: "Retry"
    // Room above the panel, taken only while it shows (below a list's rows, say).
    property real topPadding: 0
    signal retry()

    visible: failure.failed
    implicitWidth: grid.implicitWidth
    implicitHeight: visible ? grid.implicitHeight + topPadding : 0
    Accessible.role: Accessible.AlertMessage
    Accessible.name: failure.text

    Grid {
        id: grid
        // As wide as what it holds: centred in a wider panel, or at its left when compact.
        x: root.compact ? 0 : Math.max(0, (root.width - width) / 2)
        y: root.topPadding
        columns: root.compact ? 2 : 1
        columnSpacing: 14
        rowSpacing: 12
        horizontalItemAlignment: root.compact ? Grid.AlignLeft : Grid.AlignHCenter
        verticalItemAlignment: Grid.AlignVCenter

        SymbolIcon {
            visible: !root.compact
            name: "exclamationmark.triangle"
            size: Fonts.title2
            color: MavuColor.amber
        }
        PlainText {
            objectName: "failureText"
            width: Math.min(implicitWidth, root.compact ? root.width - retryButton.width - grid.columnSpacing : root.width)
            text: root.failure.text
            font.pixelSize: root.compact ? Fonts.callout : Fonts.body
            color: root.compact ? MavuColor.textDim : MavuColor.text
            horizontalAlignment: root.compact ? Text.AlignLeft : Text.AlignHCenter
            wrapMode: Text.WordWrap
        }
        MavuButtonStyle {
            id: retryButton
            objectName: "retryButton"
            focus: true
            topPadding: root.compact ? 6 : 10
            bottomPadding: root.compact ? 6 : 10
            font.pixelSize: root.compact ? Fonts.callout : Fonts.body
            text: root.retryText
            onClicked: root.retry()
        }
    }
}
