import QtQuick
import QtQuick.Controls.Basic
import Mavu
import Mavu.Core

// The player's bottom bar: the episode strip, the seek row and the controls row.
Item {
    id: root
    required property PlayerController controller
    required property PlayerScreenState screenState

    implicitHeight: column.implicitHeight + 32

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0; color: "transparent" }
            GradientStop { position: 1; color: MavuColor.alpha("black", 0.75) }
        }
    }

    Column {
        id: column
        x: 16
        y: 16
        width: parent.width - 32
        spacing: 10

        EpisodeStrip {
            objectName: "episodeStrip"
            width: parent.width
            visible: AppStore.hasNowPlayingEpisode && AppStore.seasonEpisodesModel.count > 0
        }

        Row {
            width: parent.width
            spacing: 10

            PlainText {
                id: elapsed
                objectName: "elapsedLabel"
                anchors.verticalCenter: parent.verticalCenter
                text: root.screenState.elapsedLabel
                font.pixelSize: Fonts.caption
                font.family: Fonts.monospace
                color: "white"
            }
            Slider {
                id: slider
                objectName: "seekSlider"
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width - elapsed.width - length.width - 20
                from: 0
                to: 1
                value: root.screenState.sliderValue
                Accessible.name: "Position"
                onMoved: {
                    root.screenState.sliderValue = value
                    // A step by the arrow keys seeks at once; a drag seeks when it ends.
                    if (!pressed)
                        root.screenState.commitSeek()
                }
                onPressedChanged: {
                    root.controller.isSeeking = pressed
                    if (!pressed)
                        root.screenState.commitSeek()
                }

                background: Rectangle {
                    x: slider.leftPadding
                    y: slider.topPadding + slider.availableHeight / 2 - height / 2
                    width: slider.availableWidth
                    height: 4
                    radius: 2
                    color: MavuColor.alpha("white", 0.25)
                    Rectangle {
                        width: slider.visualPosition * parent.width
                        height: parent.height
                        radius: 2
                        color: MavuColor.amber
                    }
                }
                handle: Rectangle {
                    x: slider.leftPadding + slider.visualPosition * (slider.availableWidth - width)
                    y: slider.topPadding + slider.availableHeight / 2 - height / 2
                    width: 14
                    height: 14
                    radius: 7
                    color: slider.pressed ? Qt.lighter(MavuColor.amber, 1.15) : MavuColor.amber
                    FocusRing {
                        visible: slider.visualFocus
                        faceRadius: parent.radius
                    }
                }
            }
            PlainText {
                id: length
                objectName: "lengthLabel"
                anchors.verticalCenter: parent.verticalCenter
                text: root.screenState.lengthLabel
                font.pixelSize: Fonts.caption
                font.family: Fonts.monospace
                color: "white"
            }
        }

        Item {
            width: parent.width
            height: controls.implicitHeight

            Row {
                id: controls
                anchors.verticalCenter: parent.verticalCenter
                spacing: 18

                PlayerButton {
                    objectName: "jumpBack"
                    text: "Back " + root.screenState.jumpSize + " seconds"
                    symbol: "gobackward." + root.screenState.jumpSize
                    onClicked: root.screenState.skip(-root.screenState.jumpSize)
                }
                PlayerButton {
                    objectName: "playPause"
                    text: root.controller.isPlaying ? "Pause" : "Play"
                    symbol: root.controller.isPlaying ? "pause.fill" : "play.fill"
                    size: Fonts.title2
                    onClicked: root.controller.playerIsPlaying() ? root.controller.playerPause() : root.controller.playerPlay()
                }
                PlayerButton {
                    objectName: "jumpForward"
                    text: "Forward " + root.screenState.jumpSize + " seconds"
                    symbol: "goforward." + root.screenState.jumpSize
                    onClicked: root.screenState.skip(root.screenState.jumpSize)
                }
            }

            Row {
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                spacing: 18

                TrackMenu {
                    objectName: "audioMenu"
                    symbol: "waveform"
                    text: "Audio"
                    controller: root.controller
                    kind: PlayerMenuModel.Audio
                }
                TrackMenu {
                    objectName: "subtitleMenu"
                    symbol: "captions.bubble"
                    text: "Subtitles"
                    controller: root.controller
                    kind: PlayerMenuModel.Subtitles
                }
                TrackMenu {
                    objectName: "aspectMenu"
                    symbol: "aspectratio"
                    text: "Aspect ratio"
                    controller: root.controller
                    kind: PlayerMenuModel.Aspect
                }
            }
        }
    }
}
