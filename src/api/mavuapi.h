#pragma once

#include "api/failure.h"
#include "api/network.h"
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
// device service. Every operation answers its value or a Failure and never throws:
// - no address, no connection, time-outs, a body past its limit: the network's failures;
// - status 401 or 403, or a provider answer whose "user_info" says "auth" 0: credentials refused;
// - a 5xx status: server failed; a body that is not JSON of an object or an array: not understood.
// Any other status has its body decoded, and decoding stays lenient: JSON of an unexpected
// shape gives the empty value the decoders state, a bad field its fallback.
// Answers are decoded on a worker thread and the awaiting coroutine resumes on the thread that
// called. `options` carries a shared deadline and a cancellation; a whole section (no category)
// is always fetched with the catalogue limits.
namespace MavuAPI {

template<typename T>
using Answer = QCoro::Task<Result<T>>;
using Network::Options;

// --- provider catalogue ---
Answer<QList<Category>> categories(Playlist playlist, QString action, Options options = {});
Answer<QList<MediaItem>> liveStreams(Playlist playlist, std::optional<QString> category = std::nullopt, Options options = {});
Answer<QList<MediaItem>> vodStreams(Playlist playlist, std::optional<QString> category = std::nullopt, Options options = {});
Answer<QList<MediaItem>> series(Playlist playlist, std::optional<QString> category = std::nullopt, Options options = {});
Answer<VodInfo> vodInfo(Playlist playlist, QString vodId, Options options = {});

struct SeriesInfo
{
    QString trailer;
    QList<Season> seasons;
    QList<Episode> episodes;
};
Answer<SeriesInfo> seriesInfo(Playlist playlist, QString seriesId, Options options = {});

// The account answer: seconds since 1970 of its expiry; 0 when it never expires; nothing when
// it cannot be told. An answer with "auth" 0 is the credentials refused.
Answer<std::optional<qint64>> playlistExpiry(Playlist playlist, Options options = {});

// The account answer whole: the expiry as above, and the stream connections the account may
// hold at once (0: any number) and holds now, when the answer says.
struct AccountStatus
{
    std::optional<qint64> expiresAt;
    std::optional<int> maxConnections;
    std::optional<int> activeConnections;
    bool operator==(const AccountStatus &) const = default;
    // Whether the account holds as many stream connections as it may.
    bool atConnectionLimit() const
    {
        return maxConnections && activeConnections && *maxConnections > 0 && *activeConnections >= *maxConnections;
    }
};
Answer<AccountStatus> accountStatus(Playlist playlist, Options options = {});

// --- programme guide ---
Answer<QList<EpgProgram>> shortEPG(Playlist playlist, QString streamId, Options options = {});
Answer<QList<EpgProgram>> fullEPG(Playlist playlist, QString streamId, Options options = {});

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

Answer<DeviceStatus> deviceStatus(QString deviceId, Options options = {});
Answer<DeviceStatus> deviceStatus();
Answer<QList<Theme>> appThemes(QString deviceId, Options options = {});
Answer<QList<Theme>> appThemes();

// The device service's origin: a build setting.
QString deviceServiceBase();

namespace testing {
void setDeviceServiceBase(const QString &base);
} // namespace testing

} // namespace MavuAPI

Q_DECLARE_METATYPE(MavuAPI::Language)
