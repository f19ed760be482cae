import QtQuick
import Mavu

// The guide grid's first frame needs more than its glyphs (GlyphWarmup): its components
// loaded, the list's rows and header made once, and, on the render thread, the pipelines of
// its faces as the view draws them (rows in a clipped list over the veil), which the screens
// before it have not drawn. Bare rows drawn alone leave most of that to the first opening.
// Made while the window is idle after start, this makes a whole view left of the window,
// over a grid of its own (the store's is left as it was), then says it has `finished` once a
// frame has drawn its rows: the owner lets it go, and the grid's first frame finds that work done.
Item {
    id: warmup

    // True once a frame has drawn the rows: the owner may let it go.
    property bool finished: false
    // Frames swapped since the rows came: the first may have been under way before they were.
    property int swaps: 0
    readonly property GuideGridModel grid: LiveRules.warmupGrid(warmup)
    // True once the grid's rows hold their programmes.
    property bool loaded: false

    width: 0
    height: 0

    GuideView {
        id: view
        objectName: "guideWarmupView"
        // Drawn in full, as the grid is drawn, but beyond the window's left edge.
        x: -width - 100
        width: 1060
        height: 800
        grid: warmup.grid
    }

    Connections {
        target: warmup.grid
        function onDataChanged() {
            warmup.loaded = true
        }
    }

    Connections {
        target: warmup.Window.window
        enabled: !warmup.finished
        function onFrameSwapped() {
            // Counted from the frame that has the rows' programmes; a still window draws no
            // more frames, so the next is asked for.
            if (warmup.loaded && ++warmup.swaps >= 2)
                warmup.finished = true
            else
                warmup.Window.window.update()
        }
    }
}
