import QtQuick
import QtQuick.Controls.Basic
import Mavu

// A settings page's list of entries to choose from: one Tab stop, the arrow keys move through
// it, rows 6 apart inside the page's padding.
FocusListView {
    spacing: Metrics.choiceRowSpacing
    topMargin: Metrics.sheetPadding
    bottomMargin: Metrics.sheetPadding
    leftMargin: Metrics.sheetPadding
    rightMargin: Metrics.sheetPadding
    ScrollBar.vertical: ScrollBar {}
}
