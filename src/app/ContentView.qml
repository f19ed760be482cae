import QtQuick
import QtQuick.Window

Window {
    id: window
    width: 1200
    height: 760
    minimumWidth: 820
    minimumHeight: 520
    visible: true
    title: "MAVU"
    color: "#0B0C10"
}
