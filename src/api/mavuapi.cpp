#include "mavuapi.h"

#include "api/decoders.h"
#include "api/diagnostics.h"
#include "api/jsondocument.h"
#include "api/network.h"
#include "model/urltext.h"
#include "store/preferences.h"

#include <QCoroFuture>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtConcurrent/QtConcurrentRun>

#include <type_traits>

namespace MavuAPI {

namespace {

QString g_deviceServiceBase = QStringLiteral(MAVU_DEVICE_SERVICE_URL);

// How many records an answer gave, for the diagnostics.
template<typename T>
qsizetype recordCount(const QList<T> &list)
{
    return list.size();
}
qsizetype recordCount(const VodInfo &)
{
    return 1;
}
qsizetype recordCount(const SeriesInfo &info)
{
    return info.seasons.size() + info.episodes.size();
}
qsizetype recordCount(const std::optional<qint64> &expiry)
{
    return expiry ? 1 : 0;
}
qsizetype recordCount(const AccountStatus &)
{
    return 1;
}
qsizetype recordCount(const DeviceStatus &status)
{
    return status.languages.size() + (status.playlist ? 1 : 0);
}

// Whose answer it is: only the provider speaks of "user_info" and "auth".
enum class Origin { provider, deviceService };

// Fetches `url` and decodes its JSON with `decode` on a worker thread. The big answers (whole
// catalogues) never touch the calling thread's event loop while decoded.
// Decoding that needs no parsed document first; nothing means "parse the whole answer".
template<typename Value>
using FromBytes = std::optional<Value> (*)(QByteArray &, MediaItem::Kind);

// `runs`, when given, watches the body arrive and has most of it decoded by the last byte.
template<typename Decode, typename Value = std::invoke_result_t<Decode, const JsonRead::Field &>>
QCoro::Task<Result<Value>> getJSON(std::optional<QUrl> url, Decode decode, Options options,
                                   Origin origin = Origin::provider, FromBytes<Value> fromBytes = nullptr,
                                   MediaItem::Kind kind = MediaItem::Kind::live,
                                   std::shared_ptr<decode::RowRuns> runs = nullptr)
{
    if (!url)
        co_return Failure{Failure::Kind::unreachable};
    options.watcher = runs;
    options.borrowBody = true; // the body and its storage stay together below
    Result<Network::Response> fetched = co_await Network::get(*url, options);
    if (!fetched) {
        if (runs)
            runs->abandon(); // nothing of a broken answer is kept
        co_return fetched.failure();
    }
    const int status = fetched->status;
    if (status == 401 || status == 403)
        co_return Failure{Failure::Kind::credentialsRefused, status};
    if (status >= 500) {
        if (runs)
            runs->abandon();
        co_return Failure{Failure::Kind::serverFailed, status};
    }
    Network::Response response = std::move(fetched).value();
    // Built outside the co_await expression: GCC 12 mishandles temporaries inside its operand.
    QFuture<Result<Value>> decoding = QtConcurrent::run(
        [bytes = std::move(response.body), storage = std::move(response.storage), decode, status, origin, name = Diagnostics::requestName(*url),
         fromBytes, kind, runs = std::move(runs)]() mutable -> Result<Value> {
            QElapsedTimer clock;
            clock.start();
            Timing::mark("decode start", name);
            if constexpr (std::is_same_v<Value, QList<MediaItem>>) {
                if (runs) {
                    std::optional<Value> value = runs->finish(bytes);
                    runs.reset();
                    if (value) {
                        Timing::mark("decoded", name);
                        qCDebug(lcDecode).noquote() << name << recordCount(*value) << "records in" << clock.elapsed()
                                                    << "ms after the last byte, in runs while it arrived";
                        return std::move(*value);
                    }
                }
            }
            if (fromBytes) {
                // An array answer carries no account refusal, which is an object.
                if (std::optional<Value> value = fromBytes(bytes, kind)) {
                    Timing::mark("decoded", name);
                    qCDebug(lcDecode).noquote() << name << recordCount(*value) << "records in" << clock.elapsed() << "ms, in parts";
                    return std::move(*value);
                }
            }
            JsonDocument document;
            if (!document.parse(bytes)) {
                qCDebug(lcDecode).noquote() << name << JsonDocument::describe(document.refusal()) << bytes.size() << "bytes";
                return Failure{Failure::Kind::notUnderstood, status};
            }
            const JsonRead::Field root(document.root());
            // Panels answer any action with the account's refusal when the credentials are wrong.
            if (origin == Origin::provider && decode::refusesCredentials(root)) {
                qCDebug(lcDecode).noquote() << name << "credentials refused by the answer";
                return Failure{Failure::Kind::credentialsRefused, status};
            }
            Value value = decode(root);
            Timing::mark("decoded", name);
            qCDebug(lcDecode).noquote() << name << recordCount(value) << "records in" << clock.elapsed() << "ms";
            return value;
        });
    Result<Value> decoded = co_await decoding;
    if (options.purpose == Network::Purpose::catalogue)
        Timing::mark("handed over", Diagnostics::requestName(*url));
    co_return decoded;
}

// A whole section is a catalogue: it may be big and slow, and has the limits for that.
Options forList(Options options, const std::optional<QString> &category)
{
    if (!category)
        options.purpose = Network::Purpose::catalogue;
    return options;
}

// "category_id" only when a category is given; an empty id is still sent.
QMap<QString, QString> categoryQuery(const std::optional<QString> &category)
{
    QMap<QString, QString> extra;
    if (category)
        extra.insert(QStringLiteral("category_id"), *category);
    return extra;
}

std::optional<QList<MediaItem>> streamsFromBytes(QByteArray &body, MediaItem::Kind kind)
{
    return decode::streamsInParts(body, kind);
}

Answer<QList<MediaItem>> streamList(Playlist playlist, QString action, std::optional<QString> category,
                                    MediaItem::Kind kind, Options options)
{
    // A whole section is decoded while it arrives; one category's list is small.
    auto runs = category ? nullptr : std::make_shared<decode::RowRuns>(kind);
    return getJSON(playlist.playerApiURL(action, categoryQuery(category)),
                   [kind](const JsonRead::Field &root) { return decode::streams(root, kind); }, forList(options, category),
                   Origin::provider, &streamsFromBytes, kind, std::move(runs));
}

std::optional<QUrl> deviceServiceURL(const QString &request, const QString &deviceId)
{
    // The identifier goes into the path as it is.
    const QUrl url = UrlText::parse(g_deviceServiceBase + request + deviceId + QStringLiteral("/macos"));
    if (!url.isValid())
        return std::nullopt;
    return url;
}

} // namespace

Answer<QList<Category>> categories(Playlist playlist, QString action, Options options)
{
    return getJSON(playlist.playerApiURL(action), &decode::categories, options);
}

Answer<QList<MediaItem>> liveStreams(Playlist playlist, std::optional<QString> category, Options options)
{
    return streamList(std::move(playlist), QStringLiteral("get_live_streams"), std::move(category), MediaItem::Kind::live,
                      options);
}

Answer<QList<MediaItem>> vodStreams(Playlist playlist, std::optional<QString> category, Options options)
{
    return streamList(std::move(playlist), QStringLiteral("get_vod_streams"), std::move(category), MediaItem::Kind::movie,
                      options);
}

Answer<QList<MediaItem>> series(Playlist playlist, std::optional<QString> category, Options options)
{
    return streamList(std::move(playlist), QStringLiteral("get_series"), std::move(category), MediaItem::Kind::series,
                      options);
}

Answer<VodInfo> vodInfo(Playlist playlist, QString vodId, Options options)
{
    return getJSON(playlist.playerApiURL(QStringLiteral("get_vod_info"), {{QStringLiteral("vod_id"), vodId}}),
                   &decode::vodInfo, options);
}

Answer<SeriesInfo> seriesInfo(Playlist playlist, QString seriesId, Options options)
{
    return getJSON(playlist.playerApiURL(QStringLiteral("get_series_info"), {{QStringLiteral("series_id"), seriesId}}),
                   &decode::seriesInfo, options);
}

Answer<std::optional<qint64>> playlistExpiry(Playlist playlist, Options options)
{
    return getJSON(playlist.loginURL(), &decode::playlistExpiry, options);
}

Answer<AccountStatus> accountStatus(Playlist playlist, Options options)
{
    return getJSON(playlist.loginURL(), &decode::accountStatus, options);
}

Answer<QList<EpgProgram>> shortEPG(Playlist playlist, QString streamId, Options options)
{
    return getJSON(playlist.playerApiURL(QStringLiteral("get_short_epg"),
                                         {{QStringLiteral("stream_id"), streamId}, {QStringLiteral("limit"), QStringLiteral("4")}}),
                   &decode::programs, options);
}

Answer<QList<EpgProgram>> fullEPG(Playlist playlist, QString streamId, Options options)
{
    return getJSON(playlist.playerApiURL(QStringLiteral("get_simple_data_table"), {{QStringLiteral("stream_id"), streamId}}),
                   &decode::programs, options);
}

QString deviceId(Preferences &preferences)
{
    if (auto stored = preferences.deviceMac())
        return *stored;
    std::array<quint8, 6> bytes;
    for (quint8 &byte : bytes)
        byte = quint8(QRandomGenerator::system()->bounded(256));
    const QString made = deviceIdText(bytes);
    preferences.setDeviceMac(made);
    return made;
}

QString deviceIdText(const std::array<quint8, 6> &bytes)
{
    QStringList pairs;
    for (const quint8 byte : bytes)
        pairs.append(QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper());
    return pairs.join(QLatin1Char(':'));
}

QString deviceId()
{
    Preferences preferences;
    return deviceId(preferences);
}

Answer<DeviceStatus> deviceStatus(QString id, Options options)
{
    return getJSON(deviceServiceURL(QStringLiteral("/api/playlist_information/"), id), &decode::deviceStatus, options,
                   Origin::deviceService);
}

Answer<DeviceStatus> deviceStatus()
{
    return deviceStatus(deviceId());
}

Answer<QList<Theme>> appThemes(QString id, Options options)
{
    return getJSON(deviceServiceURL(QStringLiteral("/api/get_app_setting/"), id), &decode::themes, options,
                   Origin::deviceService);
}

Answer<QList<Theme>> appThemes()
{
    return appThemes(deviceId());
}

QString deviceServiceBase()
{
    return g_deviceServiceBase;
}

namespace testing {
void setDeviceServiceBase(const QString &base)
{
    g_deviceServiceBase = base;
}
} // namespace testing

} // namespace MavuAPI
