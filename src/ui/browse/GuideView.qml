import QtQuick
import QtQuick.Controls.Basic
import Mavu

// The guide grid of the selected category: the view switch and the guide's import state on
// top, the half-hour time header, a row a channel with its programmes across, a line at "now",
// and the focused programme's description below. The bottom-right corner is left to the live
// preview (`cornerWidth` × `cornerHeight`), which the live columns lay there.
// The keys go to the grid model, which moves the focus; the view follows it. Up from the first
// row reaches the view switch.
FocusScope {
    id: view
    objectName: "guideView"

    property real cornerWidth: 0
    property real cornerHeight: 0
    // The store's grid; the warm-up gives one of its own, so drawing unseen moves nothing here.
    property GuideGridModel grid: AppStore.guide.grid
    readonly property real channelWidth: Metrics.guideChannelWidth
    readonly property real rowHeight: Metrics.guideRowHeight
    readonly property real trackWidth: Math.max(0, width - channelWidth)
    // The grid x at the left edge of the programmes.
    readonly property real timeX: grid.scrollX
    property bool opened: false
    // Set once the first frame is under way: the scroll bar, the import line, the description
    // and the rows beyond the screen are made then, so that the rows in view draw first.
    property bool settled: false

    function focusGrid(reason: int) {
        rows.forceActiveFocus(reason)
    }

    // The grid's rows and hours in view, for the model to read the programmes around them.
    function reportViewport() {
        if (rows.height <= 0 || trackWidth <= 0)
            return
        const first = Math.max(0, Math.floor(rows.contentY / rowHeight))
        const last = Math.min(grid.count - 1, Math.floor((rows.contentY + rows.height - 1) / rowHeight))
        grid.setViewport(first, last, timeX, timeX + trackWidth)
    }

    function open() {
        if (trackWidth <= 0 || grid.count === 0)
            return
        grid.scrollX = grid.openingLeft(trackWidth)
        opened = true
        reportViewport()
    }

    function follow() {
        rows.positionViewAtIndex(grid.focusRow, ListView.Contain)
        grid.scrollX = grid.scrollFor(timeX, trackWidth, 24)
    }

    onTimeXChanged: viewportLater.restart()
    onTrackWidthChanged: opened ? viewportLater.restart() : open()
    Component.onCompleted: open()

    Connections {
        target: view.grid
        function onChannelsChanged() {
            view.opened = false
            view.open()
        }
        function onFocusChanged() {
            view.follow()
        }
        function onDetailsRequested(channel: mediaItem, program: guideProgram) {
            details.active = true
            const sheet = details.item as GuideDetailsSheet
            sheet.channelName = channel.name
            sheet.program = program
            sheet.day = view.grid.focusedDay
            sheet.open()
        }
    }

    // afterAnimating comes on this thread just before a frame is taken for drawing; what is
    // made from the next turn of the event loop goes into the frame after it.
    Connections {
        target: view.Window.window
        enabled: !view.settled
        function onAfterAnimating() {
            settleLater.start()
        }
    }
    Timer {
        id: settleLater
        interval: 0
        onTriggered: view.settled = true
    }

    // Changes of scroll and size come in bursts: the model hears of them once.
    Timer {
        id: viewportLater
        interval: 0
        onTriggered: view.reportViewport()
    }

    Keys.onUpPressed: viewSwitch.forceActiveFocus(Qt.BacktabFocusReason)

    Backdrop {
        veil: 0.45
    }

    Item {
        id: header
        width: parent.width
        height: 46

        LiveViewSwitch {
            id: viewSwitch
            x: 12
            anchors.verticalCenter: parent.verticalCenter
            Keys.onDownPressed: view.focusGrid(Qt.TabFocusReason)
        }
        Loader {
            anchors.left: viewSwitch.right
            anchors.leftMargin: 20
            anchors.right: parent.right
            anchors.rightMargin: 12
            anchors.verticalCenter: parent.verticalCenter
            active: view.settled
            sourceComponent: GuideStatus {}
        }
    }

    Item {
        id: timeHeader
        objectName: "guideTimeHeader"
        anchors.top: header.bottom
        width: parent.width
        height: 28

        PlainText {
            objectName: "guideDay"
            x: 16
            anchors.verticalCenter: parent.verticalCenter
            // Follows the scroll; the model answers for the day at the view's left edge.
            text: view.grid.count >= 0 ? view.grid.dayAt(view.timeX + 1) : ""
            font.pixelSize: Fonts.callout
            font.bold: true
            color: MavuColor.amber
        }
        ListView {
            id: ticks
            objectName: "guideTicks"
            x: view.channelWidth
            width: view.trackWidth
            height: parent.height
            clip: true
            interactive: false
            orientation: ListView.Horizontal
            model: view.grid.ticks
            // The marks are half an hour apart; the first one need not sit at x = 0.
            readonly property real firstX: view.grid.ticks.length > 0 ? view.grid.ticks[0].x : 0
            contentX: view.timeX - firstX
            delegate: Item {
                id: tick
                required property guideTick modelData
                width: 30 * AppStore.guide.grid.pixelsPerMinute
                height: ListView.view.height
                // Where the view's left edge falls, from this mark (negative: left of it).
                readonly property real edge: ListView.view.contentX - x
                // How far the view's left edge cuts into this half hour.
                readonly property real cut: Math.max(0, edge)
                // Where the view's right edge falls in it.
                readonly property real room: ListView.view.contentX + ListView.view.width - x
                Rectangle {
                    width: 1
                    height: parent.modelData.fullHour ? parent.height : parent.height / 2
                    anchors.bottom: parent.bottom
                    color: MavuColor.alpha(MavuColor.text, 0.25)
                }
                // A label whose mark scrolled out keeps to the left edge until the next one
                // pushes it out, rather than being cut in half; one whose mark came in at the
                // right edge keeps to that edge, left of its mark, until there is room after it.
                PlainText {
                    objectName: "guideTickLabel"
                    x: Math.min(tick.cut + 6, tick.width - implicitWidth - 6, tick.room - implicitWidth - 6)
                    visible: tick.room >= 0 && x >= tick.edge
                    anchors.verticalCenter: parent.verticalCenter
                    text: parent.modelData.label
                    font.pixelSize: Fonts.caption
                    font.family: Fonts.monospace
                    font.bold: parent.modelData.fullHour
                    color: parent.modelData.fullHour ? MavuColor.text : MavuColor.textDim
                }
            }
        }
    }

    ListView {
        id: rows
        objectName: "guideRows"
        anchors.top: timeHeader.bottom
        width: parent.width
        height: parent.height - y - Math.max(view.cornerHeight, 110) - scrollBar.height
        clip: true
        focus: true
        model: view.grid
        // Rows and their cell faces are handed the next channels as they scroll by.
        reuseItems: true
        boundsBehavior: Flickable.StopAtBounds
        // The grid model moves the focus; the list only shows it.
        keyNavigationEnabled: false
        // Only the rows in view before the first frame; the ones read ahead after it.
        cacheBuffer: view.settled ? view.rowHeight * 3 : 0
        onContentYChanged: viewportLater.restart()
        onHeightChanged: viewportLater.restart()

        Keys.onPressed: event => {
            event.accepted = view.grid.handleKey(event.key, event.modifiers)
        }

        delegate: GuideRow {
            grid: ListView.view.model as GuideGridModel
            width: ListView.view.width
            height: Metrics.guideRowHeight
        }

        WheelHandler {
            orientation: Qt.Horizontal
            onWheel: event => {
                view.grid.scrollX = Math.min(view.grid.contentWidth - view.trackWidth, view.timeX - event.angleDelta.x / 2)
            }
        }

        FocusRing {
            visible: rows.activeFocus && view.grid.count === 0
            faceRadius: 0
        }
    }

    // The line at now, over the header's marks and the rows.
    Rectangle {
        objectName: "nowLine"
        readonly property real at: view.channelWidth + view.grid.nowX - view.timeX
        x: at - 1
        y: timeHeader.y
        width: 2
        height: rows.y + rows.height - timeHeader.y
        visible: view.grid.nowX >= 0 && at >= view.channelWidth && at <= view.width
        color: MavuColor.amber
        Rectangle {
            x: -3
            width: 8
            height: 8
            radius: 4
            color: MavuColor.amber
        }
    }

    PlainText {
        objectName: "guideEmpty"
        anchors.centerIn: rows
        visible: !AppStore.loadingItems && view.grid.count === 0
        text: "Nothing here yet"
        font.pixelSize: Fonts.body
        color: MavuColor.textDim
    }

    // Below the rows rather than over the last one. Its room is kept from the start (the
    // style's bar is 10 high), so the rows keep their height when it comes.
    Loader {
        id: scrollBar
        anchors.top: rows.bottom
        x: view.channelWidth
        width: view.trackWidth
        height: item ? (item as ScrollBar).implicitHeight : 10
        active: view.settled
        sourceComponent: ScrollBar {
            objectName: "guideScroll"
            orientation: Qt.Horizontal
            policy: ScrollBar.AlwaysOn
        }
        onLoaded: {
            const bar = scrollBar.item as ScrollBar
            bar.size = Qt.binding(() => view.grid.contentWidth > 0 ? view.trackWidth / view.grid.contentWidth : 1)
            bar.position = Qt.binding(() => view.grid.contentWidth > 0 ? view.timeX / view.grid.contentWidth : 0)
            bar.positionChanged.connect(() => {
                if (bar.pressed)
                    view.grid.scrollX = bar.position * view.grid.contentWidth
            })
        }
    }

    Loader {
        anchors.top: scrollBar.bottom
        anchors.bottom: parent.bottom
        x: 16
        width: parent.width - view.cornerWidth - 32
        active: view.settled
        sourceComponent: GuideDescription {
            objectName: "guideDescription"
        }
    }

    // Made the first time a programme's details are asked for, not with the grid.
    Loader {
        id: details
        active: false
        sourceComponent: GuideDetailsSheet {
            objectName: "guideDetails"
        }
        onLoaded: {
            const sheet = details.item as GuideDetailsSheet
            sheet.parent = view
            sheet.closed.connect(() => view.focusGrid(Qt.OtherFocusReason))
        }
    }
}
