import QtQuick
import Mavu

// A search input on a panel: the magnifier, the typed text (the prompt while there is none)
// and, once something is typed, a button that clears it. The caller owns the text: it binds
// `text` to its value and writes what `edited` hands it, at every keystroke.
FocusScope {
    id: root
    property string text
    property string prompt

    signal edited(string text)

    implicitWidth: Metrics.searchMaxWidth
    implicitHeight: Math.max(input.implicitHeight, clear.implicitHeight) + 12

    // Gives the input the keyboard, its cursor at the end.
    function focusField(reason: int) {
        input.forceActiveFocus(reason)
        input.cursorPosition = input.length
    }

    // Appends text typed elsewhere (into the grid) and goes on from there.
    function typeText(typed: string) {
        root.edited(root.text + typed)
        focusField(Qt.ShortcutFocusReason)
    }

    Rectangle {
        anchors.fill: parent
        radius: Metrics.fieldRadius
        color: MavuColor.panel
    }

    FocusRing {
        objectName: "searchFocusRing"
        visible: input.activeFocus
        faceRadius: Metrics.fieldRadius
    }

    SymbolIcon {
        id: magnifier
        x: 9
        anchors.verticalCenter: parent.verticalCenter
        name: "magnifyingglass"
        size: Fonts.caption
        color: MavuColor.textDim
    }

    TextInput {
        id: input
        objectName: "searchInput"
        anchors.left: magnifier.right
        anchors.leftMargin: 6
        anchors.right: clear.visible ? clear.left : parent.right
        anchors.rightMargin: clear.visible ? 6 : 9
        anchors.verticalCenter: parent.verticalCenter
        focus: true
        activeFocusOnTab: true
        text: root.text
        color: MavuColor.text
        selectionColor: MavuColor.amber
        selectedTextColor: MavuColor.ink
        font.pixelSize: Fonts.body
        clip: true
        selectByMouse: true
        Accessible.name: root.prompt
        onTextEdited: root.edited(text)

        PlainText {
            objectName: "searchPrompt"
            anchors.fill: parent
            verticalAlignment: Text.AlignVCenter
            visible: input.length === 0 && input.preeditText.length === 0
            text: root.prompt
            font: input.font
            color: MavuColor.textDim
            elide: Text.ElideRight
        }
    }

    MavuButton {
        id: clear
        objectName: "searchClear"
        anchors.right: parent.right
        anchors.rightMargin: 9
        anchors.verticalCenter: parent.verticalCenter
        visible: root.text.length > 0
        text: "Clear search"
        padding: 0
        faceRadius: height / 2
        contentItem: SymbolIcon {
            name: "xmark.circle.fill"
            size: Fonts.caption
            color: MavuColor.textDim
        }
        onClicked: {
            root.edited("")
            root.focusField(Qt.OtherFocusReason)
        }
    }
}
