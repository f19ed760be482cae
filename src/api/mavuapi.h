#pragma once

#include "model/enums.h"
#include "model/playlist.h"
#include "model/records.h"

#include <QCoroTask>
#include <QHash>
#include <QList>
#include <QString>

#include <array>
#include <optional>

class Preferences;

// The stateless requests of the player: the provider's "/player_api.php" and the makers'
// device service. Every operation answers an empty value on any failure and never throws;
// callers decide what an empty answer means. Answers are decoded on a worker thread and the
// awaiting coroutine resumes on the thread that called.
namespace MavuAPI {

// --- provider catalogue ---
QCoro::Task<QList<Category>> categories(Playlist playlist, QString action);
QCoro::Task<QList<MediaItem>> liveStreams(Playlist playlist, std::optional<QString> category = std::nullopt);
QCoro::Task<QList<MediaItem>> vodStreams(Playlist playlist, std::optional<QString> category = std::nullopt);
QCoro::Task<QList<MediaItem>> series(Playlist playlist, std::optional<QString> category = std::nullopt);
QCoro::Task<VodInfo> vodInfo(Playlist playlist, QString vodId);

struct SeriesInfo
{
    QString trailer;
    QList<Season> seasons;
    QList<Episode> episodes;
};
QCoro::Task<SeriesInfo> seriesInfo(Playlist playlist, QString seriesId);

// Seconds since 1970; 0 when the account never expires; nothing when it cannot be told.
QCoro::Task<std::optional<qint64>> playlistExpiry(Playlist playlist);

// --- programme guide ---
QCoro::Task<QList<EpgProgram>> shortEPG(Playlist playlist, QString streamId);
QCoro::Task<QList<EpgProgram>> fullEPG(Playlist playlist, QString streamId);

// --- device service ---
struct Language
{
    QString code; // never empty
    QString name;
    QHash<QString, QString> words;
};

struct DeviceStatus
{
    std::optional<Playlist> playlist;
    QList<Language> languages;
};

// This device's identifier ("AB:12:…", 17 characters), made once from six random bytes and
// kept in the preferences.
QString deviceId(Preferences &preferences);
// Six bytes as an identifier: two upper-case hexadecimal digits each, joined by ":".
QString deviceIdText(const std::array<quint8, 6> &bytes);
QString deviceId();

QCoro::Task<DeviceStatus> deviceStatus(QString deviceId);
QCoro::Task<DeviceStatus> deviceStatus();
QCoro::Task<QList<Theme>> appThemes(QString deviceId);
QCoro::Task<QList<Theme>> appThemes();

// The device service's origin: a build setting.
QString deviceServiceBase();

namespace testing {
void setDeviceServiceBase(const QString &base);
} // namespace testing

} // namespace MavuAPI

Q_DECLARE_METATYPE(MavuAPI::Language)
