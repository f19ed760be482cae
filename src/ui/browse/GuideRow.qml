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
    // The view's grid.
    property GuideGridModel grid: AppStore.guide.grid
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

        Item {
            x: -row.timeX
            y: 3
            height: parent.height - 6

            Repeater {
                id: boxes
                model: ListModel {
                    id: pool
                }
                // Rows made while the view incubates make their boxes and texts in either order:
                // whichever comes second joins the pair.
                onItemAdded: (index, item) => {
                    const face = item as GuideCellFace
                    face.cells = Qt.binding(() => row.cells)
                    const text = texts.itemAt(index) as GuideCellText
                    if (text)
                        text.face = face
                }
                GuideCellFace {
                    height: parent ? parent.height : 0
                }
            }
            // The texts after all the boxes: each kind of text of a row is drawn in one go.
            Repeater {
                id: texts
                model: pool
                onItemAdded: (index, item) => (item as GuideCellText).face = boxes.itemAt(index) as GuideCellFace
                GuideCellText {}
            }
            // An empty slot (a gap or no guide) still shows where the focus is.
            Rectangle {
                objectName: "guideSlot"
                visible: row.focusedRow && !row.grid.hasFocusedProgram
                x: Math.max(row.grid.focusX, row.timeX)
                width: Math.max(0, row.grid.focusX + 30 * row.grid.pixelsPerMinute - x)
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
            // Most rows have programmes: they lay out no words they do not show.
            text: visible ? "No programme info" : ""
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

    // Number, logo, name, then the archive clock and the favourite star: placed by hand, as
    // every row of the view makes one, and a mark that is not shown lays out no glyph.
    Rectangle {
        id: channelBox
        objectName: "guideChannel"
        width: row.channelWidth - 6
        height: parent.height - 6
        x: 4
        y: 3
        radius: Metrics.rowRadius
        color: row.playing ? MavuColor.amber : MavuColor.alpha(MavuColor.panel, 0.7)

        readonly property bool archive: row.channel.tvArchive
        readonly property bool favorite: AppStore.favoritesRevision >= 0 && AppStore.isFavorite(row.channel)
        // The marks' width and the gap between them and the name.
        readonly property real marksWidth: (archive ? archiveMark.implicitWidth : 0) + (favorite ? favoriteMark.implicitWidth : 0)
                                           + (archive && favorite ? 6 : 0)

        PlainText {
            objectName: "channelNumber"
            x: 6
            anchors.verticalCenter: parent.verticalCenter
            width: 28
            horizontalAlignment: Text.AlignRight
            text: String(LiveRules.itemNumber(row.channel, row.index))
            font.pixelSize: Fonts.caption
            font.family: Fonts.monospace
            color: row.playing ? MavuColor.alpha(MavuColor.ink, 0.7) : MavuColor.textDim
        }
        ChannelLogo {
            x: 42
            anchors.verticalCenter: parent.verticalCenter
            icon: row.channel.icon
        }
        PlainText {
            id: name
            objectName: "channelName"
            x: 80
            anchors.verticalCenter: parent.verticalCenter
            width: Math.max(0, channelBox.width - 12 - 82 - channelBox.marksWidth)
            text: row.channel.name
            font.pixelSize: Fonts.callout
            font.bold: row.playing
            color: row.playing ? MavuColor.ink : MavuColor.text
            elide: Text.ElideRight
        }
        SymbolGlyph {
            id: archiveMark
            objectName: "archiveMark"
            x: name.x + name.width + 8
            anchors.verticalCenter: parent.verticalCenter
            visible: channelBox.archive
            name: channelBox.archive ? "clock.arrow.circlepath" : ""
            size: Fonts.caption2
            color: row.playing ? MavuColor.alpha(MavuColor.ink, 0.7) : MavuColor.textDim
        }
        SymbolGlyph {
            id: favoriteMark
            objectName: "favoriteMark"
            x: name.x + name.width + 8 + (channelBox.archive ? archiveMark.implicitWidth + 6 : 0)
            anchors.verticalCenter: parent.verticalCenter
            visible: channelBox.favorite
            name: channelBox.favorite ? "star.fill" : ""
            size: Fonts.caption2
            color: row.playing ? MavuColor.ink : MavuColor.amber
        }
    }
}
