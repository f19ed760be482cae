import QtQuick
import Mavu

// The past programmes of the channel that plays, by day: a header with the way back, the day
// strip and the chosen day's programmes; a spinner while they load, the failure with Retry when
// the archive could not be fetched, a line when there are none. Choosing a programme plays it
// from the archive.
FocusScope {
    id: panel
    objectName: "catchupPanel"

    readonly property int shows: LiveRules.catchupContent(AppStore.loadingCatchup, AppStore.catchupPrograms.length,
                                                           AppStore.failures.catchup.failed)

    Row {
        id: header
        x: 10
        y: 10
        spacing: 8

        BackButton {
            objectName: "catchupBack"
            anchors.verticalCenter: parent.verticalCenter
            symbolSize: Fonts.callout
            inset: 6
            onClicked: AppStore.catchupOpen = false
        }
        PlainText {
            anchors.verticalCenter: parent.verticalCenter
            text: "Catch Up"
            font.pixelSize: Fonts.headline
            font.bold: true
            color: MavuColor.text
        }
    }

    Item {
        anchors.top: header.bottom
        anchors.topMargin: 10
        anchors.bottom: parent.bottom
        width: parent.width

        Spinner {
            objectName: "catchupSpinner"
            anchors.centerIn: parent
            visible: panel.shows === LiveRules.Spinner
            size: Metrics.spinnerSmall
        }
        PlainText {
            objectName: "catchupEmpty"
            anchors.centerIn: parent
            visible: panel.shows === LiveRules.Empty
            text: "No archive available"
            font.pixelSize: Fonts.body
            color: MavuColor.textDim
        }
        // Holds the panel's keyboard while it shows: Return retries straight away.
        FailurePanel {
            objectName: "catchupFailure"
            anchors.centerIn: parent
            width: parent.width - 32
            focus: panel.shows === LiveRules.Failure
            failure: AppStore.failures.catchup
            visible: panel.shows === LiveRules.Failure
            onRetry: AppStore.failures.retryCatchup()
        }

        FocusListView {
            id: days
            objectName: "dayStrip"
            visible: panel.shows === LiveRules.Programs
            width: parent.width
            height: 24 + Metrics.focusRingGap * 2 + Metrics.focusRingWidth * 2
            orientation: ListView.Horizontal
            spacing: 6
            leftMargin: 10
            rightMargin: 10
            focus: panel.shows !== LiveRules.Failure
            clip: true
            model: AppStore.catchupDaysModel
            // The chosen day (the newest, when the panel opens) is the current chip: in view, and
            // where the keyboard starts.
            currentIndex: LiveRules.dayRow(AppStore.catchupDays, AppStore.hasSelectedCatchupDay, AppStore.selectedCatchupDay)
            delegate: DayChip {
                required property int index
                objectName: "dayChip"
                anchors.verticalCenter: parent ? parent.verticalCenter : undefined
                focusPolicy: Qt.ClickFocus
                selected: AppStore.hasSelectedCatchupDay && AppStore.selectedCatchupDay === day
                onActiveFocusChanged: {
                    if (activeFocus)
                        ListView.view.currentIndex = index
                }
                onClicked: AppStore.selectedCatchupDay = day
            }
            Keys.onDownPressed: programs.forceActiveFocus(Qt.TabFocusReason)
        }

        FocusListView {
            id: programs
            objectName: "catchupPrograms"
            visible: panel.shows === LiveRules.Programs
            anchors.top: days.bottom
            anchors.topMargin: 8
            anchors.bottom: parent.bottom
            width: parent.width
            spacing: 3
            leftMargin: 8
            rightMargin: 8
            topMargin: Metrics.focusRingGap + Metrics.focusRingWidth
            bottomMargin: 12
            clip: true
            model: AppStore.catchupDayProgramsModel
            delegate: CatchupEntry {
                required property int index
                objectName: "catchupEntry"
                width: ListView.view.width - ListView.view.leftMargin - ListView.view.rightMargin
                focusPolicy: Qt.ClickFocus
                onActiveFocusChanged: {
                    if (activeFocus)
                        ListView.view.currentIndex = index
                }
                onClicked: AppStore.playCatchup(program)
            }

            // The newest programmes sit at the end: the list opens there, once.
            property bool scrolledOnce: false
            function showLastOnce() {
                if (scrolledOnce || !visible || count === 0)
                    return
                scrolledOnce = true
                currentIndex = count - 1
                positionViewAtEnd()
            }
            onVisibleChanged: showLastOnce()
            onCountChanged: showLastOnce()
            Component.onCompleted: showLastOnce()
        }
        // Up from the first programme goes to the days.
        Keys.onUpPressed: days.forceActiveFocus(Qt.BacktabFocusReason)
    }
}
