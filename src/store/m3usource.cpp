#include "m3usource.h"

#include "api/gzipstream.h"
#include "store/appstore_p.h"

#include <QCoroFuture>
#include <QCoroSignal>
#include <QDateTime>
#include <QFile>
#include <QPointer>
#include <QTimeZone>
#include <QtConcurrent>

class M3uSource::Load : public QObject
{
    Q_OBJECT

public:
    Playlist playlist;
    quint64 generation = 0;
    std::shared_ptr<Network::Cancellation> cancellation = std::make_shared<Network::Cancellation>();
    std::optional<Result<List>> result;

Q_SIGNALS:
    void finished();
};

M3uSource::~M3uSource()
{
    renew();
}

QCoro::Task<Result<M3uSource::List>> M3uSource::fetch(Playlist playlist,
                                                       std::shared_ptr<Network::Cancellation> cancellation)
{
    std::shared_ptr<Load> load = m_inFlight;
    if (!load || load->playlist != playlist || load->generation != m_generation) {
        load = std::make_shared<Load>();
        load->playlist = playlist;
        load->generation = m_generation;
        m_inFlight = load;
        ++m_started;
        AppStoreDetail::startTask(run(load));
    }
    if (cancellation) {
        // The form's Cancel ends only the wait of whoever gave it; a shared load stops with it
        // only when nobody else waits, which is what the form's own connect always is.
        QObject::connect(cancellation.get(), &Network::Cancellation::cancelled, load.get(),
                         [weak = std::weak_ptr<Load>(load)] {
                             if (const auto held = weak.lock())
                                 held->cancellation->cancel();
                         });
        if (cancellation->isCancelled())
            load->cancellation->cancel();
    }
    if (!load->result)
        co_await qCoro(load.get(), &Load::finished);
    co_return load->result.value_or(Failure{Failure::Kind::cancelled});
}

QCoro::Task<> M3uSource::run(std::shared_ptr<Load> load)
{
    QPointer<M3uSource> self(this);
    Result<List> parsed = Failure{Failure::Kind::unreachable};
    const std::optional<QUrl> url = load->playlist.m3uURL();
    const qint64 maxBytes = Network::limits(Network::Purpose::catalogue).maxBytes;
    if (!url) {
        parsed = Failure{Failure::Kind::unreachable};
    } else if (url->isLocalFile()) {
        QFuture<Result<List>> reading
            = QtConcurrent::run([path = url->toLocalFile(), maxBytes] { return readFile(path, maxBytes); });
        parsed = co_await reading;
    } else {
        const Network::Options options{.purpose = Network::Purpose::catalogue, .cancellation = load->cancellation};
        auto request = Network::get(*url, options);
        Result<Network::Response> response = co_await request;
        if (!response) {
            parsed = response.failure();
        } else if (const int status = response->status; status == 401 || status == 403) {
            parsed = Failure{Failure::Kind::credentialsRefused, status};
        } else if (status >= 500) {
            parsed = Failure{Failure::Kind::serverFailed, status};
        } else if (status < 200 || status >= 300) {
            // A missing list (404) is no list at that address.
            parsed = Failure{Failure::Kind::unreachable, status};
        } else if (!load->cancellation->isCancelled()) {
            QFuture<Result<List>> reading = QtConcurrent::run(
                [body = std::move(response).value().body, base = *url] { return parse(body, base); });
            parsed = co_await reading;
        }
    }
    if (load->cancellation->isCancelled())
        parsed = Failure{Failure::Kind::cancelled};
    if (self && m_inFlight == load)
        m_inFlight.reset();
    load->result = std::move(parsed);
    Q_EMIT load->finished();
}

void M3uSource::renew()
{
    ++m_generation;
    if (m_inFlight)
        m_inFlight->cancellation->cancel();
    m_inFlight.reset();
}

namespace {

// A list with no entry at all is not a playlist the user can do anything with.
Result<M3uSource::List> nonEmpty(Result<M3uCatalogue> read)
{
    if (!read)
        return read.failure();
    if (read->size() == 0)
        return Failure{Failure::Kind::notUnderstood};
    return M3uSource::List(std::make_shared<const M3uCatalogue>(std::move(read).value()));
}

// Feeds the reader, inflating a list that was stored gzipped (a ".m3u.gz" file or address).
class Feeder
{
public:
    explicit Feeder(M3uReader &reader)
        : m_reader(reader)
    {
    }

    bool feed(QByteArrayView chunk)
    {
        if (!m_decided) {
            m_decided = true;
            if (GzipStream::looksCompressed(chunk))
                m_gzip = std::make_unique<GzipStream>();
        }
        if (!m_gzip) {
            m_reader.feed(chunk);
            return true;
        }
        return m_gzip->inflate(chunk, [this](QByteArrayView piece) {
            m_reader.feed(piece);
            return true;
        });
    }

private:
    M3uReader &m_reader;
    std::unique_ptr<GzipStream> m_gzip;
    bool m_decided = false;
};

constexpr qsizetype chunkSize = 1 << 20;

} // namespace

Result<M3uSource::List> M3uSource::parse(const QByteArray &body, const QUrl &base)
{
    M3uReader reader(base);
    Feeder feeder(reader);
    for (qsizetype at = 0; at < body.size(); at += chunkSize) {
        if (!feeder.feed(QByteArrayView(body).sliced(at, std::min(chunkSize, body.size() - at))))
            return Failure{Failure::Kind::notUnderstood};
    }
    return nonEmpty(reader.finish());
}

Result<M3uSource::List> M3uSource::readFile(const QString &path, qint64 maxBytes)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{Failure::Kind::unreachable};
    M3uReader reader(QUrl::fromLocalFile(path));
    Feeder feeder(reader);
    QByteArray chunk(chunkSize, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const qint64 read = file.read(chunk.data(), chunk.size());
        if (read < 0)
            return Failure{Failure::Kind::unreachable};
        if (read == 0)
            break;
        total += read;
        if (total > maxBytes)
            return Failure{Failure::Kind::tooLarge};
        if (!feeder.feed(QByteArrayView(chunk.constData(), read)))
            return Failure{Failure::Kind::notUnderstood};
    }
    return nonEmpty(reader.finish());
}

// --- archive addresses ---

QString M3uArchive::expand(const QString &pattern, qint64 start, qint64 stop, qint64 now)
{
    const QDateTime utcStart = QDateTime::fromSecsSinceEpoch(start, Qt::UTC);
    const auto two = [](int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    const QList<std::pair<QString, QString>> values{
        {QStringLiteral("utcend"), QString::number(stop)},
        {QStringLiteral("utc-end"), QString::number(stop)},
        {QStringLiteral("utc"), QString::number(start)},
        {QStringLiteral("start"), QString::number(start)},
        {QStringLiteral("end"), QString::number(stop)},
        {QStringLiteral("duration"), QString::number(std::max<qint64>(stop - start, 0))},
        {QStringLiteral("lutc"), QString::number(now)},
        {QStringLiteral("now"), QString::number(now)},
        {QStringLiteral("timestamp"), QString::number(now)},
        {QStringLiteral("offset"), QString::number(std::max<qint64>(now - start, 0))},
        {QStringLiteral("Y"), QString::number(utcStart.date().year())},
        {QStringLiteral("m"), two(utcStart.date().month())},
        {QStringLiteral("d"), two(utcStart.date().day())},
        {QStringLiteral("H"), two(utcStart.time().hour())},
        {QStringLiteral("M"), two(utcStart.time().minute())},
        {QStringLiteral("S"), two(utcStart.time().second())},
    };
    // One pass, left to right: a value is never read again as a placeholder.
    QString out;
    out.reserve(pattern.size() + 32);
    qsizetype at = 0;
    while (at < pattern.size()) {
        const bool dollar = pattern[at] == QLatin1Char('$') && at + 1 < pattern.size() && pattern[at + 1] == QLatin1Char('{');
        if (pattern[at] == QLatin1Char('{') || dollar) {
            const qsizetype open = at + (dollar ? 1 : 0);
            const qsizetype close = pattern.indexOf(QLatin1Char('}'), open);
            if (close > open) {
                const QStringView name = QStringView(pattern).sliced(open + 1, close - open - 1);
                const auto found = std::find_if(values.cbegin(), values.cend(),
                                                [&](const auto &pair) { return pair.first == name; });
                if (found != values.cend()) {
                    out += found->second;
                    at = close + 1;
                    continue;
                }
            }
        }
        out += pattern[at];
        ++at;
    }
    return out;
}

namespace {

// A streaming server's own archive paths, beside the live one: HLS as
// <dir>/<index|mono|video>-<start>-<duration>.m3u8, MPEG-TS as <dir>/timeshift_abs-<start>.ts.
// The query (a token, usually) stays as the live address had it.
QString serverArchive(const QString &live, qint64 start, qint64 stop)
{
    QUrl url(live);
    if (!url.isValid())
        return {};
    const QString path = url.path();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return {};
    const QString dir = path.left(slash + 1);
    const QString last = path.sliced(slash + 1);
    const QString lower = last.toLower();
    QString archive;
    if (lower == QLatin1String("index.m3u8") || lower == QLatin1String("mono.m3u8") || lower == QLatin1String("video.m3u8")) {
        archive = QStringLiteral("%1-%2-%3.m3u8").arg(last.chopped(5)).arg(start).arg(std::max<qint64>(stop - start, 0));
    } else if ((lower == QLatin1String("mpegts") || lower.endsWith(QLatin1String(".ts"))) && slash > 0) {
        // Under the stream's own folder only: at the root the stream's name would be lost.
        archive = QStringLiteral("timeshift_abs-%1.ts").arg(start);
    } else {
        return {};
    }
    url.setPath(dir + archive);
    return url.toString(QUrl::FullyEncoded);
}

} // namespace

std::optional<QUrl> M3uArchive::address(const M3uStream &stream, qint64 start, qint64 stop, qint64 now)
{
    const QString kind = stream.catchup.trimmed().toLower();
    QString text;
    if (kind == QLatin1String("flussonic") || kind == QLatin1String("fs")) {
        text = serverArchive(stream.url, start, stop);
        // A live address of another shape: the list's own template, when it gives one.
        if (text.isEmpty() && !stream.catchupSource.isEmpty())
            text = expand(stream.catchupSource, start, stop, now);
        if (text.isEmpty())
            return std::nullopt;
    } else if (kind == QLatin1String("default")) {
        // The source is the whole archive address; without one there is nothing to build.
        if (stream.catchupSource.isEmpty())
            return std::nullopt;
        text = expand(stream.catchupSource, start, stop, now);
    } else if (kind == QLatin1String("append")) {
        if (stream.catchupSource.isEmpty())
            return std::nullopt;
        text = stream.url + expand(stream.catchupSource, start, stop, now);
    } else if (kind == QLatin1String("shift") || kind == QLatin1String("timeshift")) {
        const QChar joiner = stream.url.contains(QLatin1Char('?')) ? QLatin1Char('&') : QLatin1Char('?');
        text = stream.url + joiner + QStringLiteral("utc=%1&lutc=%2").arg(start).arg(now);
    } else {
        return std::nullopt;
    }
    // The same schemes as a list's own entries: an archive template cannot point at a file.
    const QUrl url(text);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https") && scheme != QLatin1String("rtsp")
            && scheme != QLatin1String("rtmp")))
        return std::nullopt;
    return url;
}

#include "m3usource.moc"
