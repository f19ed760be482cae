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
qsizetype recordCount(const DeviceStatus &status)
{
    return status.languages.size() + (status.playlist ? 1 : 0);
}

// Fetches `url` and decodes its JSON with `decode` on a worker thread; `empty` on any failure.
// The big answers (whole catalogues) never touch the calling thread's event loop while decoded.
template<typename Decode, typename Result = std::invoke_result_t<Decode, const JsonRead::Field &>>
QCoro::Task<Result> getJSON(std::optional<QUrl> url, Decode decode, Result empty = {})
{
    if (!url)
        co_return empty;
    const std::optional<QByteArray> body = co_await Network::getBody(*url);
    if (!body)
        co_return empty;
    // Built outside the co_await expression: GCC 12 mishandles temporaries inside its operand.
    QFuture<std::optional<Result>> decoding =
        QtConcurrent::run([bytes = *body, decode, name = Diagnostics::requestName(*url)]() -> std::optional<Result> {
            QElapsedTimer clock;
            clock.start();
            JsonDocument document;
            if (!document.parse(bytes)) {
                qCDebug(lcDecode).noquote() << name << JsonDocument::describe(document.refusal()) << bytes.size() << "bytes";
                return std::nullopt;
            }
            Result result = decode(JsonRead::Field(document.root()));
            qCDebug(lcDecode).noquote() << name << recordCount(result) << "records in" << clock.elapsed() << "ms";
            return result;
        });
    std::optional<Result> decoded = co_await decoding;
    co_return decoded ? std::move(*decoded) : std::move(empty);
}

// "category_id" only when a category is given; an empty id is still sent.
QMap<QString, QString> categoryQuery(const std::optional<QString> &category)
{
    QMap<QString, QString> extra;
    if (category)
        extra.insert(QStringLiteral("category_id"), *category);
    return extra;
}

QCoro::Task<QList<MediaItem>> streamList(Playlist playlist, QString action, std::optional<QString> category,
                                         MediaItem::Kind kind)
{
    return getJSON(playlist.playerApiURL(action, categoryQuery(category)),
                   [kind](const JsonRead::Field &root) { return decode::streams(root, kind); });
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

QCoro::Task<QList<Category>> categories(Playlist playlist, QString action)
{
    return getJSON(playlist.playerApiURL(action), &decode::categories);
}

QCoro::Task<QList<MediaItem>> liveStreams(Playlist playlist, std::optional<QString> category)
{
    return streamList(std::move(playlist), QStringLiteral("get_live_streams"), std::move(category), MediaItem::Kind::live);
}

QCoro::Task<QList<MediaItem>> vodStreams(Playlist playlist, std::optional<QString> category)
{
    return streamList(std::move(playlist), QStringLiteral("get_vod_streams"), std::move(category), MediaItem::Kind::movie);
}

QCoro::Task<QList<MediaItem>> series(Playlist playlist, std::optional<QString> category)
{
    return streamList(std::move(playlist), QStringLiteral("get_series"), std::move(category), MediaItem::Kind::series);
}

QCoro::Task<VodInfo> vodInfo(Playlist playlist, QString vodId)
{
    return getJSON(playlist.playerApiURL(QStringLiteral("get_vod_info"), {{QStringLiteral("vod_id"), vodId}}),
                   &decode::vodInfo);
}

QCoro::Task<SeriesInfo> seriesInfo(Playlist playlist, QString seriesId)
{
    return getJSON(playlist.playerApiURL(QStringLiteral("get_series_info"), {{QStringLiteral("series_id"), seriesId}}),
                   &decode::seriesInfo);
}

QCoro::Task<std::optional<qint64>> playlistExpiry(Playlist playlist)
{
    return getJSON(playlist.loginURL(), &decode::playlistExpiry);
}

QCoro::Task<QList<EpgProgram>> shortEPG(Playlist playlist, QString streamId)
{
    return getJSON(playlist.playerApiURL(QStringLiteral("get_short_epg"),
                                         {{QStringLiteral("stream_id"), streamId}, {QStringLiteral("limit"), QStringLiteral("4")}}),
                   &decode::programs);
}

QCoro::Task<QList<EpgProgram>> fullEPG(Playlist playlist, QString streamId)
{
    return getJSON(playlist.playerApiURL(QStringLiteral("get_simple_data_table"), {{QStringLiteral("stream_id"), streamId}}),
                   &decode::programs);
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

QCoro::Task<DeviceStatus> deviceStatus(QString id)
{
    return getJSON(deviceServiceURL(QStringLiteral("/api/playlist_information/"), id), &decode::deviceStatus);
}

QCoro::Task<DeviceStatus> deviceStatus()
{
    return deviceStatus(deviceId());
}

QCoro::Task<QList<Theme>> appThemes(QString id)
{
    return getJSON(deviceServiceURL(QStringLiteral("/api/get_app_setting/"), id), &decode::themes);
}

QCoro::Task<QList<Theme>> appThemes()
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
