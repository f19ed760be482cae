import QtQuick
import QtQuick.Controls.Basic
import Mavu

// A symbol that opens a menu of tracks (or of choices); with no tracks it lists only
// `emptyText`, which does nothing.
PlayerButton {
    id: root
    property string emptyText
    property var tracks: [] // [{index, name}]
    signal chosen(int index)
    signal chosenName(string name)

    onActivated: menu.open()

    Menu {
        id: menu
        objectName: "menu"
        y: -implicitHeight - 4

        MenuItem {
            objectName: "emptyEntry"
            visible: root.tracks.length === 0 && root.emptyText.length > 0
            height: visible ? implicitHeight : 0
            text: root.emptyText
        }
        Instantiator {
            model: root.tracks
            delegate: MenuItem {
                required property var modelData
                objectName: "trackEntry"
                text: modelData.name
                onTriggered: {
                    root.chosen(modelData.index)
                    root.chosenName(modelData.name)
                }
            }
            onObjectAdded: (index, object) => menu.insertItem(index + 1, object)
            onObjectRemoved: (index, object) => menu.removeItem(object)
        }
    }
}
