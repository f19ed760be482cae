#include "liverules.h"

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
