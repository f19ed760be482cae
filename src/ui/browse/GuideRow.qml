import QtQuick
import Mavu

// One channel of the guide grid: number, logo and name on the left, its programmes to the right
// laid out by time. Only the programmes of the hours loaded around the view exist as cells.
// The list reuses rows, and a row keeps its cell faces, handing them the programmes of whatever
// channel it shows next: scrolling rebinds faces instead of making them.
// The row of the channel that plays is tinted; a click picks a programme, a double click opens it.
Item {
    id: row
    objectName: "guideRow"
    required property int index
    required property mediaItem channel
    required property var cells
    required property bool loaded
    readonly property GuideGridModel grid: AppStore.guide.grid
    readonly property real channelWidth: Metrics.guideChannelWidth
    // The grid x at the left edge of the programmes.
    readonly property real timeX: grid.scrollX
    readonly property bool playing: AppStore.hasNowPlaying && AppStore.nowPlaying.id === channel.id && AppStore.nowPlaying.isLive
    readonly property bool focusedRow: grid.focusRow === index
    // The pool only grows, a face at a time: a row shown again makes nothing, and a row with a
    // cell more than before makes just that face (a Repeater over a count would remake them all).
    function growPool() {
        while (pool.count < cells.length)
            pool.append({})
    }
    onCellsChanged: growPool()
    Component.onCompleted: growPool()

    Rectangle {
        anchors.fill: parent
        visible: row.playing
        color: MavuColor.alpha(MavuColor.amber, 0.08)
    }

    Item {
        id: track
        objectName: "guideTrack"
        x: row.channelWidth
        width: row.width - row.channelWidth
        height: parent.height
        clip: true

        Item {
            x: -row.timeX
            y: 3
            height: parent.height - 6

            Repeater {
                model: ListModel {
                    id: pool
                }
                onItemAdded: (index, item) => (item as GuideCellFace).cells = Qt.binding(() => row.cells)
                GuideCellFace {
                    height: parent ? parent.height : 0
                }
            }
            // An empty slot (a gap or no guide) still shows where the focus is.
            Rectangle {
                objectName: "guideSlot"
                visible: row.focusedRow && !row.grid.hasFocusedProgram
                x: row.grid.focusX
                width: 30 * row.grid.pixelsPerMinute
                height: parent.height
                radius: 4
                color: "transparent"
                border.width: 2
                border.color: MavuColor.amber
            }
        }
        PlainText {
            objectName: "noProgrammes"
            x: 10
            anchors.verticalCenter: parent.verticalCenter
            visible: row.loaded && row.cells.length === 0
            text: "No programme info"
            font.pixelSize: Fonts.caption
            color: MavuColor.textDim
        }

        TapHandler {
            onSingleTapped: eventPoint => row.pick(eventPoint.position.x)
            onDoubleTapped: eventPoint => {
                row.pick(eventPoint.position.x)
                row.grid.activate()
            }
        }
    }

    function pick(x: real) {
        grid.focusAt(index, timeX + x)
        ListView.view.forceActiveFocus(Qt.MouseFocusReason)
    }

    Rectangle {
        objectName: "guideChannel"
        width: row.channelWidth - 6
        height: parent.height - 6
        x: 4
        y: 3
        radius: Metrics.rowRadius
        color: row.playing ? MavuColor.amber : MavuColor.alpha(MavuColor.panel, 0.7)

        ChannelRowFace {
            x: 6
            anchors.verticalCenter: parent.verticalCenter
            item: row.channel
            number: LiveRules.itemNumber(row.channel, row.index)
            selected: row.playing
            favorite: AppStore.favoritesRevision >= 0 && AppStore.isFavorite(row.channel)
            name: row.channel.name
            nameFont.pixelSize: Fonts.callout
            nameFont.bold: row.playing
            availableWidth: parent.width - 12
        }
    }
}
