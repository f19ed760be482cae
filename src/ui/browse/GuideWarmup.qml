import QtQuick
import Mavu

// The guide grid's first frame needs more than its glyphs (GlyphWarmup): its components
// loaded, and, on the render thread, the pipelines of its faces (rounded and bordered boxes
// with their texts over them, under the list's clip), which the screens before it have not
// drawn. Made while the window is idle after start, this makes two rows of the grid's own
// faces left of the window, where they are drawn but never seen, then says it has `finished`
// once a frame has drawn them: the owner lets it go, and the grid's first frame finds that
// work done.
Item {
    id: warmup

    // True once a frame has drawn the rows: the owner may let it go.
    property bool finished: false
    // Frames swapped since it came: the first may have been under way before the rows were.
    property int swaps: 0
    // The view itself is only compiled, not made: made, it would take the grid's viewport.
    readonly property Component view: Component {
        GuideView {}
    }

    width: 0
    height: 0

    Item {
        objectName: "guideWarmupRows"
        // Drawn in full, as the grid is drawn, but beyond the window's left edge.
        x: -width - 100
        width: 900
        height: 2 * Metrics.guideRowHeight
        clip: true

        Repeater {
            model: 2
            GuideRow {
                y: index * height
                width: 900
                height: Metrics.guideRowHeight
                channel: LiveRules.warmupChannel()
                cells: LiveRules.warmupCells()
                loaded: true
            }
        }
    }

    Connections {
        target: warmup.Window.window
        enabled: !warmup.finished
        function onFrameSwapped() {
            // A still window draws no more frames: the second is asked for.
            if (++warmup.swaps >= 2)
                warmup.finished = true
            else
                warmup.Window.window.update()
        }
    }
}
