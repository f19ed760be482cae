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

    readonly property var entries: tracks.length === 0 && emptyText.length > 0
                                   ? [{ index: -1, name: emptyText, inert: true }] : tracks

    onActivated: menu.open()

    Menu {
        id: menu
        objectName: "menu"
        y: -implicitHeight - 4

        Instantiator {
            model: root.entries
            delegate: MenuItem {
                required property var modelData
                objectName: modelData.inert ? "emptyEntry" : "trackEntry"
                text: modelData.name
                enabled: !modelData.inert
                onTriggered: {
                    root.chosen(modelData.index)
                    root.chosenName(modelData.name)
                }
            }
            onObjectAdded: (index, object) => menu.insertItem(index, object)
            onObjectRemoved: (index, object) => menu.removeItem(object)
        }
    }
}
