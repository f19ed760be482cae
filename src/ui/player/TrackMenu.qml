import QtQuick
import QtQuick.Controls.Basic
import Mavu
import Mavu.Core

// A symbol that opens a menu of the player's audio tracks, subtitle tracks or picture shapes.
PlayerButton {
    id: root
    required property PlayerController controller
    property alias kind: entries.kind

    onClicked: menu.open()

    PlayerMenuModel {
        id: entries
        controller: root.controller
    }

    Menu {
        id: menu
        objectName: "menu"
        y: -implicitHeight - 4

        Instantiator {
            model: entries
            delegate: MenuItem {
                id: entry
                required property string name
                required property bool choosable
                objectName: choosable ? "trackEntry" : "emptyEntry"
                text: name
                enabled: choosable
                contentItem: PlainText {
                    leftPadding: entry.indicator ? entry.indicator.width + entry.spacing : 0
                    text: entry.text
                    font: entry.font
                    color: entry.enabled ? entry.palette.windowText : MavuColor.textDim
                    elide: Text.ElideRight
                    verticalAlignment: Text.AlignVCenter
                }
            }
            onObjectAdded: (index, object) => {
                const entry = object as MenuItem
                menu.insertItem(index, entry)
                entry.triggered.connect(() => entries.choose(index))
            }
            onObjectRemoved: (index, object) => menu.removeItem(object as MenuItem)
        }
    }
}
