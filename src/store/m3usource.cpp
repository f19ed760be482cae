#include "m3usource.h"

#include "api/diagnostics.h"
#include "api/gzipstream.h"
#include "api/hugepages.h"
#include "store/appstore.h"
#include "store/appstore_p.h"
#include "store/catalogue.h"
#include "store/emission.h"

#include <QCoroFuture>
#include <QDateTime>
#include <QFile>
#include <QMutex>
#include <QPointer>
#include <QScopeGuard>
#include <QSet>
#include <QThread>
#include <QTimeZone>
#include <QThreadPool>
#include <QWaitCondition>
#include <QtConcurrent>

#include <deque>
#include <tuple>

namespace {
QThreadPool &arrivalPool();
} // namespace

class M3uSource::Load : public QObject
{
    Q_OBJECT

public:
    Playlist playlist;
    quint64 generation = 0;
    std::shared_ptr<Network::Cancellation> cancellation = std::make_shared<Network::Cancellation>();
    std::optional<Result<List>> result;
    std::shared_ptr<const M3uFirstPart> first;

Q_SIGNALS:
    void progressed(); // a part of home's rows is read, or the load is over
    void finished();
};

M3uSource::~M3uSource()
{
    renew();
}

std::pair<std::shared_ptr<M3uSource::Load>, QMetaObject::Connection>
M3uSource::join(const Playlist &playlist, const std::shared_ptr<Network::Cancellation> &cancellation)
{
    std::shared_ptr<Load> load = m_inFlight;
    if (!load || load->playlist != playlist || load->generation != m_generation) {
        // Another list's load goes on for whoever waits for it, until a new generation.
        if (load && !load->result)
            m_earlier.push_back(load);
        load = std::make_shared<Load>();
        load->playlist = playlist;
        load->generation = m_generation;
        m_inFlight = load;
        ++m_started;
        AppStoreDetail::startTask(run(load));
    }
    QMetaObject::Connection link;
    if (cancellation) {
        // The form's Cancel ends only the wait of whoever gave it; a shared load stops with it
        // only when nobody else waits, which is what the form's own connect always is.
        link = QObject::connect(cancellation.get(), &Network::Cancellation::cancelled, load.get(),
                                [weak = std::weak_ptr<Load>(load)] {
                                    if (const auto held = weak.lock())
                                        held->cancellation->cancel();
                                });
        if (cancellation->isCancelled())
            load->cancellation->cancel();
    }
    return {load, link};
}

QCoro::Task<Result<M3uSource::List>> M3uSource::fetch(Playlist playlist,
                                                      std::shared_ptr<Network::Cancellation> cancellation)
{
    const std::shared_ptr<Load> load = join(playlist, cancellation).first;
    if (!load->result)
        co_await nextEmission(load.get(), &Load::finished);
    co_return load->result.value_or(Failure{Failure::Kind::cancelled});
}

QCoro::Task<Result<M3uSource::Arrived>> M3uSource::arrived(Playlist playlist,
                                                           std::shared_ptr<Network::Cancellation> cancellation)
{
    auto joined = join(playlist, cancellation);
    const std::shared_ptr<Load> load = std::move(joined.first);
    if (!load->result && !load->first)
        co_await nextEmission(load.get(), &Load::progressed);
    QObject::disconnect(joined.second);
    if (load->result) {
        if (!*load->result)
            co_return load->result->failure();
        co_return Arrived{load->result->value(), {}};
    }
    co_return Arrived{{}, load->first};
}

QCoro::Task<std::shared_ptr<const M3uFirstPart>> M3uSource::nextPart(Playlist playlist,
                                                                     std::shared_ptr<const M3uFirstPart> after)
{
    const std::shared_ptr<Load> load = m_inFlight;
    if (!load || load->playlist != playlist || load->generation != m_generation)
        co_return std::shared_ptr<const M3uFirstPart>();
    while (!load->result && load->first == after)
        co_await nextEmission(load.get(), &Load::progressed);
    co_return load->result ? std::shared_ptr<const M3uFirstPart>() : load->first;
}

QCoro::Task<> M3uSource::run(std::shared_ptr<Load> load)
{
    QPointer<M3uSource> self(this);
    Result<List> parsed = Failure{Failure::Kind::unreachable};
    const std::optional<QUrl> url = load->playlist.m3uURL();
    const qint64 maxBytes = Network::limits(Network::Purpose::catalogue).maxBytes;
    if (!url) {
        parsed = Failure{Failure::Kind::unreachable};
    } else {
        // Read while it arrives: at the last byte only the last piece and the records are left.
        // A file is read the same way, so that home opens on its first part as well.
        const bool local = url->isLocalFile();
        auto arrival = std::make_shared<M3uArrival>(local ? QUrl::fromLocalFile(url->toLocalFile()) : *url);
        // Home's rows from the first part; handed to the GUI thread, and taken only while the
        // load still runs. The helper keeps no hold on the load after posting.
        arrival->watchFirstPart(M3uArrival::FirstPartRule{.rowLength = AppStore::homeRowLength},
                                [weak = std::weak_ptr<Load>(load)](M3uFirstPart part) {
                                    std::shared_ptr<Load> held = weak.lock();
                                    if (!held)
                                        return;
                                    Load *target = held.get();
                                    QMetaObject::invokeMethod(
                                        target,
                                        [held = std::move(held), part = std::move(part)]() mutable {
                                            if (held->result || held->cancellation->isCancelled())
                                                return;
                                            held->first = std::make_shared<const M3uFirstPart>(std::move(part));
                                            Timing::mark("first part read", QStringLiteral("m3u"));
                                            Q_EMIT held->progressed();
                                        },
                                        Qt::QueuedConnection);
                                });
        if (local) {
            // On the arrival's own threads: the read waits for the helper, never holding the pool's.
            QFuture<Result<List>> reading = QtConcurrent::run(
                &arrivalPool(), [arrival, path = url->toLocalFile(), maxBytes, cancellation = load->cancellation] {
                    Result<M3uCatalogue> read = arrival->readFile(path, maxBytes, cancellation);
                    Timing::mark("read", QStringLiteral("m3u file"));
                    return library(std::move(read));
                });
            parsed = co_await reading;
            arrival->abandon();
        } else {
            // A list that gives its length is read where Qt received it, never copied.
            const Network::Options options{.purpose = Network::Purpose::catalogue,
                                           .cancellation = load->cancellation,
                                           .watcher = arrival,
                                           .borrowBody = true};
            auto request = Network::get(*url, options);
            Result<Network::Response> response = co_await request;
            // The helper may read the body in place: it stops before the body goes.
            const auto stopReading = qScopeGuard([&arrival] { arrival->abandon(); });
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
                    [arrival, storage = response->storage, body = std::move(response).value().body, base = *url] {
                        std::optional<Result<M3uCatalogue>> read = arrival->finish(body);
                        Timing::mark("read", Diagnostics::requestName(base));
                        return library(read ? std::move(*read) : parse(body, base));
                    });
                parsed = co_await reading;
            }
            arrival->abandon();
        }
    }
    if (load->cancellation->isCancelled())
        parsed = Failure{Failure::Kind::cancelled};
    if (self && m_inFlight == load)
        m_inFlight.reset();
    load->result = std::move(parsed);
    Q_EMIT load->progressed();
    Q_EMIT load->finished();
}

void M3uSource::renew(const std::optional<Playlist> &keep)
{
    ++m_generation;
    for (const std::weak_ptr<Load> &earlier : std::exchange(m_earlier, {})) {
        const std::shared_ptr<Load> held = earlier.lock();
        if (held && held != m_inFlight)
            held->cancellation->cancel();
    }
    if (m_inFlight && keep && m_inFlight->playlist == *keep) {
        m_inFlight->generation = m_generation;
        return;
    }
    if (m_inFlight)
        m_inFlight->cancellation->cancel();
    m_inFlight.reset();
}

namespace {

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

    // The list is read as it came (`first` its first bytes, when nothing was fed yet): its
    // bytes may be handed to another reader as well.
    bool plain(QByteArrayView first) const { return m_decided ? !m_gzip : !GzipStream::looksCompressed(first); }

private:
    M3uReader &m_reader;
    std::unique_ptr<GzipStream> m_gzip;
    bool m_decided = false;
};

constexpr qsizetype chunkSize = 1 << 20;

} // namespace

Result<M3uSource::List> M3uSource::library(Result<M3uCatalogue> read)
{
    if (!read)
        return read.failure();
    if (read->size() == 0)
        return Failure{Failure::Kind::notUnderstood};
    List made = M3uLibrary::make(std::move(read).value());
    Timing::mark("records made", QStringLiteral("m3u"));
    return made;
}

Result<M3uCatalogue> M3uSource::parse(QByteArrayView body, const QUrl &base)
{
    M3uReader reader(base);
    Feeder feeder(reader);
    // A big plain list is read in two halves side by side, as an arriving one is.
    const bool oneThread = qEnvironmentVariableIsSet("MAVU_M3U_ONE_THREAD");
    std::unique_ptr<M3uReader> tail;
    QByteArrayView tailBytes;
    QFuture<void> tailRead;
    const auto waitForTail = qScopeGuard([&tailRead] { tailRead.waitForFinished(); });
    qsizetype end = body.size();
    for (qsizetype at = 0; at < end; at += chunkSize) {
        if (!feeder.feed(body.sliced(at, std::min(chunkSize, end - at))))
            return Failure{Failure::Kind::notUnderstood};
        if (at > 0 || oneThread || body.size() < 8 * chunkSize || !feeder.plain(body)
            || QThread::idealThreadCount() < 2 || !(tail = reader.continuation()))
            continue;
        const qsizetype split = M3uReader::freshLineAfter(body, (chunkSize + body.size()) / 2);
        if (split < 0) {
            tail.reset();
            continue;
        }
        end = split;
        tailBytes = body.sliced(split);
        tailRead = QtConcurrent::run([&tail, tailBytes] {
            for (qsizetype from = 0; from < tailBytes.size(); from += chunkSize)
                tail->feed(tailBytes.sliced(from, std::min(chunkSize, tailBytes.size() - from)));
        });
    }
    if (tail) {
        tailRead.waitForFinished();
        // Texts past 4 GB together: read on, as one reader would.
        if (!reader.join(*tail))
            reader.feed(tailBytes);
    }
    return reader.finish();
}

// --- the records of a read list ---

namespace {

// "Name S01 E02", "Name.S1E2", "Name - s01e02 - Title": where the show's name ends, the
// season and the episode.
struct EpisodeMark
{
    qsizetype showEnd = 0;
    qint32 season = 0;
    qint32 episode = 0;
};

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_');
}

bool isSeparator(QChar c)
{
    return c.isSpace() || c == QLatin1Char('.') || c == QLatin1Char('_') || c == QLatin1Char('-');
}

// A run of `min`..`max` digits at `at`, not followed by another digit; its end, or -1.
qsizetype digitsEnd(QStringView text, qsizetype at, qsizetype max)
{
    qsizetype end = at;
    while (end < text.size() && text[end].isDigit())
        ++end;
    return end > at && end - at <= max ? end : -1;
}

// The first word-initial "S<1-3 digits>[separators]E<1-4 digits>" ending a word. Hand-written:
// a regular expression over every entry of a big list took seconds.
std::optional<EpisodeMark> episodeMark(QStringView text)
{
    for (qsizetype at = 0; at < text.size(); ++at) {
        if ((text[at] != QLatin1Char('S') && text[at] != QLatin1Char('s')) || (at > 0 && isWordChar(text[at - 1])))
            continue;
        const qsizetype seasonEnd = digitsEnd(text, at + 1, 3);
        if (seasonEnd < 0)
            continue;
        qsizetype e = seasonEnd;
        while (e < text.size() && isSeparator(text[e]))
            ++e;
        if (e >= text.size() || (text[e] != QLatin1Char('E') && text[e] != QLatin1Char('e')))
            continue;
        const qsizetype episodeEnd = digitsEnd(text, e + 1, 4);
        if (episodeEnd < 0 || (episodeEnd < text.size() && isWordChar(text[episodeEnd])))
            continue;
        qsizetype showEnd = at;
        while (showEnd > 0 && isSeparator(text[showEnd - 1]))
            --showEnd;
        // Only separators before the mark: no title to name a show by.
        if (showEnd == 0)
            return std::nullopt;
        return EpisodeMark{showEnd, text.sliced(at + 1, seasonEnd - at - 1).toInt(),
                           text.sliced(e + 1, episodeEnd - e - 1).toInt()};
    }
    return std::nullopt;
}

// The same judged on a name's UTF-8 bytes, without making a string of it. Each character is
// judged as QChar judges what the string would hold; where that is in doubt (bytes that are not
// UTF-8, a byte-order mark, a digit beyond ASCII), the name is read as text.
enum class Judged { mark, none, unsure };

// ASCII characters as QChar judges them: letters, digits and '_' make words; its spaces (tab to
// carriage return, and space), '.', '_' and '-' separate.
enum : quint8 { wordChar = 1, separatorChar = 2 };
constexpr std::array<quint8, 128> asciiKinds = [] {
    std::array<quint8, 128> kinds{};
    for (int c = '0'; c <= '9'; ++c)
        kinds[size_t(c)] = wordChar;
    for (int c = 'A'; c <= 'Z'; ++c)
        kinds[size_t(c)] = kinds[size_t(c + 'a' - 'A')] = wordChar;
    for (int c = '\t'; c <= '\r'; ++c)
        kinds[size_t(c)] = separatorChar;
    kinds[' '] = kinds['.'] = kinds['-'] = separatorChar;
    kinds['_'] = wordChar | separatorChar;
    return kinds;
}();

qsizetype asciiLength(QByteArrayView bytes)
{
    qsizetype at = 0;
    // Eight bytes at a time: names run to tens of bytes.
    for (; at + 8 <= bytes.size(); at += 8) {
        quint64 word;
        std::memcpy(&word, bytes.data() + at, 8);
        if (word & 0x8080808080808080ull)
            break;
    }
    while (at < bytes.size() && uchar(bytes[at]) < 0x80)
        ++at;
    return at;
}

struct CharKind
{
    qsizetype size = 1; // bytes
    quint8 kinds = 0;
    bool unsure = false;
};

// The character starting at `at`.
CharKind charAt(const char *text, qsizetype at, qsizetype size)
{
    const auto lead = uchar(text[at]);
    if (lead < 0x80)
        return {1, asciiKinds[lead], false};
    qsizetype length = 0;
    char32_t code = 0;
    if (lead >= 0xc2 && lead <= 0xdf) {
        length = 2;
        code = lead & 0x1f;
    } else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        code = lead & 0x0f;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return {1, 0, true};
    }
    if (at + length > size)
        return {1, 0, true};
    for (qsizetype i = 1; i < length; ++i) {
        const auto next = uchar(text[at + i]);
        if ((next & 0xc0) != 0x80)
            return {1, 0, true};
        code = (code << 6) | (next & 0x3f);
    }
    // Overlong forms, surrogates and code points past Unicode become replacement characters.
    if ((length == 3 && (code < 0x800 || (code >= 0xd800 && code <= 0xdfff)))
        || (length == 4 && (code < 0x10000 || code > 0x10ffff)))
        return {1, 0, true};
    // Beyond the first plane the string holds two surrogates, neither a letter, number nor space.
    if (length == 4)
        return {4, 0, false};
    // A digit beyond ASCII: QString::toInt's business, should it end up in a number.
    const quint8 kinds = (QChar::isLetterOrNumber(code) ? wordChar : 0) | (QChar::isSpace(code) ? separatorChar : 0);
    return {length, kinds, QChar::isDigit(code)};
}

// The end of a run of ASCII digits from `at`; -1 when what follows it is in doubt.
qsizetype asciiDigitsEnd(const char *text, qsizetype at, qsizetype size)
{
    while (at < size && text[at] >= '0' && text[at] <= '9')
        ++at;
    if (at < size && uchar(text[at]) >= 0x80 && charAt(text, at, size).unsure)
        return -1;
    return at;
}

qint32 digitsValue(const char *at, const char *end)
{
    qint32 value = 0;
    for (; at < end; ++at)
        value = value * 10 + (*at - '0');
    return value;
}

enum class Tried { mark, notHere, unsure };

// A mark whose "S" is at `at`, with the season and episode.
Tried markAt(const char *text, qsizetype at, qsizetype size, EpisodeMark &mark)
{
    const qsizetype seasonEnd = asciiDigitsEnd(text, at + 1, size);
    if (seasonEnd < 0)
        return Tried::unsure;
    if (seasonEnd == at + 1 || seasonEnd - at - 1 > 3)
        return Tried::notHere;
    qsizetype e = seasonEnd;
    while (e < size) {
        const CharKind c = charAt(text, e, size);
        if (c.unsure)
            return Tried::unsure;
        if (!(c.kinds & separatorChar))
            break;
        e += c.size;
    }
    if (e >= size || (text[e] != 'E' && text[e] != 'e'))
        return Tried::notHere;
    const qsizetype episodeEnd = asciiDigitsEnd(text, e + 1, size);
    if (episodeEnd < 0)
        return Tried::unsure;
    if (episodeEnd == e + 1 || episodeEnd - e - 1 > 4)
        return Tried::notHere;
    if (episodeEnd < size) {
        const CharKind after = charAt(text, episodeEnd, size);
        if (after.unsure)
            return Tried::unsure;
        if (after.kinds & wordChar)
            return Tried::notHere;
    }
    mark.season = digitsValue(text + at + 1, text + seasonEnd);
    mark.episode = digitsValue(text + e + 1, text + episodeEnd);
    return Tried::mark;
}

// episodeMark on the bytes; the show's name ends at `mark.showEnd` bytes.
Judged utf8EpisodeMark(QByteArrayView bytes, EpisodeMark &mark)
{
    const char *const text = bytes.data();
    const qsizetype size = bytes.size();
    // Most names are ASCII, where a byte is a character: only the letters S look further.
    if (asciiLength(bytes) == size) {
        for (qsizetype at = 0; at < size; ++at) {
            if ((text[at] | 0x20) != 's' || (at > 0 && (asciiKinds[uchar(text[at - 1])] & wordChar)))
                continue;
            switch (markAt(text, at, size, mark)) {
            case Tried::mark: {
                qsizetype showEnd = at;
                while (showEnd > 0 && (asciiKinds[uchar(text[showEnd - 1])] & separatorChar))
                    --showEnd;
                if (showEnd == 0)
                    return Judged::none;
                mark.showEnd = showEnd;
                return Judged::mark;
            }
            case Tried::unsure:
                return Judged::unsure;
            case Tried::notHere:
                break;
            }
        }
        return Judged::none;
    }
    // A leading byte-order mark: whether the string keeps it is the text reading's business.
    if (bytes.startsWith("\xef\xbb\xbf"))
        return Judged::unsure;
    bool afterWord = false;
    qsizetype titleEnd = 0; // past the last character that is not a separator
    for (qsizetype at = 0; at < size;) {
        const CharKind c = charAt(text, at, size);
        if (c.unsure)
            return Judged::unsure;
        if ((text[at] == 'S' || text[at] == 's') && !afterWord) {
            switch (markAt(text, at, size, mark)) {
            case Tried::mark:
                // Only separators before the mark: no title to name a show by.
                if (titleEnd == 0)
                    return Judged::none;
                mark.showEnd = titleEnd;
                return Judged::mark;
            case Tried::unsure:
                return Judged::unsure;
            case Tried::notHere:
                break;
            }
        }
        afterWord = c.kinds & wordChar;
        if (!(c.kinds & separatorChar))
            titleEnd = at + c.size;
        at += c.size;
    }
    return Judged::none;
}

QString showName(QStringView prefix)
{
    QString show = prefix.toString();
    show.replace(QLatin1Char('.'), QLatin1Char(' '));
    return show.simplified();
}

Episode episodeOf(const MediaItem &entry, qint64 season, qint64 number)
{
    Episode episode;
    episode.id = entry.id;
    episode.title = entry.name;
    episode.season = season;
    episode.episodeNum = number;
    episode.containerExt = entry.containerExt;
    episode.image = entry.icon();
    return episode;
}

// The shows of one run of entries, in the order of their first entry. Runs are read side by
// side and joined in list order, so the result is the one a single pass gives.
struct ShowRun
{
    struct Group
    {
        QString id; // empty: an entry not named like an episode, a show of its own
        QString name;
        quint32 first = 0;
        std::vector<M3uLibrary::EpisodeAt> episodes;
    };
    std::vector<Group> groups;
    // The shows' records, beside their groups: made with the run, once its groups are known, so
    // that growing the groups never moves a record.
    std::vector<MediaItem> shows;
};

// Groups entries into shows one place at a time, in list order: a whole run at once, or a list
// still arriving as far as it has come.
class ShowReader
{
public:
    explicit ShowReader(const M3uCatalogue &catalogue)
        : m_catalogue(catalogue)
    {
    }

    void add(quint32 place)
    {
        const QByteArrayView bytes = m_catalogue.nameUtf8At(place);
        EpisodeMark mark;
        const Judged judged = utf8EpisodeMark(bytes, mark);
        QString name; // as text, only when the bytes leave it in doubt
        if (judged == Judged::unsure) {
            name = m_catalogue.nameAt(place);
            const std::optional<EpisodeMark> read = episodeMark(name);
            if (!read)
                return alone(place);
            mark = *read;
        } else if (judged == Judged::none) {
            return alone(place);
        }
        const bool onBytes = judged == Judged::mark;
        const QByteArrayView prefixBytes = onBytes ? bytes.first(mark.showEnd) : QByteArrayView();
        const QStringView prefix = onBytes ? QStringView() : QStringView(name).first(mark.showEnd);
        const QString &category = m_catalogue.categoryIdAt(place);
        // Lists hold a show's episodes one after another: the name is made again only when the
        // title before the mark or the group changes. Nothing of the catalogue is held from one
        // entry to the next (a list still arriving moves its first texts as it grows), but the
        // group's id shares its characters with the last one kept when it is the same group.
        const bool sameCategory = category.size() == m_lastCategory.size()
            && (category.constData() == m_lastCategory.constData() || category == m_lastCategory);
        const bool same = m_last != SIZE_MAX && onBytes == m_lastOnBytes && sameCategory
            && (onBytes ? prefixBytes == QByteArrayView(m_lastPrefixBytes) : prefix == m_lastPrefix);
        if (!same) {
            // A show coming back after another is found by its group and title's bytes as they
            // were, before any name is made of them.
            QByteArray spelt;
            if (onBytes) {
                const auto units = quint32(category.size());
                spelt.reserve(qsizetype(sizeof(units)) + category.size() * 2 + prefixBytes.size());
                spelt.append(reinterpret_cast<const char *>(&units), sizeof(units));
                spelt.append(reinterpret_cast<const char *>(category.constData()), category.size() * 2);
                spelt.append(prefixBytes);
            }
            const auto spotted = onBytes ? m_spelt.constFind(spelt) : m_spelt.constEnd();
            if (spotted != m_spelt.constEnd()) {
                m_last = *spotted;
            } else {
                const QString show = onBytes ? showName(QString::fromUtf8(prefixBytes)) : showName(prefix);
                // The group is part of the id: two groups may hold shows of the same title.
                const QString id = QStringLiteral("show:") + category + QLatin1Char(':') + show.toLower();
                const auto found = m_named.constFind(id);
                if (found != m_named.constEnd()) {
                    m_last = *found;
                } else {
                    m_last = m_run.groups.size();
                    m_named.insert(id, m_last);
                    m_run.groups.push_back(ShowRun::Group{id, show, place, {}});
                }
                if (onBytes)
                    m_spelt.insert(spelt, m_last);
            }
            m_lastOnBytes = onBytes;
            if (onBytes)
                m_lastPrefixBytes = prefixBytes.toByteArray();
            else
                m_lastPrefix = prefix.toString();
            m_lastCategory = category;
        }
        m_run.groups[m_last].episodes.push_back({place, mark.season, mark.episode});
    }

    const ShowRun &run() const { return m_run; }
    ShowRun take() { return std::move(m_run); }

private:
    // An entry not named like an episode: a show of its own.
    void alone(quint32 place) { m_run.groups.push_back(ShowRun::Group{QString(), QString(), place, {{place, 1, 1}}}); }

    const M3uCatalogue &m_catalogue;
    ShowRun m_run;
    QHash<QString, size_t> m_named; // by show id: its group
    QHash<QByteArray, size_t> m_spelt; // by the group's id and the title's bytes: the same
    // The last episode's title before the mark: bytes when it was judged on them, else text.
    QByteArray m_lastPrefixBytes;
    QString m_lastPrefix;
    bool m_lastOnBytes = false;
    QString m_lastCategory;
    size_t m_last = SIZE_MAX;
};

// The record of a show: its first entry's, named after the show when its entries are episodes.
MediaItem showOf(const M3uCatalogue &catalogue, const ShowRun::Group &group)
{
    MediaItem show = catalogue.itemAt(group.first);
    if (!group.id.isEmpty()) {
        show.id = group.id;
        show.name = group.name;
    }
    show.setSeriesId(show.id);
    return show;
}

// A run's shows with their records: the records are made on the run's own thread, so joining
// the runs only moves them.
ShowRun readShows(const M3uCatalogue &catalogue, const quint32 *places, size_t count)
{
    ShowReader reader(catalogue);
    for (size_t i = 0; i < count; ++i)
        reader.add(places[i]);
    ShowRun run = reader.take();
    run.shows.reserve(run.groups.size());
    for (const ShowRun::Group &group : run.groups)
        run.shows.push_back(showOf(catalogue, group));
    return run;
}

// Runs joined in list order: a show whose episodes continue in a later run (or come back after
// others) stays one show, at the place of its first entry.
M3uLibrary::Shows joinShows(std::vector<ShowRun> &runs)
{
    M3uLibrary::Shows result;
    size_t groups = 0;
    for (const ShowRun &run : runs)
        groups += run.groups.size();
    result.shows.reserve(qsizetype(groups));
    result.episodes.reserve(groups);
    result.showAt.reserve(qsizetype(groups));
    for (ShowRun &run : runs) {
        for (size_t g = 0; g < run.groups.size(); ++g) {
            ShowRun::Group &group = run.groups[g];
            MediaItem &show = run.shows[g];
            if (group.id.isEmpty()) {
                result.showAt.insert(show.id, result.shows.size());
            } else {
                // One look-up: a show met before grows by these episodes, a new one takes the next place.
                const qsizetype held = result.showAt.size();
                qsizetype &at = result.showAt[group.id];
                if (result.showAt.size() == held) {
                    std::vector<M3uLibrary::EpisodeAt> &episodes = result.episodes[size_t(at)];
                    episodes.insert(episodes.end(), group.episodes.cbegin(), group.episodes.cend());
                    continue;
                }
                at = result.shows.size();
            }
            result.shows.append(std::move(show));
            result.episodes.push_back(std::move(group.episodes));
        }
    }
    // By season and number, equals in list order. Most shows come in order already; the others
    // in sorted stretches, which a merging sort takes faster than a plain one.
    const auto earlier = [](const M3uLibrary::EpisodeAt &a, const M3uLibrary::EpisodeAt &b) {
        return a.season != b.season ? a.season < b.season : a.number < b.number;
    };
    for (std::vector<M3uLibrary::EpisodeAt> &episodes : result.episodes) {
        if (!std::is_sorted(episodes.begin(), episodes.end(), earlier))
            std::stable_sort(episodes.begin(), episodes.end(), earlier);
    }
    return result;
}

} // namespace

// --- read while arriving ---

namespace {

// Home's rows as the entries arrive. A list's entries carry no dates, so its newest are its
// first: the first movies and the first shows in list order are the rows of the whole list too.
struct FirstRows
{
    explicit FirstRows(const M3uCatalogue &catalogue)
        : shows(catalogue)
    {
    }

    quint32 scanned = 0;         // entries looked at
    std::vector<quint32> movies; // the first movies' places
    ShowReader shows;            // fed only until it holds a row of shows
    bool moviesGiven = false;
    bool showsGiven = false;
};

} // namespace

struct M3uArrival::State
{
    State(const QUrl &base, qsizetype pieceBytes)
        : reader(base)
        , feeder(reader)
        , pieceBytes(pieceBytes)
    {
    }

    M3uReader reader;
    Feeder feeder;
    QMutex mutex;
    QWaitCondition changed;
    std::deque<QByteArray> pieces;
    qint64 waiting = 0; // bytes queued and not fed yet
    qint64 nearlyRead = 0; // left to read past the last byte, home waits for the whole list
    bool helping = false;
    const qsizetype pieceBytes;
    int feeding = 0; // readers of a piece at the moment, perhaps of a view into the body
    bool inPlace = false; // the pieces are views into one body that stays where it is
    // Once the whole body is in, what the helper has not read yet is cut at a fresh line past
    // its middle, and the second half is read beside the first on another thread.
    bool divided = false; // decided, one way or the other
    std::unique_ptr<M3uReader> tail;
    QByteArrayView tailBytes;
    bool tailDone = false;
    bool closed = false; // the last piece is queued
    bool done = false;   // the helper has fed every piece
    bool failed = false; // a gzipped list did not inflate
    bool abandoned = false;
    // The first part, while it is wanted.
    std::optional<FirstPartRule> firstRule;
    FirstPartTaken firstTaken;
    std::optional<FirstRows> rows;
    qint64 fed = 0;
};

namespace {

// Its own threads: the helper waits for pieces while the answer arrives, which must not hold up
// work queued on the global pool. Room for several lists: a helper of a stalled answer holds its
// thread until the answer ends, and the next list must not queue behind it.
QThreadPool &arrivalPool()
{
    static QThreadPool *pool = [] {
        auto *made = new QThreadPool;
        made->setMaxThreadCount(8);
        made->setExpiryTimeout(5000);
        return made;
    }();
    return *pool;
}

// Looks at the entries read since the last call, until both rows are full.
void scanRows(FirstRows &rows, const M3uCatalogue &read, size_t length)
{
    const auto size = quint32(read.size());
    for (; rows.scanned < size; ++rows.scanned) {
        const bool moviesFull = rows.movies.size() >= length;
        const bool showsFull = rows.shows.run().groups.size() >= length;
        if (moviesFull && showsFull)
            return;
        const Section section = read.sectionAt(rows.scanned);
        if (section == Section::movies && !moviesFull)
            rows.movies.push_back(rows.scanned);
        else if (section == Section::series && !showsFull)
            rows.shows.add(rows.scanned);
    }
}

M3uFirstPart partOf(const FirstRows &rows, const M3uCatalogue &read, size_t length, bool movies, bool shows)
{
    M3uFirstPart part;
    if (movies) {
        for (size_t i = 0; i < std::min(length, rows.movies.size()); ++i)
            part.movies.append(read.itemAt(rows.movies[i]));
    }
    if (shows) {
        const std::vector<ShowRun::Group> &groups = rows.shows.run().groups;
        for (size_t i = 0; i < std::min(length, groups.size()); ++i)
            part.shows.append(showOf(read, groups[i]));
    }
    return part;
}

// Hands out home's rows each time one fills, and once past the byte bound whatever they hold.
// The reader waits meanwhile: looking at the new entries costs far less than reading them.
void offerFirstPart(M3uArrival::State &state)
{
    const auto length = size_t(std::max<qsizetype>(state.firstRule->rowLength, 1));
    const bool bound = state.fed >= state.firstRule->mostBytes;
    const M3uCatalogue &read = state.reader.soFar();
    FirstRows &rows = *state.rows;
    scanRows(rows, read, length);
    const bool moviesFull = rows.movies.size() >= length;
    const bool showsFull = rows.shows.run().groups.size() >= length;
    if ((!moviesFull || rows.moviesGiven) && (!showsFull || rows.showsGiven) && !bound)
        return;
    const bool complete = (moviesFull && showsFull) || bound;
    if (complete)
        state.firstRule.reset();
    {
        // With the last piece queued and little left to read, the whole list's rows come next.
        // An answer that arrived far ahead of the reader (a fast server) still opens home early.
        // A second half read beside still has to be joined, and the records of the whole made.
        QMutexLocker lock(&state.mutex);
        if (state.abandoned || (state.closed && !state.tail && state.waiting <= state.nearlyRead)) {
            state.firstRule.reset();
            return;
        }
    }
    if (read.size() == 0)
        return;
    M3uFirstPart part = partOf(rows, read, length, moviesFull || bound, showsFull || bound);
    part.complete = complete;
    rows.moviesGiven = moviesFull;
    rows.showsGiven = showsFull;
    QMutexLocker lock(&state.mutex);
    if (!state.abandoned)
        state.firstTaken(std::move(part));
}

// Once the second half is joined on: home's rows from its entries, where the first half left
// them short (its shows all lie past the cut, say). The whole list's records still take a while.
void offerJoinedPart(M3uArrival::State &state)
{
    if (!state.firstRule || !state.rows)
        return;
    const auto length = size_t(std::max<qsizetype>(state.firstRule->rowLength, 1));
    state.firstRule.reset();
    const M3uCatalogue &read = state.reader.soFar();
    FirstRows &rows = *state.rows;
    scanRows(rows, read, length);
    const bool moviesFull = rows.movies.size() >= length;
    const bool showsFull = rows.shows.run().groups.size() >= length;
    if ((!moviesFull || rows.moviesGiven) && (!showsFull || rows.showsGiven))
        return;
    M3uFirstPart part = partOf(rows, read, length, moviesFull, showsFull);
    part.complete = true;
    QMutexLocker lock(&state.mutex);
    if (!state.abandoned)
        state.firstTaken(std::move(part));
}

void readTail(const std::shared_ptr<M3uArrival::State> &held)
{
    M3uArrival::State &state = *held;
    const QByteArrayView bytes = state.tailBytes;
    for (qsizetype at = 0; at < bytes.size(); at += state.pieceBytes) {
        {
            QMutexLocker lock(&state.mutex);
            if (state.abandoned)
                break;
        }
        state.tail->feed(bytes.sliced(at, std::min(state.pieceBytes, bytes.size() - at)));
    }
    QMutexLocker lock(&state.mutex);
    --state.feeding;
    state.tailDone = true;
    state.changed.wakeAll();
}

// Under the lock, between pieces, with the last piece queued. The machine's second core reads
// the second half: a list arrives far faster than one thread reads it. MAVU_M3U_ONE_THREAD:
// one thread as before, to measure against.
void divide(const std::shared_ptr<M3uArrival::State> &held)
{
    M3uArrival::State &state = *held;
    const bool oneThread = qEnvironmentVariableIsSet("MAVU_M3U_ONE_THREAD");
    if (oneThread || !state.inPlace || state.pieces.empty() || !state.feeder.plain(state.pieces.front())
        || QThread::idealThreadCount() < 2) {
        state.divided = true;
        return;
    }
    // Until the first reader has read the header line, asked again at its next piece.
    std::unique_ptr<M3uReader> tail = state.reader.continuation();
    if (!tail)
        return;
    state.divided = true;
    const char *const from = state.pieces.front().constData();
    const char *end = from;
    for (const QByteArray &piece : state.pieces) {
        if (piece.constData() != end)
            return;
        end += piece.size();
    }
    const QByteArrayView rest(from, end - from);
    // Too little left to be worth a second thread.
    if (rest.size() < 4 * state.pieceBytes)
        return;
    const qsizetype split = M3uReader::freshLineAfter(rest, rest.size() / 2);
    if (split < 0 || split >= rest.size())
        return;
    state.tail = std::move(tail);
    state.pieces.clear();
    for (qsizetype at = 0; at < split; at += state.pieceBytes)
        state.pieces.push_back(QByteArray::fromRawData(from + at, std::min(state.pieceBytes, split - at)));
    state.waiting = split;
    state.tailBytes = rest.sliced(split);
    ++state.feeding;
    Timing::mark("second half read beside", QStringLiteral("m3u"));
    (void)QtConcurrent::run(&arrivalPool(), [held] { readTail(held); });
}

void feedPieces(const std::shared_ptr<M3uArrival::State> &held)
{
    M3uArrival::State &state = *held;
    for (;;) {
        QByteArray piece;
        {
            QMutexLocker lock(&state.mutex);
            while (state.pieces.empty() && !state.closed && !state.abandoned)
                state.changed.wait(&state.mutex);
            if (state.abandoned)
                return;
            // As soon as the last byte is in: home's rows keep coming from the first half, and
            // from the second once it is joined on.
            if (state.closed && !state.divided)
                divide(held);
            if (state.pieces.empty()) {
                state.done = true;
                state.changed.wakeAll();
                return;
            }
            piece = std::move(state.pieces.front());
            state.pieces.pop_front();
            state.waiting -= piece.size();
            ++state.feeding;
            // A file's reader may wait for room.
            state.changed.wakeAll();
        }
        const bool fed = state.feeder.feed(piece);
        const qsizetype length = piece.size();
        piece = QByteArray();
        {
            // Whoever gives up the body waits for this before letting go of it.
            QMutexLocker lock(&state.mutex);
            --state.feeding;
            state.changed.wakeAll();
        }
        if (!fed) {
            QMutexLocker lock(&state.mutex);
            state.failed = true;
            state.done = true;
            state.pieces.clear();
            state.waiting = 0;
            state.changed.wakeAll();
            return;
        }
        state.fed += length;
        if (state.firstRule)
            offerFirstPart(state);
    }
}

} // namespace

M3uArrival::M3uArrival(QUrl base, qsizetype pieceBytes)
    : m_base(std::move(base))
    , m_pieceBytes(std::max<qsizetype>(pieceBytes, 1))
{
}

M3uArrival::~M3uArrival()
{
    abandon();
}

void M3uArrival::watchFirstPart(FirstPartRule rule, FirstPartTaken taken)
{
    m_firstRule = rule;
    m_firstTaken = std::move(taken);
}

void M3uArrival::begin()
{
    abandon();
    m_state = std::make_shared<State>(m_base, m_pieceBytes);
    m_state->nearlyRead = 4 * qint64(m_pieceBytes);
    if (m_firstRule && m_firstTaken) {
        m_state->firstRule = m_firstRule;
        m_state->firstTaken = m_firstTaken;
        m_state->rows.emplace(m_state->reader.soFar());
    }
    m_queued = 0;
    m_inPlace = false;
    m_readInTwo = false;
}

void M3uArrival::abandon()
{
    if (!m_state)
        return;
    {
        QMutexLocker lock(&m_state->mutex);
        m_state->abandoned = true;
        m_state->pieces.clear();
        m_state->changed.wakeAll();
        while (m_state->feeding)
            m_state->changed.wait(&m_state->mutex);
    }
    m_state.reset();
}

void M3uArrival::stop()
{
    // On the receiving thread, which alone uses m_state while the answer arrives: the pointer
    // stays for abandon() to drop.
    if (!m_state)
        return;
    QMutexLocker lock(&m_state->mutex);
    m_state->abandoned = true;
    m_state->pieces.clear();
    m_state->changed.wakeAll();
    while (m_state->feeding)
        m_state->changed.wait(&m_state->mutex);
}

bool M3uArrival::settled()
{
    // MAVU_M3U_COPIED: every piece copied out as before, to measure against.
    static const bool copied = qEnvironmentVariableIsSet("MAVU_M3U_COPIED");
    m_inPlace = !copied;
    return m_inPlace;
}

QByteArray M3uArrival::pieceOf(QByteArrayView body, qsizetype length) const
{
    const char *from = body.data() + m_queued;
    return m_inPlace ? QByteArray::fromRawData(from, length) : QByteArray(from, length);
}

void M3uArrival::received(QByteArrayView body)
{
    // Whole pieces only, the rest kept for the next: the reader then holds every piece the answer
    // has completed, however the network grouped its bytes (a stalled answer is read up to there).
    const qsizetype ready = m_state ? (body.size() - m_queued) / m_pieceBytes * m_pieceBytes : 0;
    if (ready > 0)
        queue(pieceOf(body, ready), false);
}

void M3uArrival::queue(QByteArray piece, bool last)
{
    m_queued += piece.size();
    QMutexLocker lock(&m_state->mutex);
    if (!piece.isEmpty()) {
        m_state->waiting += piece.size();
        m_state->pieces.push_back(std::move(piece));
    }
    m_state->closed = last;
    m_state->inPlace = m_inPlace;
    if (!m_state->helping) {
        m_state->helping = true;
        (void)QtConcurrent::run(&arrivalPool(), [held = m_state] { feedPieces(held); });
    }
    m_state->changed.wakeAll();
}

std::optional<Result<M3uCatalogue>> M3uArrival::finish(QByteArrayView body)
{
    // Not watched, or another body than the one shown: the whole read decides.
    if (!m_state || body.size() < m_queued) {
        abandon();
        return std::nullopt;
    }
    // In pieces as they came, so that the helper can still hand half of them to another thread.
    while (m_inPlace && body.size() - m_queued > m_pieceBytes)
        queue(pieceOf(body, m_pieceBytes), false);
    queue(pieceOf(body, body.size() - m_queued), true);
    return waitForRead();
}

std::optional<Result<M3uCatalogue>> M3uArrival::waitForRead()
{
    const std::shared_ptr<State> state = m_state;
    QMutexLocker lock(&state->mutex);
    while ((!state->done || (state->tail && !state->tailDone)) && !state->abandoned)
        state->changed.wait(&state->mutex);
    const bool failed = state->failed;
    const bool given = state->abandoned;
    lock.unlock();
    m_state.reset();
    // Given up while it arrived (stop()): only a read of the whole body can tell.
    if (given)
        return std::nullopt;
    if (failed)
        return Result<M3uCatalogue>(Failure{Failure::Kind::notUnderstood});
    m_readInTwo = state->tail != nullptr;
    // Texts past 4 GB together: the first reader reads the second half itself, as one would.
    if (state->tail && !state->reader.join(*state->tail))
        state->reader.feed(state->tailBytes);
    if (state->tail)
        offerJoinedPart(*state);
    return Result<M3uCatalogue>(state->reader.finish());
}

Result<M3uCatalogue> M3uArrival::readFile(const QString &path, qint64 maxBytes,
                                          std::shared_ptr<const Network::Cancellation> cancellation)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failure{Failure::Kind::unreachable};
    begin();
    const std::shared_ptr<State> state = m_state;
    qint64 total = 0;
    for (;;) {
        if (cancellation && cancellation->isCancelled()) {
            abandon();
            return Failure{Failure::Kind::cancelled};
        }
        QByteArray piece(m_pieceBytes, Qt::Uninitialized);
        const qint64 got = file.read(piece.data(), piece.size());
        if (got < 0 || total + got > maxBytes) {
            abandon();
            return Failure{got < 0 ? Failure::Kind::unreachable : Failure::Kind::tooLarge};
        }
        if (got == 0)
            break;
        total += got;
        piece.truncate(got);
        {
            // A disk reads faster than the helper: a few pieces ahead, never the whole file held.
            QMutexLocker lock(&state->mutex);
            while (state->waiting >= 4 * m_pieceBytes && !state->done && !state->abandoned)
                state->changed.wait(&state->mutex);
        }
        queue(std::move(piece), false);
    }
    queue(QByteArray(), true);
    std::optional<Result<M3uCatalogue>> read = waitForRead();
    return read ? std::move(*read) : Result<M3uCatalogue>(Failure{Failure::Kind::cancelled});
}

M3uLibrary::Shows M3uLibrary::groupShows(const M3uCatalogue &catalogue, int pieces)
{
    // Entries named like episodes become one show each, with its seasons; the others stay a
    // show of one episode. Shows keep the place of their first entry.
    const std::vector<quint32> places = catalogue.places(Section::series);
    // A short list is read at once unless asked otherwise: handing it out would cost more than it saves.
    // One pool thread is left to the other sections' records, made beside the shows: on two
    // cores a second piece beside them made the lab's list wait longer, not shorter.
    constexpr size_t leastPerPiece = 8192;
    const size_t count = pieces > 0
        ? std::clamp<size_t>(places.size(), 1, size_t(pieces))
        : std::clamp<size_t>(places.size() / leastPerPiece, 1,
                             size_t(std::clamp(QThreadPool::globalInstance()->maxThreadCount() - 1, 1, 4)));
    std::vector<ShowRun> runs(count);
    std::vector<QFuture<void>> reading;
    const size_t step = (places.size() + count - 1) / count;
    for (size_t piece = 0; piece < count; ++piece) {
        const size_t from = std::min(places.size(), piece * step);
        const size_t length = std::min(places.size(), from + step) - from;
        const auto read = [&catalogue, &runs, &places, piece, from, length] {
            runs[piece] = readShows(catalogue, places.data() + from, length);
        };
        // The last piece is read here while the others run on the pool.
        if (piece + 1 < count)
            reading.push_back(QtConcurrent::run(read));
        else
            read();
    }
    for (QFuture<void> &future : reading)
        future.waitForFinished();
    return joinShows(runs);
}

QList<Episode> M3uLibrary::episodes(const QString &showId) const
{
    const auto found = showAt.constFind(showId);
    if (found == showAt.constEnd() || !catalogue)
        return {};
    const std::vector<EpisodeAt> &places = showEpisodes[size_t(*found)];
    QList<Episode> out;
    out.reserve(qsizetype(places.size()));
    for (const EpisodeAt &at : places)
        out.append(episodeOf(catalogue->itemAt(at.place), at.season, at.number));
    return out;
}

QList<MediaItem> M3uLibrary::withPlayableArchives(const M3uCatalogue &catalogue, QList<MediaItem> channels)
{
    // The list is copied only when a channel cannot offer its archive. The streams come in one
    // pass: one look-up each scanned the whole list again per channel.
    QList<QString> archived;
    for (const MediaItem &channel : std::as_const(channels)) {
        if (channel.tvArchive)
            archived.append(channel.id);
    }
    if (archived.isEmpty())
        return channels;
    const QHash<QString, M3uStream> streams = catalogue.streams(archived);
    const auto unplayable = [&streams](const MediaItem &channel) {
        if (!channel.tvArchive)
            return false;
        const auto stream = streams.constFind(channel.id);
        return stream == streams.constEnd() || !M3uArchive::address(*stream, 3600, 7200, 7200);
    };
    if (std::none_of(channels.cbegin(), channels.cend(), unplayable))
        return channels;
    for (MediaItem &channel : channels) {
        if (unplayable(channel))
            channel.tvArchive = false;
    }
    return channels;
}

void M3uLibrary::judgeArchives(const M3uCatalogue &catalogue, const quint32 *places, size_t count, MediaItem *out)
{
    for (size_t i = 0; i < count; ++i) {
        if (out[i].tvArchive && !M3uArchive::address(catalogue.streamOf(places[i]), 3600, 7200, 7200))
            out[i].tvArchive = false;
    }
}

void M3uLibrary::sameKeyArchives(const M3uCatalogue &catalogue, const std::vector<quint32> &places,
                                 QList<MediaItem> &channels)
{
    // Only ids some channel claims an archive for can change; their first entries are found in
    // one pass. A first entry without an archive mark has none to play either.
    QSet<quint64> archived;
    for (size_t i = 0; i < places.size(); ++i) {
        if (catalogue.archiveAt(places[i]))
            archived.insert(catalogue.keyAt(places[i]));
    }
    if (archived.isEmpty())
        return;
    QHash<quint64, size_t> first;
    first.reserve(archived.size());
    for (size_t i = 0; i < places.size(); ++i) {
        const quint64 key = catalogue.keyAt(places[i]);
        if (!archived.contains(key))
            continue;
        const auto found = first.constFind(key);
        if (found == first.constEnd())
            first.insert(key, i);
        else
            channels[qsizetype(i)].tvArchive = catalogue.archiveAt(places[i]) && channels[qsizetype(*found)].tvArchive;
    }
}

std::shared_ptr<const M3uLibrary> M3uLibrary::make(M3uCatalogue read)
{
    auto library = std::make_shared<M3uLibrary>();
    library->catalogue = std::make_shared<const M3uCatalogue>(std::move(read));
    const M3uCatalogue &catalogue = *library->catalogue;
    // MAVU_M3U_RECORDS_BEFORE: the records made as before (movies and channels one at a time
    // on one thread beside the shows), for bench_m3u's figures beside the pieces.
    if (qEnvironmentVariableIsSet("MAVU_M3U_RECORDS_BEFORE")) {
        QFuture<void> others = QtConcurrent::run([&library, &catalogue] {
            library->items[size_t(Section::movies)] = catalogue.items(Section::movies);
            library->items[size_t(Section::live)] = withPlayableArchives(catalogue, catalogue.items(Section::live));
        });
        Shows shows = groupShows(catalogue);
        library->showAt = std::move(shows.showAt);
        library->showEpisodes = std::move(shows.episodes);
        library->items[size_t(Section::series)] = std::move(shows.shows);
        others.waitForFinished();
        return library;
    }

    // Every section's work cut into pieces that this thread and the pool's take in turn: whoever
    // is free takes the next, so no thread waits on another's longer section.
    constexpr size_t recordsPerPiece = 16384;
    constexpr size_t episodesPerRun = 32768;
    // Every section's places in one pass over the entries.
    std::array<std::vector<quint32>, 3> placesOf;
    for (Section section : {Section::live, Section::movies, Section::series})
        placesOf[size_t(section)].reserve(size_t(catalogue.itemCount(section)));
    for (quint32 place = 0; place < quint32(catalogue.size()); ++place)
        placesOf[size_t(catalogue.sectionAt(place))].push_back(place);
    const std::vector<quint32> &livePlaces = placesOf[size_t(Section::live)];
    const std::vector<quint32> &moviePlaces = placesOf[size_t(Section::movies)];
    const std::vector<quint32> &episodePlaces = placesOf[size_t(Section::series)];
    const size_t runCount = std::max<size_t>(1, (episodePlaces.size() + episodesPerRun - 1) / episodesPerRun);
    std::vector<ShowRun> runs(runCount);
    std::vector<std::function<void()>> jobs;
    const size_t runStep = (episodePlaces.size() + runCount - 1) / runCount;
    // The shows first: their runs are the longest pieces.
    for (size_t run = 0; run < runCount; ++run) {
        const size_t from = std::min(episodePlaces.size(), run * runStep);
        const size_t length = std::min(episodePlaces.size(), from + runStep) - from;
        jobs.emplace_back([&catalogue, &runs, &episodePlaces, run, from, length] {
            runs[run] = readShows(catalogue, episodePlaces.data() + from, length);
        });
    }
    for (Section section : {Section::movies, Section::live}) {
        const std::vector<quint32> &places = section == Section::movies ? moviePlaces : livePlaces;
        QList<MediaItem> &list = library->items[size_t(section)];
        // Sized once, on huge pages where the system allows: the records fill tens of megabytes
        // of fresh memory, which page by page cost more faults than the records took to make.
        // MAVU_M3U_FAULTED: pages left to come as they are touched, to measure against.
        list.reserve(qsizetype(places.size()));
        if (qEnvironmentVariableIsSet("MAVU_M3U_FAULTED"))
            HugePages::advise(list.constData(), qsizetype(places.size() * sizeof(MediaItem)));
        else
            HugePages::prepare(list.data(), qsizetype(places.size() * sizeof(MediaItem)));
        list.resize(qsizetype(places.size()));
        MediaItem *out = list.data();
        for (size_t from = 0; from < places.size(); from += recordsPerPiece) {
            const size_t length = std::min(recordsPerPiece, places.size() - from);
            jobs.emplace_back([&catalogue, &places, out, from, length, section] {
                catalogue.fillItems(places.data() + from, length, out + from);
                if (section == Section::live)
                    judgeArchives(catalogue, places.data() + from, length, out + from);
            });
        }
    }
    std::atomic<size_t> next{0};
    const auto work = [&jobs, &next] {
        for (size_t job = next++; job < jobs.size(); job = next++)
            jobs[job]();
    };
    const int helpers = std::clamp(QThreadPool::globalInstance()->maxThreadCount() - 1, 0, 3);
    std::vector<QFuture<void>> helping;
    for (int i = 0; i < helpers && size_t(i + 1) < jobs.size(); ++i)
        helping.push_back(QtConcurrent::run(work));
    work();
    for (QFuture<void> &helper : helping)
        helper.waitForFinished();

    Shows shows = joinShows(runs);
    library->showAt = std::move(shows.showAt);
    library->showEpisodes = std::move(shows.episodes);
    library->items[size_t(Section::series)] = std::move(shows.shows);
    sameKeyArchives(catalogue, livePlaces, library->items[size_t(Section::live)]);
    return library;
}

// --- archive addresses ---

QString M3uArchive::expand(const QString &pattern, qint64 start, qint64 stop, qint64 now)
{
    // Each placeholder's value made when it is met: every archived channel of a list is
    // checked through here once, and a template names two or three of them.
    const auto valueOf = [start, stop, now](QStringView name) -> std::optional<QString> {
        if (name == u"utcend" || name == u"utc-end" || name == u"end")
            return QString::number(stop);
        if (name == u"utc" || name == u"start")
            return QString::number(start);
        if (name == u"duration")
            return QString::number(std::max<qint64>(stop - start, 0));
        if (name == u"lutc" || name == u"now" || name == u"timestamp")
            return QString::number(now);
        if (name == u"offset")
            return QString::number(std::max<qint64>(now - start, 0));
        if (name.size() != 1)
            return std::nullopt;
        const QDateTime utcStart = QDateTime::fromSecsSinceEpoch(start, Qt::UTC);
        const auto two = [](int value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
        switch (name.front().unicode()) {
        case u'Y':
            return QString::number(utcStart.date().year());
        case u'm':
            return two(utcStart.date().month());
        case u'd':
            return two(utcStart.date().day());
        case u'H':
            return two(utcStart.time().hour());
        case u'M':
            return two(utcStart.time().minute());
        case u'S':
            return two(utcStart.time().second());
        default:
            return std::nullopt;
        }
    };
    // One pass, left to right: a value is never read again as a placeholder.
    QString out;
    out.reserve(pattern.size() + 32);
    qsizetype at = 0;
    while (at < pattern.size()) {
        const bool dollar =
            pattern[at] == QLatin1Char('$') && at + 1 < pattern.size() && pattern[at + 1] == QLatin1Char('{');
        if (pattern[at] == QLatin1Char('{') || dollar) {
            const qsizetype open = at + (dollar ? 1 : 0);
            const qsizetype close = pattern.indexOf(QLatin1Char('}'), open);
            if (close > open) {
                if (const std::optional<QString> value =
                        valueOf(QStringView(pattern).sliced(open + 1, close - open - 1))) {
                    out += *value;
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
    if (lower == QLatin1String("index.m3u8") || lower == QLatin1String("mono.m3u8")
        || lower == QLatin1String("video.m3u8")) {
        archive =
            QStringLiteral("%1-%2-%3.m3u8").arg(last.chopped(5)).arg(start).arg(std::max<qint64>(stop - start, 0));
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
