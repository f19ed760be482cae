#include "cataloguecache.h"

#include "api/diagnostics.h"
#include "store/catalogue.h"
#include "store/ownerfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QtConcurrent>

#include <zlib.h>

#include <cstring>

namespace {

constexpr char magic[8] = {'M', 'A', 'V', 'U', 'C', 'A', 'T', '\n'};
constexpr QLatin1String suffix{".catalogue"};

// magic, version, CRC-32 of the payload, payload length, account key
constexpr qsizetype keySize = 32;
constexpr qsizetype headerSize = 8 + 4 + 4 + 8 + keySize;
// The payload opens with the front block's length and CRC-32.
constexpr qsizetype frontHeadSize = 4 + 4;

enum RecordFlag : quint8 {
    kindMask = 0x03,
    tvArchiveFlag = 0x04,
    seriesIdFlag = 0x08,
    ratingFlag = 0x10, // a rating other than +0.0 follows
    knownFlags = kindMask | tvArchiveFlag | seriesIdFlag | ratingFlag,
};

QByteArray accountKey(const Playlist &playlist)
{
    // Each part with its length, so that no two accounts hash the same text.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString &part : {playlist.host, playlist.username, playlist.password}) {
        const QByteArray bytes = part.toUtf8();
        const quint64 size = quint64(bytes.size());
        hash.addData(QByteArrayView(reinterpret_cast<const char *>(&size), sizeof size));
        hash.addData(bytes);
    }
    return hash.result();
}

quint32 checksum(const char *data, qsizetype size)
{
    return quint32(crc32_z(crc32_z(0, nullptr, 0), reinterpret_cast<const Bytef *>(data), size_t(size)));
}

// --- writing ---

class Writer
{
public:
    explicit Writer(qsizetype reserve) { m_out.reserve(reserve); }

    QByteArray take() { return std::move(m_out); }
    qsizetype size() const { return m_out.size(); }

    void byte(quint8 value) { m_out.append(char(value)); }
    void raw(const void *data, qsizetype size) { m_out.append(static_cast<const char *>(data), size); }
    void u32(quint32 value) { raw(&value, sizeof value); } // the machine is little-endian (checked below)
    void u64(quint64 value) { raw(&value, sizeof value); }
    void varint(quint64 value)
    {
        char buffer[10];
        int n = 0;
        while (value >= 0x80) {
            buffer[n++] = char(value | 0x80);
            value >>= 7;
        }
        buffer[n++] = char(value);
        m_out.append(buffer, n);
    }
    void signedVarint(qint64 value) { varint((quint64(value) << 1) ^ quint64(value >> 63)); }

    void bytes(QByteArrayView bytes)
    {
        varint(quint64(bytes.size()));
        raw(bytes.data(), bytes.size());
    }

    void text(const QString &text)
    {
        if (text.isEmpty()) {
            byte(0);
            return;
        }
        // Encoded straight into the output, after a length that is patched once it is known.
        const qsizetype at = m_out.size();
        const qsizetype room = m_encoder.requiredSpace(text.size());
        const int lengthBytes = room < 0x80 ? 1 : room < 0x4000 ? 2 : room < 0x200000 ? 3 : 5;
        m_out.resize(at + lengthBytes + room);
        char *start = m_out.data() + at + lengthBytes;
        const char *end = m_encoder.appendToBuffer(start, text);
        quint64 length = quint64(end - start);
        char *out = m_out.data() + at;
        // The length is written in exactly `lengthBytes` bytes (padded continuation bytes are
        // valid varints), so the text need not move.
        for (int i = 0; i < lengthBytes; ++i) {
            out[i] = char((length & 0x7f) | (i + 1 < lengthBytes ? 0x80 : 0));
            length >>= 7;
        }
        m_out.resize(at + lengthBytes + (end - start));
    }

private:
    QByteArray m_out;
    QStringEncoder m_encoder{QStringEncoder::Utf8, QStringConverter::Flag::Stateless};
};

// Texts that repeat across records are written once, in a table, and referred to by number.
class Pool
{
public:
    Pool()
    {
        m_index.insert(QString(), 0);
        m_texts.append(QString());
    }

    quint64 indexOf(const QString &text)
    {
        if (text.isEmpty())
            return 0;
        const auto found = m_index.constFind(text);
        if (found != m_index.cend())
            return *found;
        const quint64 index = quint64(m_texts.size());
        m_index.insert(text, index);
        m_texts.append(text);
        return index;
    }
    const QList<QString> &texts() const { return m_texts; }

private:
    QHash<QString, quint64> m_index;
    QList<QString> m_texts;
};

void writeRecord(Writer &out, Pool &pool, const MediaItem &item)
{
    quint64 ratingBits = 0;
    std::memcpy(&ratingBits, &item.rating5, sizeof ratingBits);
    quint8 flags = quint8(item.kind) & kindMask;
    if (item.tvArchive)
        flags |= tvArchiveFlag;
    const std::optional<QString> seriesId = item.seriesId();
    if (seriesId)
        flags |= seriesIdFlag;
    if (ratingBits != 0)
        flags |= ratingFlag;
    out.byte(flags);
    out.text(item.id);
    out.text(item.name);
    out.varint(pool.indexOf(item.categoryId));
    out.varint(pool.indexOf(item.containerExt));
    out.bytes(item.iconUtf8());
    out.signedVarint(item.num);
    out.text(item.epgChannelId);
    out.signedVarint(item.archiveDays);
    // "added" is nearly always a plain number; any other text goes to the table
    const std::optional<qint64> stamp = item.addedStamp();
    out.signedVarint(stamp.value_or(-1));
    if (!stamp)
        out.varint(pool.indexOf(item.added()));
    if (ratingBits != 0)
        out.u64(ratingBits);
    out.text(item.plot());
    out.varint(pool.indexOf(item.cast()));
    out.varint(pool.indexOf(item.director()));
    out.varint(pool.indexOf(item.genre()));
    out.varint(pool.indexOf(item.releaseDate()));
    out.text(item.trailer());
    if (seriesId)
        out.text(*seriesId);
}

QByteArray tableOf(const Pool &pool, qsizetype reserve)
{
    Writer table(reserve);
    table.varint(quint64(pool.texts().size() - 1)); // the empty text is implied
    for (qsizetype i = 1; i < pool.texts().size(); ++i)
        table.text(pool.texts().at(i));
    return table.take();
}

// The home rows with a text table of their own: read without the file's big table.
QByteArray frontBlock(const CatalogueCache::HomeRows &rows)
{
    Pool pool;
    Writer body(4096);
    quint8 mask = 0;
    for (size_t s = 0; s < rows.size(); ++s)
        mask |= rows[s] ? quint8(1 << s) : 0;
    body.byte(mask);
    for (const auto &row : rows) {
        if (!row)
            continue;
        body.varint(quint64(row->size()));
        for (const MediaItem &item : *row)
            writeRecord(body, pool, item);
    }
    return tableOf(pool, 1024) + body.take();
}

// --- reading ---

// Every read is bounds-checked; the first failure sticks and every later read gives zero.
class Reader
{
public:
    Reader(const char *begin, const char *end)
        : m_at(begin)
        , m_end(end)
    {
    }

    bool ok() const { return m_ok; }
    bool atEnd() const { return m_at == m_end; }
    qsizetype remaining() const { return m_end - m_at; }
    void fail() { m_ok = false, m_at = m_end; }

    quint8 byte()
    {
        if (m_at == m_end) {
            fail();
            return 0;
        }
        return quint8(*m_at++);
    }
    quint64 u64()
    {
        quint64 value = 0;
        if (remaining() < qsizetype(sizeof value)) {
            fail();
            return 0;
        }
        std::memcpy(&value, m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }
    quint64 varint()
    {
        quint64 value = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (m_at == m_end)
                break;
            const quint8 b = quint8(*m_at++);
            value |= quint64(b & 0x7f) << shift;
            if (!(b & 0x80))
                return value;
        }
        fail();
        return 0;
    }
    qint64 signedVarint()
    {
        const quint64 value = varint();
        return qint64(value >> 1) ^ -qint64(value & 1);
    }
    // A count of things that each take at least one byte: never more than the bytes left.
    qsizetype count()
    {
        const quint64 value = varint();
        if (value > quint64(remaining())) {
            fail();
            return 0;
        }
        return qsizetype(value);
    }
    QByteArray bytes()
    {
        const qsizetype size = count();
        const char *start = m_at;
        m_at += size;
        return QByteArray(start, size);
    }
    QString text()
    {
        const qsizetype size = count();
        if (size == 0)
            return QString();
        const char *start = m_at;
        m_at += size;
        return QString::fromUtf8(start, size);
    }

private:
    const char *m_at;
    const char *m_end;
    bool m_ok = true;
};

MediaItem readRecord(Reader &in, const QList<QString> &pool)
{
    const auto pooled = [&] {
        const quint64 index = in.varint();
        if (index >= quint64(pool.size())) {
            in.fail();
            return QString();
        }
        return pool.at(qsizetype(index));
    };
    MediaItem item;
    const quint8 flags = in.byte();
    if ((flags & ~knownFlags) != 0 || (flags & kindMask) > quint8(MediaItem::Kind::series)) {
        in.fail();
        return item;
    }
    item.kind = MediaItem::Kind(flags & kindMask);
    item.tvArchive = flags & tvArchiveFlag;
    item.id = in.text();
    item.name = in.text();
    item.categoryId = pooled();
    item.containerExt = pooled();
    item.setIconUtf8(in.bytes());
    item.num = in.signedVarint();
    item.epgChannelId = in.text();
    item.archiveDays = in.signedVarint();
    if (const qint64 stamp = in.signedVarint(); stamp >= 0)
        item.setAddedStamp(stamp);
    else
        item.setAdded(pooled());
    if (flags & ratingFlag) {
        const quint64 bits = in.u64();
        std::memcpy(&item.rating5, &bits, sizeof bits);
    }
    item.setPlot(in.text());
    item.setCast(pooled());
    item.setDirector(pooled());
    item.setGenre(pooled());
    item.setReleaseDate(pooled());
    item.setTrailer(in.text());
    if (flags & seriesIdFlag)
        item.setSeriesId(in.text());
    return item;
}

QList<QString> readTable(Reader &in)
{
    QList<QString> pool;
    const qsizetype poolSize = in.count();
    pool.reserve(poolSize + 1);
    pool.append(QString());
    for (qsizetype i = 0; i < poolSize && in.ok(); ++i)
        pool.append(in.text());
    return pool;
}

std::optional<CatalogueCache::HomeRows> readFront(const char *begin, const char *end)
{
    Reader in(begin, end);
    const QList<QString> pool = readTable(in);
    const quint8 mask = in.byte();
    if (mask & ~0x07)
        return std::nullopt;
    CatalogueCache::HomeRows rows;
    for (size_t s = 0; s < rows.size() && in.ok(); ++s) {
        if (!(mask & (1 << s)))
            continue;
        QList<MediaItem> row;
        const qsizetype count = in.count();
        row.reserve(count);
        for (qsizetype i = 0; i < count && in.ok(); ++i)
            row.append(readRecord(in, pool));
        rows[s] = std::move(row);
    }
    if (!in.ok() || !in.atEnd())
        return std::nullopt;
    return rows;
}

// The payload behind a header that is this account's and fits the file, or null. The
// payload's own checksum is left to the caller: the front block is read without it.
const char *checkedPayload(const Playlist &playlist, QByteArrayView bytes, quint32 *crc)
{
    if (bytes.size() < headerSize || std::memcmp(bytes.data(), magic, sizeof magic) != 0)
        return nullptr;
    quint32 version = 0;
    quint64 payloadSize = 0;
    std::memcpy(&version, bytes.data() + 8, 4);
    std::memcpy(crc, bytes.data() + 12, 4);
    std::memcpy(&payloadSize, bytes.data() + 16, 8);
    if (version != CatalogueCache::formatVersion || payloadSize != quint64(bytes.size() - headerSize))
        return nullptr;
    const QByteArray key = accountKey(playlist);
    if (std::memcmp(bytes.data() + 24, key.constData(), keySize) != 0)
        return nullptr;
    return bytes.data() + headerSize;
}

// Where the front block lies in the payload, once its length and checksum pass.
std::optional<QByteArrayView> frontOf(const char *payload, const char *end)
{
    if (end - payload < frontHeadSize)
        return std::nullopt;
    quint32 size = 0, crc = 0;
    std::memcpy(&size, payload, 4);
    std::memcpy(&crc, payload + 4, 4);
    if (qint64(size) > end - payload - frontHeadSize || checksum(payload + frontHeadSize, qsizetype(size)) != crc)
        return std::nullopt;
    return QByteArrayView(payload + frontHeadSize, qsizetype(size));
}

} // namespace

static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the catalogue file is written in the machine's byte order");

bool CatalogueCache::Snapshot::isEmpty() const
{
    const auto absent = [](const auto &part) { return !part.has_value(); };
    return std::all_of(categories.cbegin(), categories.cend(), absent)
        && std::all_of(catalogues.cbegin(), catalogues.cend(), absent);
}

QString CatalogueCache::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/catalogues");
}

CatalogueCache::CatalogueCache(QString folder)
    : m_folder(std::move(folder))
{
    m_pool.setMaxThreadCount(1);
    m_pool.setExpiryTimeout(-1);
    m_pool.setObjectName(QStringLiteral("catalogueCache"));
}

CatalogueCache::~CatalogueCache()
{
    // A save asked for just before quitting still lands; its data is the freshest there is.
    m_pool.waitForDone();
}

QString CatalogueCache::fileName(const Playlist &playlist)
{
    // The address and the user name pick the file; the password only goes into the key inside.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(playlist.host.toUtf8());
    hash.addData(QByteArrayView("\n"));
    hash.addData(playlist.username.toUtf8());
    return QString::fromLatin1(hash.result().left(16).toHex()) + suffix;
}

QString CatalogueCache::filePath(const Playlist &playlist) const
{
    return isEnabled() ? QDir(m_folder).filePath(fileName(playlist)) : QString();
}

QByteArray CatalogueCache::encode(const Playlist &playlist, const Snapshot &snapshot)
{
    qsizetype records = 0;
    for (const auto &catalogue : snapshot.catalogues)
        records += catalogue ? catalogue->size() : 0;
    Pool pool;
    Writer body(records * 96 + 4096);
    quint8 categoryMask = 0, catalogueMask = 0;
    for (size_t s = 0; s < 3; ++s) {
        categoryMask |= snapshot.categories[s] ? quint8(1 << s) : 0;
        catalogueMask |= snapshot.catalogues[s] ? quint8(1 << s) : 0;
    }
    body.byte(categoryMask);
    body.byte(catalogueMask);
    for (const auto &categories : snapshot.categories) {
        if (!categories)
            continue;
        body.varint(quint64(categories->size()));
        for (const Category &category : *categories) {
            body.text(category.id);
            body.text(category.name);
        }
    }
    for (const auto &catalogue : snapshot.catalogues) {
        if (!catalogue)
            continue;
        body.varint(quint64(catalogue->size()));
        for (const MediaItem &item : *catalogue)
            writeRecord(body, pool, item);
    }

    HomeRows rows;
    for (Section section : {Section::movies, Section::series}) {
        const auto &catalogue = snapshot.catalogues[size_t(section)];
        if (catalogue && snapshot.homeRowLength > 0)
            rows[size_t(section)] = Catalogue::newest(*catalogue, snapshot.homeRowLength);
    }
    const QByteArray front = frontBlock(rows);
    Writer frontHead(frontHeadSize);
    frontHead.u32(quint32(front.size()));
    frontHead.u32(checksum(front.constData(), front.size()));
    const QByteArray frontHeadBytes = frontHead.take();

    const QByteArray tableBytes = tableOf(pool, body.size() / 16 + 1024);
    const QByteArray bodyBytes = body.take();
    const quint64 payloadSize = quint64(frontHeadSize + front.size() + tableBytes.size() + bodyBytes.size());
    quint32 crc = checksum(frontHeadBytes.constData(), frontHeadBytes.size());
    for (const QByteArray *part : {&front, &tableBytes, &bodyBytes})
        crc = quint32(crc32_z(crc, reinterpret_cast<const Bytef *>(part->constData()), size_t(part->size())));

    Writer out(headerSize + qsizetype(payloadSize));
    out.raw(magic, sizeof magic);
    out.u32(formatVersion);
    out.u32(crc);
    out.u64(payloadSize);
    const QByteArray key = accountKey(playlist);
    out.raw(key.constData(), key.size());
    out.raw(frontHeadBytes.constData(), frontHeadBytes.size());
    out.raw(front.constData(), front.size());
    out.raw(tableBytes.constData(), tableBytes.size());
    out.raw(bodyBytes.constData(), bodyBytes.size());
    return out.take();
}

std::optional<CatalogueCache::Snapshot> CatalogueCache::decode(const Playlist &playlist, QByteArrayView bytes)
{
    quint32 crc = 0;
    const char *payload = checkedPayload(playlist, bytes, &crc);
    const char *end = bytes.data() + bytes.size();
    if (!payload || checksum(payload, end - payload) != crc)
        return std::nullopt;
    const std::optional<QByteArrayView> front = frontOf(payload, end);
    if (!front)
        return std::nullopt;
    std::optional<HomeRows> rows = readFront(front->data(), front->data() + front->size());
    if (!rows)
        return std::nullopt;

    Reader in(front->data() + front->size(), end);
    const QList<QString> pool = readTable(in);

    Snapshot snapshot;
    snapshot.homeRows = std::move(*rows);
    for (const auto &row : snapshot.homeRows)
        snapshot.homeRowLength = std::max(snapshot.homeRowLength, row ? row->size() : 0);
    const quint8 categoryMask = in.byte();
    const quint8 catalogueMask = in.byte();
    if ((categoryMask | catalogueMask) & ~0x07)
        return std::nullopt;
    for (size_t s = 0; s < 3 && in.ok(); ++s) {
        if (!(categoryMask & (1 << s)))
            continue;
        QList<Category> categories;
        const qsizetype count = in.count();
        categories.reserve(count);
        for (qsizetype i = 0; i < count && in.ok(); ++i) {
            Category category;
            category.id = in.text();
            category.name = in.text();
            categories.append(std::move(category));
        }
        snapshot.categories[s] = std::move(categories);
    }
    for (size_t s = 0; s < 3 && in.ok(); ++s) {
        if (!(catalogueMask & (1 << s)))
            continue;
        QList<MediaItem> items;
        const qsizetype count = in.count();
        items.reserve(count);
        for (qsizetype i = 0; i < count && in.ok(); ++i)
            items.append(readRecord(in, pool));
        snapshot.catalogues[s] = std::move(items);
    }
    if (!in.ok() || !in.atEnd())
        return std::nullopt;
    return snapshot;
}

std::optional<CatalogueCache::HomeRows> CatalogueCache::decodeHomeRows(const Playlist &playlist, QByteArrayView bytes)
{
    quint32 crc = 0;
    const char *payload = checkedPayload(playlist, bytes, &crc);
    if (!payload)
        return std::nullopt;
    const std::optional<QByteArrayView> front = frontOf(payload, bytes.data() + bytes.size());
    if (!front)
        return std::nullopt;
    return readFront(front->data(), front->data() + front->size());
}

bool CatalogueCache::write(const QString &path, const QByteArray &bytes)
{
    return writeOwnerOnlyFile(path, bytes);
}

std::optional<CatalogueCache::Snapshot> CatalogueCache::read(const QString &path, const Playlist &playlist)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::optional<Snapshot> snapshot;
    const qint64 size = file.size();
    if (size > 0) {
        // Mapped rather than read: a renamed-over file keeps its old contents for us.
        if (const uchar *data = file.map(0, size)) {
            snapshot = decode(playlist, QByteArrayView(reinterpret_cast<const char *>(data), size));
            file.unmap(const_cast<uchar *>(data));
        } else {
            snapshot = decode(playlist, file.readAll());
        }
    }
    if (!snapshot) {
        qCDebug(lcStore) << "kept catalogue file refused, removed";
        file.remove();
    }
    return snapshot;
}

std::optional<CatalogueCache::HomeRows> CatalogueCache::readHomeRows(const QString &path, const Playlist &playlist)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const qint64 size = file.size();
    if (size <= 0)
        return std::nullopt;
    // Mapped: only the pages of the header and the front block are read from disk.
    if (const uchar *data = file.map(0, size)) {
        std::optional<HomeRows> rows = decodeHomeRows(playlist, QByteArrayView(reinterpret_cast<const char *>(data), size));
        file.unmap(const_cast<uchar *>(data));
        return rows;
    }
    return decodeHomeRows(playlist, file.readAll());
}

CatalogueCache::Loading CatalogueCache::load(Playlist playlist)
{
    if (!isEnabled())
        return {QtFuture::makeReadyFuture(std::optional<HomeRows>()), QtFuture::makeReadyFuture(std::optional<Snapshot>())};
    // One after the other on the cache's thread: the rows first.
    const QString path = filePath(playlist);
    return {QtConcurrent::run(&m_pool, [path, playlist] { return readHomeRows(path, playlist); }),
            QtConcurrent::run(&m_pool, [path, playlist] { return read(path, playlist); })};
}

void CatalogueCache::save(Playlist playlist, Snapshot snapshot)
{
    if (!isEnabled() || snapshot.isEmpty())
        return;
    const quint64 number = ++*m_latest;
    m_pool.start([latest = m_latest, number, folder = m_folder, playlist = std::move(playlist),
                  snapshot = std::move(snapshot)] {
        if (*latest != number)
            return;
        const QString name = fileName(playlist);
        const bool written = write(QDir(folder).filePath(name), encode(playlist, snapshot));
        qCDebug(lcStore) << "kept catalogue saved:" << written;
        if (!written)
            return;
        // One account's catalogue at a time: earlier accounts', and what a killed write left.
        const QStringList others = QDir(folder).entryList(QDir::Files | QDir::Hidden);
        for (const QString &other : others) {
            if (other != name)
                QFile::remove(QDir(folder).filePath(other));
        }
    });
}

void CatalogueCache::drop(const Playlist &playlist)
{
    if (!isEnabled())
        return;
    ++*m_latest;
    m_pool.start([path = filePath(playlist)] { QFile::remove(path); });
}

void CatalogueCache::waitForDone()
{
    m_pool.waitForDone();
}
