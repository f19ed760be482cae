import QtQuick
import Mavu

// Tells an IdleChrome where the pointer is, and hides the pointer while it rests there.
HoverHandler {
    id: pointer

    required property IdleChrome chrome

    cursorShape: pointer.chrome.pointerResting ? Qt.BlankCursor : Qt.ArrowCursor
    onPointChanged: pointer.chrome.pointerAt(pointer.point.scenePosition)
}
