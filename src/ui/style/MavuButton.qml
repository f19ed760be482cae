import QtQuick
import QtQuick.Controls.Basic
import Mavu

// The base of everything clickable: reached by Tab (or by the arrow keys of its list),
// activated by a click, Space, Return or Enter, named for assistive technology by its text,
// with a pointing cursor and an amber ring while it has focus from the keyboard.
AbstractButton {
    id: control
    // The corner radius of the face, which the focus ring follows.
    property real faceRadius: Metrics.buttonRadius

    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    Accessible.name: text

    // Qt Quick Controls 6.4 activates a focused button on Space only.
    Keys.onReturnPressed: event => control.activateByKey(event)
    Keys.onEnterPressed: event => control.activateByKey(event)

    function activateByKey(event: KeyEvent) {
        event.accepted = enabled
        if (enabled)
            clicked()
    }

    HoverHandler {
        cursorShape: Qt.PointingHandCursor
    }

    FocusRing {
        objectName: "focusRing"
        visible: control.visualFocus
        faceRadius: control.faceRadius
    }
}
