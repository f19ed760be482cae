#include "liverules.h"

#include <QQmlEngine>

#include "store/guidegridmodel.h"

qint64 LiveRules::channelNumber(qint64 num, int offset)
{
    return num >= 1 ? num : qint64(offset) + 1;
}

bool LiveRules::showsPreview(const QUrl &url, bool hasNowPlaying, bool nowPlayingIsLive, bool playsCatchup)
{
    return !url.isEmpty() && hasNowPlaying && nowPlayingIsLive && !playsCatchup;
}

QString LiveRules::titleLine(const QString &title)
{
    return title.isEmpty() ? QStringLiteral(" ") : title;
}

QString LiveRules::dayChipText(const QString &dayKey)
{
    return dayKey.right(5);
}

LiveRules::CatchupContent LiveRules::catchupContent(bool loading, int programCount, bool failed)
{
    if (loading)
        return CatchupContent::Spinner;
    if (programCount > 0)
        return CatchupContent::Programs;
    return failed ? CatchupContent::Failure : CatchupContent::Empty;
}

int LiveRules::dayRow(const QStringList &days, bool hasChoice, const QString &chosen)
{
    return hasChoice ? int(days.indexOf(chosen)) : -1;
}

int LiveRules::zapRow(int current, int count, int delta)
{
    if (count <= 0)
        return -1;
    if (current < 0 || current >= count)
        return 0;
    const int next = current + delta;
    return next >= 0 && next < count ? next : -1;
}

int LiveRules::rowOf(const FilteredItemsModel *items, const QString &id)
{
    if (!items || id.isEmpty())
        return -1;
    for (int row = 0; row < items->rowCount(); ++row) {
        if (items->data(items->index(row), ListModelBase::RecordRole).value<MediaItem>().id == id)
            return row;
    }
    return -1;
}

MediaItem LiveRules::itemAt(const FilteredItemsModel *items, int row)
{
    if (!items || row < 0 || row >= items->rowCount())
        return {};
    return items->data(items->index(row), ListModelBase::RecordRole).value<MediaItem>();
}

LiveRules::PreviewAction LiveRules::previewAction(int key, Qt::KeyboardModifiers modifiers, bool filled, bool fullScreen)
{
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return PreviewAction::None;
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_PageUp:
        return PreviewAction::ZapBack;
    case Qt::Key_Down:
    case Qt::Key_PageDown:
        return PreviewAction::ZapOn;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return filled ? PreviewAction::None : PreviewAction::Fill;
    case Qt::Key_F:
    case Qt::Key_F11:
        return PreviewAction::ToggleFullScreen;
    case Qt::Key_Escape:
        if (fullScreen)
            return PreviewAction::LeaveFullScreen;
        return filled ? PreviewAction::Unfill : PreviewAction::None;
    default:
        return PreviewAction::None;
    }
}

MediaItem LiveRules::warmupChannel()
{
    MediaItem channel;
    channel.id = QStringLiteral("warmup");
    channel.name = QStringLiteral("Channel");
    channel.kind = MediaItem::Kind::live;
    channel.num = 1;
    channel.tvArchive = true;
    return channel;
}

GuideGridModel *LiveRules::warmupGrid(QObject *owner)
{
    auto *grid = new GuideGridModel(owner);
    QQmlEngine::setObjectOwnership(grid, QQmlEngine::CppOwnership);
    grid->setLoader([](QStringList ids, qint64 from, qint64 to) -> QCoro::Task<GuideWindow> {
        GuideWindow window;
        window.from = from;
        window.to = to;
        QList<GuideProgram> programmes;
        // At most a day of them: the view asks for a few hours around what it shows.
        for (qint64 start = from / 3600 * 3600; start < to && programmes.size() < 24; start += 3600) {
            GuideProgram programme;
            programme.title = QStringLiteral("Programme");
            programme.start = start;
            programme.stop = start + 3600;
            programmes.append(programme);
        }
        for (qsizetype i = 0; i < ids.size(); ++i)
            window.rows.append(programmes);
        co_return window;
    });
    QList<MediaItem> channels;
    for (int row = 0; row < 12; ++row) {
        MediaItem channel = warmupChannel();
        channel.id = QStringLiteral("warmup%1").arg(row);
        channel.epgChannelId = channel.id;
        channel.num = row + 1;
        channel.archiveDays = 1;
        channels.append(channel);
    }
    grid->setChannels(channels);
    return grid;
}
