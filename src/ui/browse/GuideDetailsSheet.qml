import QtQuick
import QtQuick.Controls.Basic
import QtQuick.Templates as T
import Mavu

// A programme still to come, from the guide grid: its channel, title, day and time, and the
// whole description. Close, Escape or a click beside it closes the sheet.
Popup {
    id: sheet
    property string channelName
    property guideProgram program
    property string day

    anchors.centerIn: parent
    width: Math.min(520, parent ? parent.width - 80 : 520)
    padding: 26
    modal: true
    focus: true
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

    T.Overlay.modal: Rectangle {
        color: MavuColor.alpha("black", Metrics.backdropOpacity)
    }
    background: Rectangle {
        radius: Metrics.sheetRadius
        color: MavuColor.ink
        border.width: 1
        border.color: MavuColor.alpha("white", Metrics.hairlineOpacity)
    }

    contentItem: GuideDetailsFace {
        channelName: sheet.channelName
        program: sheet.program
        day: sheet.day
        onCloseRequested: sheet.close()
    }
}
