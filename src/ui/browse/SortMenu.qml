import QtQuick
import QtQuick.Controls.Basic
import Mavu

// The grid's ordering: a borderless button naming the current order, opening a menu of the
// five orders. Choosing one re-orders the grid at once.
MavuButton {
    id: control
    objectName: "sortButton"

    text: BrowseRules.sortTitle(AppStore.vodSort)
    faceRadius: 6
    padding: 4
    font.pixelSize: Fonts.callout
    opacity: down ? Metrics.pressedOpacity : 1.0

    contentItem: Row {
        spacing: 6
        SymbolIcon {
            anchors.verticalCenter: parent.verticalCenter
            name: "arrow.up.arrow.down"
            size: control.font.pixelSize
            color: MavuColor.amber
        }
        PlainText {
            objectName: "sortTitle"
            anchors.verticalCenter: parent.verticalCenter
            text: control.text
            font: control.font
            color: MavuColor.amber
        }
    }

    onClicked: menu.popup(control, 0, control.height + 4)

    Menu {
        id: menu
        objectName: "sortMenu"
        padding: 6
        // The keyboard goes back to the button that opened the menu.
        onClosed: {
            if (control.visible)
                control.forceActiveFocus(control.visualFocus ? Qt.TabFocusReason : Qt.OtherFocusReason)
        }

        background: Rectangle {
            implicitWidth: 190
            radius: Metrics.fieldRadius
            color: MavuColor.panel
            border.width: 1
            border.color: MavuColor.alpha("white", Metrics.hairlineOpacity)
        }

        Instantiator {
            model: BrowseRules.sortOrders
            delegate: SortMenuEntry {}
            onObjectAdded: (index, object) => menu.insertItem(index, object as MenuItem)
            onObjectRemoved: (index, object) => menu.removeItem(object as MenuItem)
        }
    }
}
