#pragma once

// Helpers shared by the store's source files; not part of its interface.

#include "api/mavuapi.h"
#include "model/enums.h"
#include "model/records.h"

#include <QCoroTask>
#include <QString>

namespace AppStoreDetail {

// Starts a coroutine without waiting for it: the task object is dropped at once, and the
// coroutine runs on by itself (it ran synchronously up to its first wait already).
inline void startTask(QCoro::Task<> &&task)
{
    [[maybe_unused]] QCoro::Task<> started = std::move(task);
}

inline QString categoryAction(Section section)
{
    switch (section) {
    case Section::live:
        return QStringLiteral("get_live_categories");
    case Section::movies:
        return QStringLiteral("get_vod_categories");
    case Section::series:
        break;
    }
    return QStringLiteral("get_series_categories");
}

inline Section sectionOf(const MediaItem &item)
{
    switch (item.kind) {
    case MediaItem::Kind::live:
        return Section::live;
    case MediaItem::Kind::movie:
        return Section::movies;
    case MediaItem::Kind::series:
        break;
    }
    return Section::series;
}

inline MavuAPI::Answer<QList<MediaItem>> catalogueRequest(const Playlist &playlist, Section section,
                                                           Network::Options options = {})
{
    switch (section) {
    case Section::live:
        return MavuAPI::liveStreams(playlist, std::nullopt, options);
    case Section::movies:
        return MavuAPI::vodStreams(playlist, std::nullopt, options);
    case Section::series:
        break;
    }
    return MavuAPI::series(playlist, std::nullopt, options);
}

inline bool sameVodInfo(const VodInfo &a, const VodInfo &b)
{
    return a.plot == b.plot && a.cast == b.cast && a.director == b.director && a.age == b.age && a.runtime == b.runtime
        && a.trailer == b.trailer && a.releaseDate == b.releaseDate;
}

} // namespace AppStoreDetail
