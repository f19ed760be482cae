import QtQuick
import Mavu

// Live TV's two views of the selected category, side by side as a pair of capsules: the channel
// list and the guide grid. The one showing is amber and takes the keyboard when the switch gets
// it; Left and Right go from one to the other.
FocusScope {
    id: viewSwitch
    implicitWidth: chips.implicitWidth
    implicitHeight: chips.implicitHeight

    Row {
        id: chips
        spacing: 4

        LiveViewChip {
            id: channelsChip
            objectName: "channelsViewButton"
            text: "Channels"
            symbol: "list.bullet"
            selected: !AppStore.liveGuide
            focus: selected
            onClicked: AppStore.liveGuide = false
            Keys.onRightPressed: guideChip.forceActiveFocus(Qt.TabFocusReason)
        }
        LiveViewChip {
            id: guideChip
            objectName: "guideViewButton"
            text: "Guide"
            symbol: "calendar"
            selected: AppStore.liveGuide
            focus: selected
            onClicked: AppStore.liveGuide = true
            Keys.onLeftPressed: channelsChip.forceActiveFocus(Qt.BacktabFocusReason)
        }
    }
}
