#include "labserver.h"

#include "deviceservice.h"
#include "guide.h"
#include "jsonout.h"
#include "m3ulist.h"
#include "titledmedia.h"
#include "xmltv.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHttpServerRequest>
#include <QPointer>
#include <QSet>
#include <QTcpSocket>
#include <QTimeZone>
#include <QTimer>
#include <QtConcurrent>

namespace Lab {

using namespace Qt::StringLiterals;

namespace {

// Segments of catch-up playlists, in seconds: a whole number of them fills every minute.
constexpr int segmentSeconds = MediaLibrary::liveSeconds;
constexpr int longestCatchupMinutes = 24 * 60;
// The kept M3U list's pieces: an entry short of a transfer's chunk, so each goes out whole.
constexpr qint64 m3uPiece = 1024 * 1024 - 16 * 1024;

const QStringList providerActions{
    u"get_live_categories"_s, u"get_vod_categories"_s, u"get_series_categories"_s, u"get_live_streams"_s,
    u"get_vod_streams"_s, u"get_series"_s, u"get_vod_info"_s, u"get_series_info"_s, u"get_short_epg"_s,
    u"get_simple_data_table"_s};

std::optional<qint64> number(const QString &text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional(value) : std::nullopt;
}

// "12.ts" → 12 and "ts".
std::optional<std::pair<qint64, QString>> idAndExtension(const QString &segment)
{
    const qsizetype dot = segment.lastIndexOf(u'.');
    if (dot <= 0)
        return std::nullopt;
    const auto id = number(segment.left(dot));
    if (!id)
        return std::nullopt;
    return std::pair{*id, segment.mid(dot + 1)};
}

QByteArray videoType(const QString &extension)
{
    if (extension == "mkv"_L1)
        return "video/x-matroska";
    if (extension == "ts"_L1)
        return "video/mp2t";
    return "video/mp4";
}

QByteArray errorJson(int status, const QString &message)
{
    QByteArray out;
    JsonOut json(out);
    json.beginObject().key("error").text(message).key("status").number(status).endObject();
    return out;
}

} // namespace

// --- answers ---------------------------------------------------------------------------------

Server::Answer Server::Answer::json(QByteArray body, int status)
{
    return pieces({std::move(body)}, status);
}

Server::Answer Server::Answer::pieces(QList<QByteArray> pieces, int status)
{
    Answer answer;
    answer.status = status;
    qint64 length = 0;
    for (const QByteArray &piece : pieces)
        length += piece.size();
    answer.length = length;
    answer.body = piecesSource(std::move(pieces));
    return answer;
}

Server::Answer Server::Answer::text(int status, QByteArray contentType, QByteArray body)
{
    Answer answer = json(std::move(body), status);
    answer.contentType = std::move(contentType);
    return answer;
}

std::optional<QString> Server::Request::value(const QString &name) const
{
    for (const auto &[key, value] : query) {
        if (key == name)
            return value;
    }
    return std::nullopt;
}

// The head at once, then the body one byte at a time: never idle long enough for a client's
// idle time-out, yet never done.
static void trickle(QTcpSocket *socket, const QByteArray &head, BodySource body, std::chrono::milliseconds interval,
             bool closeAtEnd)
{
    socket->write(head);
    if (!body)
        return;
    auto *timer = new QTimer(socket);
    QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, body = std::move(body), closeAtEnd] {
        const QByteArray byte = body(1);
        if (byte.isEmpty()) {
            timer->stop();
            if (closeAtEnd)
                socket->disconnectFromHost();
            return;
        }
        socket->write(byte);
    });
    timer->start(interval);
}

// --- the server ------------------------------------------------------------------------------

Server::Server(Options options, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_options(std::move(options))
{
    for (const auto &[route, fault] : m_options.faults)
        m_faults.set(route, fault);
    m_options.maxConnections = std::max(0, m_options.maxConnections);
    m_options.slowCloseMs = std::max(0, m_options.slowCloseMs);
    m_clock.start();
}

Server::~Server() = default;

QString Server::start()
{
    if (m_port != 0)
        return m_base; // started already
    m_port = listen(m_options.address, m_options.port);
    if (m_port == 0)
        return {};
    const bool anyAddress = m_options.address == QHostAddress::Any || m_options.address == QHostAddress::AnyIPv4
                            || m_options.address == QHostAddress::AnyIPv6;
    QString host = anyAddress ? u"127.0.0.1"_s : m_options.address.toString();
    if (host.contains(u':'))
        host = u'[' + host + u']';
    m_base = u"http://%1:%2"_s.arg(host).arg(m_port);
    m_startedAt = QDateTime::currentSecsSinceEpoch();
    m_expiresAt = m_options.expiryDays < 0 ? 0 : m_startedAt + qint64(m_options.expiryDays) * 86400;
    m_media = std::make_shared<MediaLibrary>(m_options.mediaDirectory);
    m_catalogue = std::make_shared<Catalogue>(m_options.seed, m_options.preset, m_base);
    if (m_options.titledMedia)
        m_titled = std::make_unique<TitledMedia>();
    return m_base;
}

QString Server::playlistAddress() const
{
    return m_base + u"/get.php?username="_s + QString::fromLatin1(QUrl::toPercentEncoding(m_options.username))
           + u"&password="_s + QString::fromLatin1(QUrl::toPercentEncoding(m_options.password))
           + u"&type=m3u_plus&output=ts"_s;
}

QStringList Server::routeNames()
{
    return providerActions
           + QStringList{u"account"_s, u"player_api"_s, u"get.php"_s, u"xmltv"_s, u"live"_s, u"movie"_s, u"series"_s,
                         u"timeshift"_s, u"hls"_s, u"streams"_s, u"images"_s, u"lists"_s, u"playlist_information"_s,
                         u"get_app_setting"_s, u"device"_s, u"*"_s};
}

Server::Request Server::parse(const QHttpServerRequest &httpRequest) const
{
    Request request;
    const QUrl url = httpRequest.url();
    switch (httpRequest.method()) {
    case QHttpServerRequest::Method::Head: request.method = "HEAD"; break;
    case QHttpServerRequest::Method::Get: request.method = "GET"; break;
    default: request.method = "OTHER"; break;
    }
    HttpWire::Target target = HttpWire::target(url.path(QUrl::FullyEncoded).toUtf8(), url.query(QUrl::FullyEncoded).toUtf8());
    request.segments = std::move(target.segments);
    request.path = std::move(target.path);
    request.query = std::move(target.query);
    request.range = httpRequest.value("Range");
    request.target = url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority);
    // Browsers say where a request comes from; command-line clients and the player say nothing.
    const QByteArray fetchSite = httpRequest.value("Sec-Fetch-Site");
    const QByteArray origin = httpRequest.value("Origin");
    request.fromWebPage = (!fetchSite.isEmpty() && fetchSite != "same-origin" && fetchSite != "none")
        || (!origin.isEmpty() && origin != m_base.toUtf8());
    request.acceptEncoding = httpRequest.value("Accept-Encoding");
    request.userAgent = httpRequest.value("User-Agent");

    // Route names, most particular first.
    const QString first = request.segments.value(0);
    if (request.segments.size() == 1 && first == "player_api.php"_L1) {
        const QString action = request.value(u"action"_s).value_or(QString());
        request.routes = {action.isEmpty() ? u"account"_s : action, u"player_api"_s};
    } else if (request.segments.size() == 1 && first == "get.php"_L1) {
        request.routes = {u"get.php"_s, u"player_api"_s};
    } else if (request.segments.size() == 1 && first == "xmltv.php"_L1) {
        request.routes = {u"xmltv"_s, u"player_api"_s};
    } else if (first == "live"_L1 || first == "movie"_L1 || first == "series"_L1 || first == "timeshift"_L1
               || first == "hls"_L1) {
        request.routes = {first, u"streams"_s};
    } else if (first == "images"_L1) {
        request.routes = {u"images"_s};
    } else if (first == "lists"_L1) {
        request.routes = {u"lists"_s};
    } else if (first == "api"_L1 && request.segments.size() == 4) {
        request.routes = {request.segments[1], u"device"_s};
    } else if (first == "lab"_L1) {
        return request; // the control endpoint has no faults
    } else {
        request.routes = {u"other"_s};
    }
    request.routes.append(u"*"_s);
    return request;
}

bool Server::handleRequest(const QHttpServerRequest &httpRequest, QTcpSocket *socket)
{
    const Request request = parse(httpRequest);
    if (!request.routes.isEmpty()) {
        m_counts[request.routes.first()] += 1;
        m_userAgents[request.routes.first()] = request.userAgent;
        Q_EMIT requestReceived(request.routes.first(), request.path);
    }
    const std::optional<Fault> fault = m_faults.take(request.routes);
    if (fault && fault->kind == Fault::Kind::stall)
        return true; // taken, never answered; the socket goes when the client gives up
    if (fault && fault->kind == Fault::Kind::delay) {
        QPointer<QTcpSocket> guarded(socket);
        QTimer::singleShot(fault->milliseconds, this, [this, guarded, request] {
            if (guarded)
                respond(request, guarded, std::nullopt);
        });
        return true;
    }
    respond(request, socket, fault);
    return true;
}

void Server::missingHandler(const QHttpServerRequest &, QTcpSocket *socket)
{
    send(socket, {}, Answer::json(errorJson(404, u"not found"_s), 404), std::nullopt);
}

void Server::respond(const Request &request, QTcpSocket *socket, std::optional<Fault> fault)
{
    if (!m_catalogue) {
        send(socket, request, Answer::json(errorJson(503, u"not started"_s), 503), std::nullopt);
        return;
    }
    const QString first = request.segments.value(0);
    if (const QString key = streamKey(request); !key.isEmpty() && !admitStream(key, socket)) {
        // As panels refuse: a plain status with a short text, nothing a player could tell apart
        // from any other refusal but by asking the account.
        ++m_refusedConnections;
        send(socket, request, Answer::text(403, "text/plain", "Maximum connections reached\n"), std::nullopt);
        return;
    }
    // Faults that replace the answer need no picture drawn.
    const bool answerKept = !fault || fault->kind == Fault::Kind::cut || fault->kind == Fault::Kind::breakOff
                            || fault->kind == Fault::Kind::trickle || fault->kind == Fault::Kind::shortBody
                            || fault->kind == Fault::Kind::silence;
    if (m_titled && answerKept && (first == "live"_L1 || first == "movie"_L1 || first == "series"_L1 || first == "hls"_L1)) {
        finishWithMedia(request, socket, fault);
        return;
    }
    Answer answer;
    if (first == "player_api.php"_L1 && request.segments.size() == 1)
        answer = providerAnswer(request);
    else if (first == "get.php"_L1 && request.segments.size() == 1) {
        if (request.value(u"username"_s) != m_options.username || request.value(u"password"_s) != m_options.password)
            answer = authFailureAnswer();
        else if (!m3uAnswer(request, socket, fault, answer))
            return; // answered once its length is known
    }
    else if (first == "lists"_L1 && request.segments == QStringList{u"lists"_s, u"plain.m3u"_s}) {
        // The same list at an address that says nothing of a provider account.
        if (!m3uAnswer(request, socket, fault, answer))
            return;
    }
    else if (first == "xmltv.php"_L1 && request.segments.size() == 1) {
        if (!xmltvAnswer(request, socket, fault, answer))
            return; // answered once its length is known
    }
    else if (first == "live"_L1 || first == "movie"_L1 || first == "series"_L1)
        answer = streamAnswer(request);
    else if (first == "timeshift"_L1)
        answer = timeshiftAnswer(request);
    else if (first == "hls"_L1)
        answer = segmentAnswer(request);
    else if (first == "images"_L1)
        answer = imageAnswer(request);
    else if (first == "api"_L1)
        answer = deviceAnswer(request);
    else if ((first == "lab"_L1 || first.isEmpty()) && request.fromWebPage)
        answer = Answer::json(errorJson(403, u"the lab is switched from this machine, not from web pages"_s), 403);
    else if (first == "lab"_L1 || first.isEmpty())
        answer = controlAnswer(request);
    else
        answer = Answer::json(errorJson(404, u"not found"_s), 404);
    send(socket, request, std::move(answer), fault);
}

void Server::finishWithMedia(const Request &request, QTcpSocket *socket, const std::optional<Fault> &fault)
{
    // Streams with the name on the picture: rendered once, on first use, while the request
    // waits. The plain answer decides first whether there is anything to play at all, and is
    // what the request gets when rendering fails.
    const QString first = request.segments.value(0);
    const auto plain = [this, first](const Request &asked) {
        return first == "hls"_L1 ? segmentAnswer(asked) : streamAnswer(asked);
    };
    // Asked without its range: a range fits the drawn file, not necessarily the plain one.
    Request whole = request;
    whole.range.clear();
    const auto target = idAndExtension(request.segments.value(request.segments.size() - 1));
    std::optional<TitledMedia::Item> item;
    if (target && plain(whole).status / 100 == 2) {
        if (first == "live"_L1 || first == "hls"_L1) {
            const qint64 id = first == "live"_L1 ? target->first : number(request.segments[1]).value_or(0);
            if (const LiveChannel *channel = m_catalogue->channel(id))
                item = TitledMedia::Item{channel->clip, channel->name, u"live-%1"_s.arg(channel->id), u"ts"_s};
        } else if (first == "movie"_L1) {
            if (const Movie *movie = m_catalogue->movie(target->first))
                item = TitledMedia::Item{movie->clip, movie->name, u"movie-%1"_s.arg(movie->id), target->second};
        } else if (const auto episode = m_catalogue->episode(target->first)) {
            const QString title = u"%1 · S%2 E%3"_s.arg(episode->show->name).arg(episode->season).arg(episode->episode);
            item = TitledMedia::Item{episode->show->clip, title, u"episode-%1"_s.arg(target->first), target->second};
        }
    }
    if (!item) {
        send(socket, request, plain(request), fault);
        return;
    }

    QPointer<QTcpSocket> guarded(socket);
    m_titled->request(*item, socket, [this, guarded, request, fault, first, target, plain](const QString &path) {
        if (!guarded)
            return;
        const bool clipForm = first == "live"_L1 || first == "hls"_L1;
        const std::shared_ptr<const TsClip> clip = clipForm && !path.isEmpty() ? m_titled->clip(path) : nullptr;
        Answer answer;
        if (path.isEmpty() || (clipForm && !clip)) {
            answer = plain(request); // rendering failed: the clip made at build time
        } else if (first == "live"_L1) {
            answer = liveAnswer(clip);
        } else if (first == "hls"_L1) {
            answer = Answer::text(200, "video/mp2t", clip->repetition(target->first));
            answer.mediaRate = clip->bytesPerSecond();
        } else {
            answer = fileAnswer(path, videoType(target->second), request, MediaLibrary::movieSeconds);
        }
        send(guarded, request, std::move(answer), fault);
    });
}

void Server::send(QTcpSocket *socket, const Request &request, Answer answer, const std::optional<Fault> &fault)
{
    if (!socket)
        return;
    SendOptions options;
    if (fault) {
        switch (fault->kind) {
        case Fault::Kind::status:
            answer = Answer::json(errorJson(fault->status, u"mavu-lab fault"_s), fault->status);
            break;
        case Fault::Kind::notJson:
            answer = Answer::text(200, "text/html; charset=UTF-8",
                                  "<html><head><title>502 Bad Gateway</title></head>"
                                  "<body><h1>502 Bad Gateway</h1><p>nginx</p></body></html>\n");
            break;
        case Fault::Kind::notFound:
            answer = Answer::text(404, "text/html; charset=UTF-8", "<html><body><h1>404 Not Found</h1></body></html>\n");
            break;
        case Fault::Kind::cut:
            if (answer.length)
                options.stopAfter = *answer.length / 2;
            else if (answer.cutAfter > 0)
                options.stopAfter = answer.cutAfter;
            else
                options.stopAfter = std::max<qint64>(1, answer.mediaRate);
            break;
        case Fault::Kind::breakOff:
            if (answer.mediaRate > 0)
                options.stopAfter = qint64(fault->seconds) * answer.mediaRate;
            else if (answer.length)
                options.stopAfter = *answer.length / 2;
            break;
        case Fault::Kind::huge:
            answer = hugeAnswer(fault->megabytes);
            break;
        case Fault::Kind::redirect:
            answer = redirectAnswer(request, fault->target);
            break;
        case Fault::Kind::noAuth:
            answer = Answer::json(R"({"user_info":{"auth":0}})");
            break;
        default:
            break;
        }
    }
    // A stream that is not sent (not found, a fault's status, refused) holds no connection.
    if (m_streamSockets.contains(socket) && m_streamSockets.value(socket) == streamKey(request)) {
        if (answer.status / 100 != 2)
            releaseStream(socket, false);
        else
            m_highestConnections = std::max(m_highestConnections, activeConnections());
    }
    if (options.stopAfter && answer.length && *options.stopAfter >= *answer.length)
        options.stopAfter.reset(); // a short body with a long break: nothing to break
    if (answer.paced) {
        options.bytesPerSecond = answer.mediaRate;
        options.burst = 2 * answer.mediaRate; // a player starts quickly, then keeps pace
    }
    options.closeAtEnd = !answer.length;
    HttpWire::HeaderList headers = answer.headers;
    headers.append(HttpWire::Header("Server", "mavu-lab"));
    std::optional<qint64> promised = answer.length;
    if (fault && fault->kind == Fault::Kind::shortBody && promised)
        *promised += 4096; // the body ends, the connection stays open, the rest never comes
    const QByteArray head = HttpWire::head(answer.status, answer.contentType, promised, headers);
    BodySource body = request.method == "HEAD" ? BodySource() : std::move(answer.body);
    if (fault && fault->kind == Fault::Kind::silence) {
        socket->write(head); // and nothing more, until the client gives up
        return;
    }
    if (fault && fault->kind == Fault::Kind::trickle) {
        trickle(socket, head, std::move(body), std::chrono::milliseconds(fault->milliseconds), options.closeAtEnd);
        return;
    }
    Transfer::start(socket, head, std::move(body), options);
}

Server::Answer Server::hugeAnswer(int megabytes)
{
    // A list of rows as a catalogue has them, as long as asked: whole rows, one piece at a time,
    // so that not even an endless answer is ever held whole.
    static const QByteArray row = R"({"stream_id":"0000000000","name":"A huge answer","category_id":"1"})";
    const qint64 rows = megabytes > 0 ? std::max<qint64>(1, qint64(megabytes) * 1024 * 1024 / (row.size() + 1)) : -1;
    struct State
    {
        qint64 written = 0;
        bool opened = false;
        bool closed = false;
        QByteArray pending;
    };
    auto state = std::make_shared<State>();
    Answer answer;
    if (rows > 0)
        answer.length = 2 + rows * row.size() + (rows - 1);
    answer.body = [state, rows](qint64 max) -> QByteArray {
        while (state->pending.size() < max && !state->closed) {
            if (!state->opened) {
                state->pending += '[';
                state->opened = true;
            } else if (rows >= 0 && state->written == rows) {
                state->pending += ']';
                state->closed = true;
                break;
            }
            if (state->written > 0)
                state->pending += ',';
            state->pending += row;
            ++state->written;
        }
        QByteArray chunk = state->pending.left(max);
        state->pending.remove(0, chunk.size());
        return chunk;
    };
    return answer;
}

Server::Answer Server::redirectAnswer(const Request &request, Fault::Target target)
{
    Answer answer = Answer::json(errorJson(302, u"moved"_s), 302);
    const QByteArray location = target == Fault::Target::file ? QByteArray("file:///etc/passwd") : request.target;
    answer.headers.append(HttpWire::Header("Location", location));
    return answer;
}

bool Server::credentialsMatch(const QStringList &segments) const
{
    // The password may hold "/" and so span several segments.
    return segments.join(u'/') == m_options.username + u'/' + m_options.password && !segments.isEmpty();
}

// --- the provider ----------------------------------------------------------------------------

Server::Answer Server::authFailureAnswer() const
{
    if (m_options.authFailure == Options::AuthFailure::emptyList)
        return Answer::json("[]");
    return Answer::json(R"({"user_info":{"auth":0}})", 401);
}

Server::Answer Server::providerAnswer(const Request &request) const
{
    if (request.value(u"username"_s) != m_options.username || request.value(u"password"_s) != m_options.password)
        return authFailureAnswer();
    const QString action = request.value(u"action"_s).value_or(QString());
    const Catalogue &catalogue = *m_catalogue;
    const std::optional<QString> category = request.value(u"category_id"_s);
    const qint64 now = QDateTime::currentSecsSinceEpoch();

    if (action.isEmpty())
        return accountAnswer();
    if (action == "get_live_categories"_L1)
        return Answer::json(catalogue.categoriesAnswer(Kind::live));
    if (action == "get_vod_categories"_L1)
        return Answer::json(catalogue.categoriesAnswer(Kind::movie));
    if (action == "get_series_categories"_L1)
        return Answer::json(catalogue.categoriesAnswer(Kind::series));
    if (action == "get_live_streams"_L1)
        return Answer::pieces(catalogue.streamsAnswer(Kind::live, category));
    if (action == "get_vod_streams"_L1)
        return Answer::pieces(catalogue.streamsAnswer(Kind::movie, category));
    if (action == "get_series"_L1)
        return Answer::pieces(catalogue.streamsAnswer(Kind::series, category));
    if (action == "get_vod_info"_L1)
        return Answer::json(catalogue.vodInfoAnswer(request.value(u"vod_id"_s).value_or(QString())));
    if (action == "get_series_info"_L1)
        return Answer::json(catalogue.seriesInfoAnswer(request.value(u"series_id"_s).value_or(QString())));
    if (action == "get_short_epg"_L1 || action == "get_simple_data_table"_L1) {
        const LiveChannel *channel = catalogue.channel(number(request.value(u"stream_id"_s).value_or(QString())).value_or(0));
        if (action == "get_simple_data_table"_L1)
            return Answer::json(Guide::dataTableAnswer(catalogue, channel, now));
        // Panels give four entries unless told otherwise.
        const int limit = int(std::clamp<qint64>(number(request.value(u"limit"_s).value_or(QString())).value_or(4), 0, 200));
        return Answer::json(Guide::shortEpgAnswer(catalogue, channel, now, limit));
    }
    return Answer::json("[]");
}

Server::Answer Server::accountAnswer() const
{
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QByteArray out;
    JsonOut json(out);
    json.beginObject();
    json.key("user_info").beginObject();
    json.key("username").text(m_options.username);
    json.key("password").text(m_options.password);
    json.key("message").text("Welcome to mavu-lab");
    json.key("auth").number(1);
    json.key("status").text("Active");
    json.key("exp_date");
    if (m_expiresAt > 0)
        json.text(QLatin1StringView(QByteArray::number(m_expiresAt)));
    else
        json.null();
    json.key("is_trial").text("0");
    json.key("active_cons").text(QLatin1StringView(QByteArray::number(activeConnections())));
    json.key("created_at").text(QLatin1StringView(QByteArray::number(m_startedAt - 400 * 86400)));
    json.key("max_connections").text(QLatin1StringView(QByteArray::number(m_options.maxConnections)));
    json.key("allowed_output_formats").beginArray().text("m3u8").text("ts").endArray();
    json.endObject();
    json.key("server_info").beginObject();
    json.key("url").text(m_options.address.toString());
    json.key("port").text(QLatin1StringView(QByteArray::number(m_port)));
    json.key("https_port").text("");
    json.key("server_protocol").text("http");
    json.key("rtmp_port").text("");
    json.key("timezone").text(QString::fromUtf8(QTimeZone::systemTimeZoneId()));
    json.key("timestamp_now").number(now);
    json.key("time_now").text(Guide::localText(now));
    json.endObject();
    json.endObject();
    return Answer::json(out);
}

qint64 Server::guideSeconds() const
{
    const double days = m_options.guideDays >= 0 ? m_options.guideDays : m_options.preset == Preset::large ? 0.25 : 2;
    return qint64(days * 86400);
}

bool Server::xmltvAnswer(const Request &request, QTcpSocket *socket, const std::optional<Fault> &fault, Answer &answer)
{
    if (request.value(u"username"_s) != m_options.username || request.value(u"password"_s) != m_options.password) {
        answer = authFailureAnswer();
        return true;
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 from = now - guideSeconds();
    const qint64 to = now + guideSeconds();
    answer.contentType = "application/xml; charset=UTF-8";
    // Compressed as it goes when the client takes gzip, as panels behind a web server answer;
    // the length is then unknown, and a cut comes after the first pieces.
    if (request.acceptEncoding.contains("gzip")) {
        answer.headers.append(HttpWire::Header("Content-Encoding", "gzip"));
        answer.body = Xmltv::gzipSource(m_catalogue, from, to);
        answer.cutAfter = 64 * 1024;
        return true;
    }
    // Plain, with its length, which takes writing the whole guide once: done on a worker
    // thread (a second or two for the large catalogue), so that the lab keeps answering.
    QPointer<QTcpSocket> guarded(socket);
    QtConcurrent::run([catalogue = m_catalogue, from, to] { return Xmltv::size(catalogue, from, to); })
        .then(this, [this, guarded, request, fault, from, to, answer](qint64 length) mutable {
            if (!guarded)
                return;
            answer.length = length;
            answer.body = Xmltv::source(m_catalogue, from, to);
            send(guarded, request, std::move(answer), fault);
        });
    return false;
}

bool Server::m3uAnswer(const Request &request, QTcpSocket *socket, const std::optional<Fault> &fault, Answer &answer)
{
    answer.contentType = "audio/x-mpegurl";
    if (m_m3u) {
        m3uBody(answer);
        return true;
    }
    QPointer<QTcpSocket> guarded(socket);
    m_m3uWaiting.append([this, guarded, request, fault, answer]() mutable {
        if (!guarded)
            return;
        m3uBody(answer);
        send(guarded, request, std::move(answer), fault);
    });
    if (m_m3uWaiting.size() > 1)
        return false; // already being written
    // A second or so for the large catalogue: on a worker thread, so that the lab keeps answering.
    const M3u::Account account{m_base, m_options.username, m_options.password};
    QtConcurrent::run([catalogue = m_catalogue, account] {
        return M3u::pieces(catalogue, account, m3uPiece);
    }).then(this, [this](QList<QByteArray> pieces) {
        m_m3uSize = 0;
        for (const QByteArray &piece : std::as_const(pieces))
            m_m3uSize += piece.size();
        m_m3u = std::make_shared<const QList<QByteArray>>(std::move(pieces));
        for (const std::function<void()> &waiting : std::exchange(m_m3uWaiting, {}))
            waiting();
    });
    return false;
}

void Server::m3uBody(Answer &answer) const
{
    answer.length = m_m3uSize;
    // MAVU_LAB_M3U_AS_SENT: written again for each answer as before, to measure against.
    static const bool asSent = qEnvironmentVariableIsSet("MAVU_LAB_M3U_AS_SENT");
    if (asSent)
        answer.body = M3u::source(m_catalogue, {m_base, m_options.username, m_options.password});
    else
        answer.body = piecesSource(*m_m3u);
}

// --- streams ---------------------------------------------------------------------------------

std::shared_ptr<const TsClip> Server::baseClip(int index) const
{
    const TsClip *clip = m_media->liveClip(index);
    // Shares the library's lifetime: a stream keeps what it sends alive.
    return clip ? std::shared_ptr<const TsClip>(m_media, clip) : nullptr;
}

Server::Answer Server::liveAnswer(std::shared_ptr<const TsClip> clip) const
{
    struct Position
    {
        qint64 round = 0;
        qint64 offset = 0;
    };
    auto position = std::make_shared<Position>();
    Answer answer;
    answer.contentType = "video/mp2t";
    answer.mediaRate = clip->bytesPerSecond();
    answer.paced = true;
    answer.body = [position, clip](qint64 max) -> QByteArray {
        const qint64 length = std::min(max, clip->size() - position->offset);
        QByteArray chunk = clip->bytes(position->round, position->offset, length);
        position->offset += length;
        if (position->offset >= clip->size()) {
            position->offset = 0;
            ++position->round;
        }
        return chunk;
    };
    return answer;
}

Server::Answer Server::fileAnswer(const QString &path, const QByteArray &contentType, const Request &request,
                                  double seconds) const
{
    const qint64 size = QFileInfo(path).size();
    const HttpWire::Range range = HttpWire::range(request.range, size);
    Answer answer;
    answer.contentType = contentType;
    answer.headers.append(HttpWire::Header("Accept-Ranges", "bytes"));
    answer.mediaRate = seconds > 0 ? qint64(double(size) / seconds) : 0;
    if (range.kind == HttpWire::Range::Kind::unsatisfiable) {
        answer.status = 416;
        answer.length = 0;
        answer.headers.append(HttpWire::Header("Content-Range", range.contentRange(size)));
        return answer;
    }
    if (range.kind == HttpWire::Range::Kind::partial) {
        answer.status = 206;
        answer.headers.append(HttpWire::Header("Content-Range", range.contentRange(size)));
    }
    answer.length = range.length();
    answer.body = fileSource(path, range.from, range.length());
    return answer;
}

Server::Answer Server::streamAnswer(const Request &request) const
{
    const Answer notFound = Answer::text(404, "text/plain", "404 Not Found\n");
    if (request.segments.size() < 4)
        return notFound;
    if (!credentialsMatch(request.segments.mid(1, request.segments.size() - 2)))
        return Answer::text(401, "text/plain", "401 Unauthorized\n");
    const auto target = idAndExtension(request.segments.last());
    if (!target)
        return notFound;
    const auto &[id, extension] = *target;
    const QString kind = request.segments.first();
    if (kind == "live"_L1) {
        const LiveChannel *channel = m_catalogue->channel(id);
        auto clip = channel ? baseClip(channel->clip) : nullptr;
        if (!clip || extension != "ts"_L1)
            return notFound;
        return liveAnswer(std::move(clip));
    }
    int clip = -1;
    if (kind == "movie"_L1) {
        if (const Movie *movie = m_catalogue->movie(id))
            clip = movie->clip;
    } else if (const auto episode = m_catalogue->episode(id)) {
        clip = episode->show->clip;
    }
    const QString path = clip < 0 ? QString() : m_media->moviePath(clip, extension);
    if (path.isEmpty())
        return notFound;
    return fileAnswer(path, videoType(extension), request, MediaLibrary::movieSeconds);
}

Server::Answer Server::timeshiftAnswer(const Request &request) const
{
    // /timeshift/USER/PASS/DURATION/START/ID.m3u8
    const QStringList &segments = request.segments;
    const Answer notFound = Answer::text(404, "text/plain", "404 Not Found\n");
    if (segments.size() < 6)
        return notFound;
    if (!credentialsMatch(segments.mid(1, segments.size() - 4)))
        return Answer::text(401, "text/plain", "401 Unauthorized\n");
    const auto minutes = number(segments[segments.size() - 3]);
    const auto start = Guide::catchupStart(segments[segments.size() - 2]);
    const auto target = idAndExtension(segments.last());
    if (!minutes || *minutes < 1 || *minutes > longestCatchupMinutes || !start || !target || target->second != "m3u8"_L1)
        return notFound;
    const LiveChannel *channel = m_catalogue->channel(target->first);
    if (!channel || !channel->archive)
        return notFound;

    // A recording: a fixed list of segments whose lengths add up to exactly the duration asked.
    const qint64 count = *minutes * 60 / segmentSeconds;
    QByteArray playlist = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:" + QByteArray::number(segmentSeconds)
                          + "\n#EXT-X-MEDIA-SEQUENCE:0\n#EXT-X-PLAYLIST-TYPE:VOD\n";
    const QByteArray entry = "#EXTINF:" + QByteArray::number(segmentSeconds) + ".000,\n/hls/" + QByteArray::number(channel->id) + '/';
    playlist.reserve(playlist.size() + count * (entry.size() + 12));
    for (qint64 i = 0; i < count; ++i)
        playlist += entry + QByteArray::number(i) + ".ts\n";
    playlist += "#EXT-X-ENDLIST\n";
    return Answer::text(200, "application/vnd.apple.mpegurl", playlist);
}

Server::Answer Server::segmentAnswer(const Request &request) const
{
    // /hls/CHANNEL/N.ts: repetition N of the channel's clip, so that the segments join up.
    const Answer notFound = Answer::text(404, "text/plain", "404 Not Found\n");
    if (request.segments.size() != 3)
        return notFound;
    const LiveChannel *channel = m_catalogue->channel(number(request.segments[1]).value_or(0));
    const auto target = idAndExtension(request.segments[2]);
    const qint64 most = qint64(longestCatchupMinutes) * 60 / segmentSeconds;
    if (!channel || !channel->archive || !target || target->second != "ts"_L1 || target->first < 0 || target->first >= most)
        return notFound;
    const TsClip *clip = m_media->liveClip(channel->clip);
    if (!clip)
        return notFound;
    Answer answer = Answer::text(200, "video/mp2t", clip->repetition(target->first));
    answer.mediaRate = clip->bytesPerSecond();
    return answer;
}

Server::Answer Server::imageAnswer(const Request &request) const
{
    const QStringList relative = request.segments.mid(1);
    const QString path = relative.value(0) == "missing"_L1 ? QString() : m_media->imagePath(relative);
    if (path.isEmpty())
        return Answer::text(404, "text/plain", "404 Not Found\n");
    const QByteArray type = path.endsWith(".png"_L1) ? "image/png" : "image/jpeg";
    Answer answer = fileAnswer(path, type, request, 0);
    answer.headers.append(HttpWire::Header("Cache-Control", "max-age=86400"));
    return answer;
}

// --- stream connections ----------------------------------------------------------------------

QString Server::streamKey(const Request &request)
{
    // A catch-up programme's list and its segments are one stream, as a panel counts them.
    const QString first = request.segments.value(0);
    if (first == "live"_L1 || first == "movie"_L1 || first == "series"_L1) {
        if (const auto target = idAndExtension(request.segments.value(request.segments.size() - 1)))
            return first + u'/' + QString::number(target->first);
    } else if (first == "timeshift"_L1) {
        if (const auto target = idAndExtension(request.segments.value(request.segments.size() - 1)))
            return u"catchup/"_s + QString::number(target->first);
    } else if (first == "hls"_L1 && request.segments.size() > 1) {
        return u"catchup/"_s + request.segments[1];
    }
    return {};
}

int Server::activeConnections() const
{
    QSet<QString> keys;
    for (const QString &key : m_streamSockets)
        keys.insert(key);
    const qint64 now = m_clock.elapsed();
    for (auto it = m_lingering.cbegin(); it != m_lingering.cend(); ++it) {
        if (it.value() > now)
            keys.insert(it.key());
    }
    return int(keys.size());
}

bool Server::admitStream(const QString &key, QTcpSocket *socket)
{
    const auto held = m_streamSockets.constFind(socket);
    if (held != m_streamSockets.cend() && *held == key)
        return true; // the next segment on the same connection
    if (held != m_streamSockets.cend())
        releaseStream(socket, true); // the connection moved on to another stream
    const qint64 now = m_clock.elapsed();
    for (auto it = m_lingering.begin(); it != m_lingering.end();)
        it = it.value() <= now ? m_lingering.erase(it) : std::next(it);
    const bool counted = m_lingering.contains(key) || std::find(m_streamSockets.cbegin(), m_streamSockets.cend(), key) != m_streamSockets.cend();
    if (!counted && m_options.maxConnections > 0 && activeConnections() >= m_options.maxConnections)
        return false;
    m_lingering.remove(key);
    m_streamSockets.insert(socket, key);
    if (held == m_streamSockets.cend()) {
        // Whichever comes first; the second finds nothing left to release.
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { releaseStream(socket, true); });
        connect(socket, &QObject::destroyed, this, [this, socket] { releaseStream(socket, true); });
    }
    return true;
}

void Server::releaseStream(QTcpSocket *socket, bool linger)
{
    const auto held = m_streamSockets.find(socket);
    if (held == m_streamSockets.end())
        return;
    const QString key = *held;
    m_streamSockets.erase(held);
    const bool stillCarried = std::find(m_streamSockets.cbegin(), m_streamSockets.cend(), key) != m_streamSockets.cend();
    if (linger && !stillCarried && m_options.slowCloseMs > 0)
        m_lingering.insert(key, m_clock.elapsed() + m_options.slowCloseMs);
}

// --- the device service ----------------------------------------------------------------------

Server::Answer Server::deviceAnswer(const Request &request) const
{
    // /api/playlist_information/ID/macos and /api/get_app_setting/ID/macos
    const QStringList &segments = request.segments;
    if (segments.size() != 4 || segments[3] != "macos"_L1 || segments[2].isEmpty())
        return Answer::json(errorJson(404, u"not found"_s), 404);
    if (segments[1] == "playlist_information"_L1)
        return Answer::json(DeviceService::playlistInformation(segments[2], playlistAddress(), m_expiresAt));
    if (segments[1] == "get_app_setting"_L1)
        return Answer::json(DeviceService::appSettings(m_base));
    return Answer::json(errorJson(404, u"not found"_s), 404);
}

// --- control ---------------------------------------------------------------------------------

QByteArray Server::statusJson() const
{
    QByteArray out;
    JsonOut json(out);
    json.beginObject();
    json.key("base").text(m_base);
    json.key("preset").text(presetName(m_options.preset));
    json.key("seed").number(qint64(m_options.seed));
    json.key("username").text(m_options.username);
    json.key("password").text(m_options.password);
    json.key("playlist").text(playlistAddress());
    json.key("live").number(qint64(m_catalogue->live().size()));
    json.key("movies").number(qint64(m_catalogue->movies().size()));
    json.key("series").number(qint64(m_catalogue->shows().size()));
    json.key("answer_bytes").beginObject();
    json.key("get_live_streams").number(m_catalogue->streamsAnswerSize(Kind::live));
    json.key("get_vod_streams").number(m_catalogue->streamsAnswerSize(Kind::movie));
    json.key("get_series").number(m_catalogue->streamsAnswerSize(Kind::series));
    json.endObject();
    json.key("media_complete").boolean(m_media->isComplete());
    json.key("connections").beginObject();
    json.key("max").number(m_options.maxConnections);
    json.key("current").number(activeConnections());
    json.key("highest").number(m_highestConnections);
    json.key("refused").number(m_refusedConnections);
    json.key("slow_close_ms").number(m_options.slowCloseMs);
    json.endObject();
    json.key("faults").beginArray();
    for (const auto &[route, fault] : m_faults.all())
        json.beginObject().key("route").text(route).key("fault").text(fault.describe()).endObject();
    json.endArray();
    json.key("routes").beginArray();
    for (const QString &route : routeNames())
        json.text(route);
    json.endArray();
    json.key("fault_kinds").beginArray();
    for (const QString &kind : Fault::kindNames())
        json.text(kind);
    json.endArray();
    json.endObject();
    return out;
}

Server::Answer Server::controlAnswer(const Request &request)
{
    // /lab, /lab/fault?route=R&kind=K[&ms=N][&status=N][&seconds=N][&mb=N][&to=loop|file][&count=N],
    // /lab/connections?max=N&slow_close_ms=N, /lab/reset
    const QString command = request.segments.value(1);
    if (command == "fault"_L1) {
        const QString route = request.value(u"route"_s).value_or(QString());
        const QString kindText = request.value(u"kind"_s).value_or(QString());
        if (route.isEmpty() || !routeNames().contains(route))
            return Answer::json(errorJson(400, u"unknown route; see /lab for the list"_s), 400);
        if (kindText == "none"_L1 || kindText == "off"_L1) {
            m_faults.clear(route);
            return Answer::json(statusJson());
        }
        // Each kind takes at most one argument, under its own name.
        QString text = kindText;
        const QString argumentName = kindText == "delay"_L1 || kindText == "trickle"_L1 ? u"ms"_s
                                     : kindText == "status"_L1                      ? u"status"_s
                                     : kindText == "break"_L1 || kindText == "flaky"_L1 ? u"seconds"_s
                                     : kindText == "huge"_L1                        ? u"mb"_s
                                     : kindText == "redirect"_L1                    ? u"to"_s
                                                                                    : QString();
        if (const auto argument = argumentName.isEmpty() ? std::nullopt : request.value(argumentName))
            text += u':' + *argument;
        std::optional<Fault> fault = Fault::parse(text);
        if (!fault)
            return Answer::json(errorJson(400, u"unknown fault kind or argument; see /lab for the kinds"_s), 400);
        if (const auto count = request.value(u"count"_s)) {
            const auto value = number(*count);
            if (!value || *value < 1)
                return Answer::json(errorJson(400, u"count must be 1 or more"_s), 400);
            fault->remaining = int(*value);
        }
        m_faults.set(route, *fault);
        return Answer::json(statusJson());
    }
    if (command == "connections"_L1) {
        // /lab/connections?max=N&slow_close_ms=N: either or both.
        const auto read = [&](const QString &name, qint64 most) -> std::optional<std::optional<qint64>> {
            const auto text = request.value(name);
            if (!text)
                return std::optional<qint64>(); // not given
            const auto value = number(*text);
            if (!value || *value < 0 || *value > most)
                return std::nullopt; // given, but no count
            return value;
        };
        const auto max = read(u"max"_s, 1000);
        const auto slow = read(u"slow_close_ms"_s, 600000);
        if (!max || !slow)
            return Answer::json(errorJson(400, u"max and slow_close_ms take whole numbers, 0 or more"_s), 400);
        if (*max)
            setMaxConnections(int(**max));
        if (*slow)
            setSlowClose(int(**slow));
        return Answer::json(statusJson());
    }
    if (command == "reset"_L1) {
        m_faults.clearAll();
        resetConnectionCount();
        return Answer::json(statusJson());
    }
    if (command.isEmpty())
        return Answer::json(statusJson());
    return Answer::json(errorJson(404, u"not found"_s), 404);
}

} // namespace Lab
