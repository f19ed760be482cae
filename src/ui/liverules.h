#pragma once

#include "model/records.h"
#include "store/guidegridmodel.h"
#include "store/listmodels.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

// The live section's decisions: channel numbers, what the preview shows, how many guide lines
// fit, zapping along the channel list, and what the catch-up panel shows.
class LiveRules : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(int guideLines READ qmlGuideLines CONSTANT FINAL)

public:
    using QObject::QObject;

    // What the catch-up panel shows below its header.
    enum class CatchupContent { Spinner, Empty, Programs, Failure };
    Q_ENUM(CatchupContent)

    // What a key does on the preview.
    enum class PreviewAction { None, ZapBack, ZapOn, Fill, ToggleFullScreen, LeaveFullScreen, Unfill };
    Q_ENUM(PreviewAction)

    static constexpr int guideLines = 3;
    int qmlGuideLines() const { return guideLines; }

    // The provider's number when it gives one (1 or more), else the position counted from 1.
    static qint64 channelNumber(qint64 num, int offset);
    Q_INVOKABLE static int itemNumber(const MediaItem &item, int offset) { return int(channelNumber(item.num, offset)); }

    // The preview plays only a live channel's own stream: a catch-up recording or a title
    // playing elsewhere leaves the "Select a channel" placeholder.
    Q_INVOKABLE static bool showsPreview(const QUrl &url, bool hasNowPlaying, bool nowPlayingIsLive, bool playsCatchup);

    // The info panel's first line keeps its height without a title.
    Q_INVOKABLE static QString titleLine(const QString &title);

    // The day chip's label: the key's last five characters, a shorter key whole.
    Q_INVOKABLE static QString dayChipText(const QString &dayKey);

    // The failure only when there is nothing else to show: an archive fetched earlier stays.
    Q_INVOKABLE static CatchupContent catchupContent(bool loading, int programCount, bool failed);
    // The chip of the chosen day among `days`; -1 without a choice or for a day not offered.
    Q_INVOKABLE static int dayRow(const QStringList &days, bool hasChoice, const QString &chosen);

    // The row a zap by `delta` lands on from `current` in a list of `count`; -1 past either end
    // (no wrapping). From a channel not in the list, the first one.
    Q_INVOKABLE static int zapRow(int current, int count, int delta);
    // Where the channel with `id` stands among the filtered items; -1 when not there.
    Q_INVOKABLE static int rowOf(const FilteredItemsModel *items, const QString &id);
    Q_INVOKABLE static MediaItem itemAt(const FilteredItemsModel *items, int row);

    // Up/Down and Page Up/Page Down zap, filled or not; Enter fills the window with the preview,
    // F and F11 toggle full screen; Escape leaves full screen first, then the filled preview, and
    // only then belongs to the screen around it. Keys held with Control, Alt or Meta belong to
    // the desktop.
    static PreviewAction previewAction(int key, Qt::KeyboardModifiers modifiers, bool filled, bool fullScreen);

    // A grid for drawing the whole guide view once unseen before it first opens (GuideWarmup),
    // apart from the store's: a screen of channels with an archive, each with hour-long
    // programmes over whatever hours the view asks for (some over and still in the archive,
    // one on now, some to come), read from no guide. `owner` keeps it.
    Q_INVOKABLE static GuideGridModel *warmupGrid(QObject *owner);

private:
    static MediaItem warmupChannel();
};
