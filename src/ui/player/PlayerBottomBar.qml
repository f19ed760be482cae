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
            GradientStop { position: 1; color: Qt.rgba(0, 0, 0, 0.75) }
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

            Text {
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
                onMoved: root.screenState.sliderValue = value
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
                    color: Qt.rgba(1, 1, 1, 0.25)
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
                }
            }
            Text {
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
                    symbol: "gobackward." + root.screenState.jumpSize
                    onActivated: root.screenState.skip(-root.screenState.jumpSize)
                }
                PlayerButton {
                    objectName: "playPause"
                    symbol: root.controller.isPlaying ? "pause.fill" : "play.fill"
                    size: Fonts.title2
                    onActivated: root.controller.playerIsPlaying() ? root.controller.playerPause() : root.controller.playerPlay()
                }
                PlayerButton {
                    objectName: "jumpForward"
                    symbol: "goforward." + root.screenState.jumpSize
                    onActivated: root.screenState.skip(root.screenState.jumpSize)
                }
            }

            Row {
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                spacing: 18

                TrackMenu {
                    objectName: "audioMenu"
                    symbol: "waveform"
                    emptyText: "No audio tracks"
                    tracks: root.controller.audioTracks
                    onChosen: index => root.controller.selectAudioTrack(index)
                }
                TrackMenu {
                    objectName: "subtitleMenu"
                    symbol: "captions.bubble"
                    emptyText: "No subtitles"
                    tracks: root.controller.subtitleTracks
                    onChosen: index => root.controller.selectSubtitleTrack(index)
                }
                TrackMenu {
                    objectName: "aspectMenu"
                    symbol: "aspectratio"
                    emptyText: ""
                    tracks: ["Default", "Fill", "16:9", "16:10", "4:3", "3:2"].map(name => ({ index: 0, name: name }))
                    onChosenName: name => root.controller.setAspect(name)
                }
            }
        }
    }
}
