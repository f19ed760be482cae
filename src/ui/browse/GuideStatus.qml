import QtQuick
import Mavu

// The guide's import as the guide grid tells it, on one line: "Updating guide… 43 %" over a slim
// bar while it runs, why it failed with Retry (the stored guide stays meanwhile), or otherwise
// when it was last brought up to date with a button to do it now. A playlist that names no guide
// says so, with nothing to retry.
Item {
    id: status
    readonly property ProgramGuide guide: AppStore.guide

    implicitHeight: 32

    Column {
        objectName: "guideProgress"
        anchors.verticalCenter: parent.verticalCenter
        visible: status.guide.importing
        spacing: 5

        PlainText {
            objectName: "guideProgressText"
            text: status.guide.progressText
            font.pixelSize: Fonts.caption
            color: MavuColor.text
        }
        Rectangle {
            objectName: "guideProgressBar"
            width: 200
            height: 3
            radius: 1.5
            color: MavuColor.alpha(MavuColor.text, 0.18)
            clip: true
            Rectangle {
                height: parent.height
                radius: parent.radius
                color: MavuColor.amber
                // Not knowing how far it is yet, a short piece of the bar shows it runs.
                width: status.guide.progressKnown ? parent.width * status.guide.progress : parent.width / 4
            }
        }
    }

    Row {
        objectName: "guideFailure"
        anchors.verticalCenter: parent.verticalCenter
        visible: !status.guide.importing && status.guide.hasFailure
        width: parent.width
        spacing: 10

        SymbolIcon {
            anchors.verticalCenter: parent.verticalCenter
            name: "exclamationmark.triangle"
            size: Fonts.callout
            color: MavuColor.amber
        }
        PlainText {
            objectName: "guideFailureText"
            anchors.verticalCenter: parent.verticalCenter
            width: Math.min(implicitWidth, parent.width - retry.width - 40)
            text: status.guide.failureText
            font.pixelSize: Fonts.caption
            color: MavuColor.textDim
            elide: Text.ElideRight
        }
        MavuButtonStyle {
            id: retry
            objectName: "guideRetry"
            anchors.verticalCenter: parent.verticalCenter
            topPadding: 4
            bottomPadding: 4
            leftPadding: 12
            rightPadding: 12
            font.pixelSize: Fonts.caption
            text: "Retry"
            onClicked: status.guide.retry()
        }
    }

    PlainText {
        objectName: "guideAbsent"
        anchors.verticalCenter: parent.verticalCenter
        anchors.right: parent.right
        visible: !status.guide.importing && !status.guide.hasFailure && status.guide.guideless
        text: "This playlist has no guide"
        font.pixelSize: Fonts.caption
        color: MavuColor.textDim
    }

    Row {
        anchors.verticalCenter: parent.verticalCenter
        anchors.right: parent.right
        visible: !status.guide.importing && !status.guide.hasFailure && !status.guide.guideless
        spacing: 10

        PlainText {
            objectName: "guideUpdated"
            anchors.verticalCenter: parent.verticalCenter
            visible: status.guide.hasLastImport
            text: status.guide.grid.updatedText(status.guide.lastImport)
            font.pixelSize: Fonts.caption
            color: MavuColor.textDim
        }
        MavuButtonStyle {
            objectName: "guideUpdate"
            anchors.verticalCenter: parent.verticalCenter
            topPadding: 4
            bottomPadding: 4
            leftPadding: 12
            rightPadding: 12
            font.pixelSize: Fonts.caption
            text: "Update Guide"
            symbol: "arrow.clockwise"
            onClicked: status.guide.runImport()
        }
    }
}
