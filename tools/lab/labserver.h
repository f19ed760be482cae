#pragma once

#include "catalogue.h"
#include "faults.h"
#include "httpwire.h"
#include "media.h"
#include "transfer.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QString>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

class QHttpServerRequest;
class QTcpSocket;

namespace Lab {

class TitledMedia;

struct Options
{
    quint64 seed = 1;
    Preset preset = Preset::demo;
    // The one account the provider side accepts.
    QString username = QStringLiteral("lab");
    QString password = QStringLiteral("lab");
    QHostAddress address = QHostAddress::LocalHost;
    quint16 port = 0; // 0: any free port
    QString mediaDirectory = MediaLibrary::defaultDirectory();
    // How wrong credentials are answered: 401 with a JSON body, or 200 with an empty list.
    enum class AuthFailure { unauthorized, emptyList };
    AuthFailure authFailure = AuthFailure::unauthorized;
    // The account's expiry, this many days after the start; negative: it never expires.
    int expiryDays = 45;
    // Faults in force from the start, by route.
    QList<std::pair<QString, Fault>> faults;
    // Days of programme guide before and after the current time in "/xmltv.php"; negative:
    // the preset's own (2 days for the demo, about 13 MB; a quarter day for the large
    // catalogue, about 380 MB).
    double guideDays = -1;
    // Draw each channel's or title's name on its picture (ffmpeg renders on first use and keeps
    // the result for the run); otherwise the clips made at build time are served as they are.
    bool titledMedia = false;
    // Concurrent stream connections the account may hold; 0: any number.
    int maxConnections = 1;
    // How long a closed stream connection still counts, as panels that notice a close late do.
    int slowCloseMs = 0;
};

// mavu-lab: a provider panel and the device service on one port, with a generated catalogue,
// a programme guide relative to the current time, real media and switchable faults.
//
//   Lab::Server lab({.seed = 7});
//   const QString base = lab.start();          // "http://127.0.0.1:PORT"
//   Playlist playlist{base, lab.username(), lab.password()};
//   MavuAPI::testing::setDeviceServiceBase(base);
class Server : public QAbstractHttpServer
{
    Q_OBJECT

public:
    explicit Server(Options options = {}, QObject *parent = nullptr);
    ~Server() override;

    // Listens and builds the catalogue; answers the base address ("http://127.0.0.1:PORT"), or
    // an empty text when the address cannot be listened on. The provider, the device service
    // and the media all answer under that one base.
    QString start();
    QString base() const { return m_base; }
    quint16 port() const { return m_port; }

    const Options &options() const { return m_options; }
    const QString &username() const { return m_options.username; }
    const QString &password() const { return m_options.password; }
    // The provider playlist address the device service attaches to every device:
    // "<base>/get.php?username=…&password=…&type=m3u_plus&output=ts".
    QString playlistAddress() const;
    // The account's expiry in seconds since 1970, 0 when it never expires.
    qint64 expiresAt() const { return m_expiresAt; }

    // Both exist from start() on.
    const Catalogue &catalogue() const { return *m_catalogue; }
    const MediaLibrary &media() const { return *m_media; }

    void setFault(const QString &route, const Fault &fault) { m_faults.set(route, fault); }
    void clearFault(const QString &route) { m_faults.clear(route); }
    void clearFaults() { m_faults.clearAll(); }
    const FaultTable &faults() const { return m_faults; }

    // Requests seen per route name (the most particular one: an action, "account", "live", …).
    int requestCount(const QString &route) const { return m_counts.value(route); }
    // The User-Agent the last request of a route came with.
    QByteArray userAgent(const QString &route) const { return m_userAgents.value(route); }
    // Every route name a fault can be set on.
    static QStringList routeNames();

    // Stream connections: a stream (a channel, a movie, an episode, a catch-up programme with its
    // segments) counts once however many sockets carry it, and until its last socket closed
    // (plus the slow-close time). A new stream beyond the limit is refused.
    void setMaxConnections(int count) { m_options.maxConnections = std::max(0, count); }
    void setSlowClose(int milliseconds) { m_options.slowCloseMs = std::max(0, milliseconds); }
    int activeConnections() const;
    // The most counted at once since the start or the last reset.
    int highestConnections() const { return m_highestConnections; }
    // Stream requests refused for the limit since the start or the last reset.
    int refusedConnections() const { return m_refusedConnections; }
    void resetConnectionCount()
    {
        m_highestConnections = activeConnections();
        m_refusedConnections = 0;
    }

Q_SIGNALS:
    void requestReceived(const QString &route, const QString &path);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    struct Request
    {
        QByteArray method;
        QStringList segments; // the path's segments, each percent-decoded
        QString path;         // decoded, for reports
        QList<std::pair<QString, QString>> query;
        QByteArray range;
        QByteArray target;  // the path and query as sent, for redirects back to it
        QByteArray acceptEncoding;
        QByteArray userAgent;
        QStringList routes; // most particular first
        bool fromWebPage = false; // sent by a browser on behalf of a page of another origin
        std::optional<QString> value(const QString &name) const;
    };

    struct Answer
    {
        int status = 200;
        QByteArray contentType = "application/json";
        HttpWire::HeaderList headers;
        std::optional<qint64> length; // absent: the body runs until the connection closes
        BodySource body;
        qint64 mediaRate = 0; // bytes per second of media; 0 for anything else
        bool paced = false;   // sent at its media rate (live)
        qint64 cutAfter = 0;  // where a cut fault hangs up when the length is unknown

        static Answer json(QByteArray body, int status = 200);
        static Answer pieces(QList<QByteArray> pieces, int status = 200);
        static Answer text(int status, QByteArray contentType, QByteArray body);
    };

    Request parse(const QHttpServerRequest &request) const;
    void respond(const Request &request, QTcpSocket *socket, std::optional<Fault> fault);
    void send(QTcpSocket *socket, const Request &request, Answer answer, const std::optional<Fault> &fault);
    void finishWithMedia(const Request &request, QTcpSocket *socket, const std::optional<Fault> &fault);

    Answer providerAnswer(const Request &request) const;
    Answer accountAnswer() const;
    Answer authFailureAnswer() const;
    // False when the answer goes out later, by itself.
    bool m3uAnswer(const Request &request, QTcpSocket *socket, const std::optional<Fault> &fault, Answer &answer);
    void m3uBody(Answer &answer) const;
    // False when the answer goes out later, by itself.
    bool xmltvAnswer(const Request &request, QTcpSocket *socket, const std::optional<Fault> &fault, Answer &answer);
    qint64 guideSeconds() const;
    Answer streamAnswer(const Request &request) const;
    Answer timeshiftAnswer(const Request &request) const;
    Answer segmentAnswer(const Request &request) const;
    Answer imageAnswer(const Request &request) const;
    Answer deviceAnswer(const Request &request) const;
    Answer controlAnswer(const Request &request);
    Answer liveAnswer(std::shared_ptr<const TsClip> clip) const;
    static Answer hugeAnswer(int megabytes);
    static Answer redirectAnswer(const Request &request, Fault::Target target);
    std::shared_ptr<const TsClip> baseClip(int index) const;
    Answer fileAnswer(const QString &path, const QByteArray &contentType, const Request &request, double seconds) const;
    bool credentialsMatch(const QStringList &segments) const;
    QByteArray statusJson() const;
    static QString streamKey(const Request &request);
    bool admitStream(const QString &key, QTcpSocket *socket);
    void releaseStream(QTcpSocket *socket, bool linger);

    Options m_options;
    QString m_base;
    quint16 m_port = 0;
    qint64 m_startedAt = 0;
    qint64 m_expiresAt = 0;
    std::shared_ptr<const Catalogue> m_catalogue;
    std::shared_ptr<const MediaLibrary> m_media;
    std::unique_ptr<TitledMedia> m_titled;
    // The list, written once a run on a worker thread and kept: written as it was sent, the
    // large catalogue's 180 MB went out at the writer's pace (75 MB/s), far behind the JSON.
    std::shared_ptr<const QList<QByteArray>> m_m3u;
    qint64 m_m3uSize = 0;
    QList<std::function<void()>> m_m3uWaiting; // answers held until the list is written
    FaultTable m_faults;
    QHash<QString, int> m_counts;
    QHash<QString, QByteArray> m_userAgents;
    QHash<QTcpSocket *, QString> m_streamSockets; // the stream each socket carries
    QHash<QString, qint64> m_lingering;           // closed streams still counted, until (ms)
    QElapsedTimer m_clock;
    int m_highestConnections = 0;
    int m_refusedConnections = 0;
};

} // namespace Lab
