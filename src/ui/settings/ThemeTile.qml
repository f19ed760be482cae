import QtQuick
import Mavu

// One theme: its thumbnail (or the wordmark when it has no picture) over its name. The chosen
// one has an amber border and a check mark; a click chooses it.
MavuButton {
    id: control
    required property theme modelData
    required property int index
    readonly property bool chosen: index === AppStore.themeIndex

    objectName: "theme" + index
    text: modelData.name
    focusPolicy: Qt.ClickFocus
    faceRadius: Metrics.settingRowRadius
    padding: 0
    opacity: down ? Metrics.pressedOpacity : 1.0
    Accessible.checkable: true
    Accessible.checked: chosen

    contentItem: ThemeTileFace {
        theme: control.modelData
        chosen: control.chosen
    }

    onClicked: AppStore.themeIndex = index
}
