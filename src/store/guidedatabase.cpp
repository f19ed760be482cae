#include "guidedatabase.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

// Diagnostics, off unless asked for (QT_LOGGING_RULES="mavu.store.debug=true").
Q_LOGGING_CATEGORY(lcGuideStore, "mavu.store", QtWarningMsg)

namespace GuideDatabase {

namespace {

// Raised when the layout of the file changes: an older file then counts as no guide.
constexpr int formatVersion = 2;
// An unfinished file older than this belongs to an import that never ended (a crash).
constexpr qint64 abandonedAfterSecs = 3600;

QString uniqueConnection(const char *kind)
{
    static std::atomic<quint64> counter{0};
    return QStringLiteral("mavu.guide.%1.%2").arg(QLatin1String(kind)).arg(++counter);
}

bool syncPath(const QString &path, int flags)
{
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// Leftovers of imports that never finished.
void removeAbandoned(const QString &finalPath)
{
    const QFileInfo target(finalPath);
    const QDir folder = target.dir();
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const QStringList leftovers =
        folder.entryList({target.fileName() + QStringLiteral(".import-*")}, QDir::Files | QDir::Hidden);
    for (const QString &name : leftovers) {
        const QFileInfo info(folder.filePath(name));
        if (now - info.lastModified().toSecsSinceEpoch() > abandonedAfterSecs)
            QFile::remove(info.filePath());
    }
}

} // namespace

QString fileName(const Playlist &playlist)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(playlist.host.toUtf8());
    hash.addData(QByteArrayView("\n", 1));
    hash.addData(playlist.username.toUtf8());
    return QStringLiteral("guide-") + QString::fromLatin1(hash.result().toHex().left(32)) + QStringLiteral(".sqlite");
}

// --- writing ---------------------------------------------------------------------------------

// The one statement of the bulk insert. Qt SQL hands the driver's SQLite connection out for
// what its interface does not cover; binding through it costs a third of what QSqlQuery's
// bound values cost (QVariants and a placeholder name made for every value), which is most
// of the writing of a guide of half a million programmes. Everything else, the transaction
// included, goes through Qt SQL on the same connection.
struct Statements
{
    sqlite3_stmt *insert = nullptr;
    ~Statements()
    {
        if (insert)
            sqlite3_finalize(insert);
    }
};

Writer::Writer(QString finalPath)
    : m_finalPath(std::move(finalPath))
{
}

Writer::~Writer()
{
    close();
    if (!m_committed && !m_tempPath.isEmpty())
        QFile::remove(m_tempPath);
}

bool Writer::fail(const QString &what)
{
    if (m_error.isEmpty())
        m_error = what;
    qCDebug(lcGuideStore) << "guide database:" << what;
    return false;
}

bool Writer::execAll(const QStringList &statements)
{
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    for (const QString &statement : statements) {
        if (!query.exec(statement))
            return fail(query.lastError().text());
    }
    return true;
}

void Writer::close()
{
    m_statements.reset();
    if (!m_connection.isEmpty()) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            if (db.isOpen()) {
                if (!m_committed)
                    db.rollback();
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(m_connection);
        m_connection.clear();
    }
    m_open = false;
}

bool Writer::begin(const QStringList &channels)
{
    const QFileInfo target(m_finalPath);
    if (!QDir().mkpath(target.absolutePath()))
        return fail(QStringLiteral("cannot make the folder"));
    removeAbandoned(m_finalPath);

    // Created owner-only from the first moment; SQLite keeps to the file's mode.
    const auto suffix = QString::number(QRandomGenerator::system()->generate64(), 16);
    m_tempPath = m_finalPath + QStringLiteral(".import-") + suffix;
    {
        QFile file(m_tempPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return fail(QStringLiteral("cannot create the file: ") + file.errorString());
    }

    m_connection = uniqueConnection("writer");
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    db.setDatabaseName(m_tempPath);
    if (!db.open())
        return fail(db.lastError().text());
    m_open = true;
    // Nothing to roll back to and nothing to protect: a file that does not finish is thrown away.
    if (!execAll({
            QStringLiteral("PRAGMA journal_mode=OFF"),
            QStringLiteral("PRAGMA synchronous=OFF"),
            QStringLiteral("PRAGMA cache_size=-16000"),
            QStringLiteral("CREATE TABLE meta(key TEXT PRIMARY KEY, value INTEGER NOT NULL) WITHOUT ROWID"),
            QStringLiteral("CREATE TABLE channels(key INTEGER PRIMARY KEY, id TEXT NOT NULL)"),
            QStringLiteral("CREATE TABLE programmes(channel INTEGER NOT NULL, start INTEGER NOT NULL, stop INTEGER, "
                           "offset INTEGER NOT NULL, title TEXT NOT NULL, desc TEXT NOT NULL)"),
        }))
        return false;
    if (!db.transaction())
        return fail(db.lastError().text());

    QSqlQuery channel(db);
    if (!channel.prepare(QStringLiteral("INSERT INTO channels(key, id) VALUES (?, ?)")))
        return fail(channel.lastError().text());
    for (qsizetype key = 0; key < channels.size(); ++key) {
        channel.bindValue(0, qint64(key));
        channel.bindValue(1, channels.at(key));
        if (!channel.exec())
            return fail(channel.lastError().text());
    }

    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return fail(QStringLiteral("not an SQLite connection"));
    sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
    m_statements = std::make_unique<Statements>();
    const char *sql = "INSERT INTO programmes(channel, start, stop, offset, title, desc) VALUES (?, ?, ?, ?, ?, ?)";
    if (sqlite3_prepare_v3(connection, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_statements->insert, nullptr) != SQLITE_OK)
        return fail(QString::fromUtf8(sqlite3_errmsg(connection)));
    return true;
}

bool Writer::add(const QList<XmltvReader::Programme> &programmes)
{
    if (!m_open || !m_statements)
        return fail(QStringLiteral("not open"));
    sqlite3_stmt *insert = m_statements->insert;
    const auto text = [insert](int column, const QString &value) {
        // UTF-16 as the string holds it; SQLite keeps UTF-8 and reads it only during the step.
        const void *characters = value.isNull() ? static_cast<const void *>(u"") : value.utf16();
        return sqlite3_bind_text16(insert, column, characters, int(value.size() * 2), SQLITE_STATIC);
    };
    for (const XmltvReader::Programme &programme : programmes) {
        int result = sqlite3_bind_int(insert, 1, programme.channel);
        result |= sqlite3_bind_int64(insert, 2, programme.start.utc);
        result |= programme.stop ? sqlite3_bind_int64(insert, 3, *programme.stop) : sqlite3_bind_null(insert, 3);
        result |= sqlite3_bind_int(insert, 4, programme.start.offsetMinutes);
        result |= text(5, programme.title);
        result |= text(6, programme.desc);
        if (result != SQLITE_OK || sqlite3_step(insert) != SQLITE_DONE) {
            const QString error = QString::fromUtf8(sqlite3_errmsg(sqlite3_db_handle(insert)));
            sqlite3_reset(insert);
            return fail(error);
        }
        sqlite3_reset(insert);
    }
    m_added += programmes.size();
    return true;
}

bool Writer::commit(qint64 importedAt, qint64 keptFrom)
{
    if (!m_open)
        return fail(QStringLiteral("not open"));
    m_statements.reset();
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    // The index first: the stop times below look the next programme up through it. It holds
    // all a grid cell needs, so that reading a window never goes to the table itself.
    if (!execAll({
            QStringLiteral("CREATE INDEX programmes_by_time ON programmes(channel, start, stop, offset, title)"),
            QStringLiteral("UPDATE programmes SET stop = coalesce((SELECT min(n.start) FROM programmes n "
                           "WHERE n.channel = programmes.channel AND n.start > programmes.start), start + 3600) "
                           "WHERE stop IS NULL"),
        }))
        return false;
    QSqlQuery query(db);
    if (!query.prepare(QStringLiteral("DELETE FROM programmes WHERE stop <= ?")))
        return fail(query.lastError().text());
    query.bindValue(0, keptFrom);
    if (!query.exec())
        return fail(query.lastError().text());
    qint64 count = 0;
    if (query.exec(QStringLiteral("SELECT count(*) FROM programmes")) && query.next())
        count = query.value(0).toLongLong();
    if (!query.prepare(QStringLiteral("INSERT INTO meta(key, value) VALUES ('version', ?), ('imported_at', ?), "
                                      "('kept_from', ?), ('programmes', ?)")))
        return fail(query.lastError().text());
    query.bindValue(0, formatVersion);
    query.bindValue(1, importedAt);
    query.bindValue(2, keptFrom);
    query.bindValue(3, count);
    if (!query.exec())
        return fail(query.lastError().text());
    query.finish();
    if (!db.commit())
        return fail(db.lastError().text());
    m_committed = true;
    db = QSqlDatabase();
    close();

    // On disk before it takes the old one's place, so that a crash leaves one whole guide.
    if (!syncPath(m_tempPath, O_RDONLY))
        return fail(QStringLiteral("cannot write the file out"));
    if (std::rename(QFile::encodeName(m_tempPath).constData(), QFile::encodeName(m_finalPath).constData()) != 0) {
        m_committed = false;
        return fail(QStringLiteral("cannot put the file in place"));
    }
    syncPath(QFileInfo(m_finalPath).absolutePath(), O_RDONLY | O_DIRECTORY);
    return true;
}

// --- reading ---------------------------------------------------------------------------------

Reader::Reader(QString path)
    : m_path(std::move(path))
{
}

Reader::~Reader()
{
    if (!m_connection.isEmpty()) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connection, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_connection);
    }
}

bool Reader::open()
{
    if (m_open)
        return true;
    if (!QFileInfo::exists(m_path))
        return false;
    if (m_connection.isEmpty()) {
        m_connection = uniqueConnection("reader");
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
        db.setDatabaseName(m_path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
    }
    QSqlDatabase db = QSqlDatabase::database(m_connection, false);
    if (!db.open())
        return false;

    QSqlQuery query(db);
    query.setForwardOnly(true);
    // Pages read straight from the file's mapping rather than copied into a small cache: a
    // window of thousands of rows touches many of them.
    query.exec(QStringLiteral("PRAGMA mmap_size=1073741824"));
    QHash<QString, qint64> meta;
    if (!query.exec(QStringLiteral("SELECT key, value FROM meta"))) {
        db.close();
        return false;
    }
    while (query.next())
        meta.insert(query.value(0).toString(), query.value(1).toLongLong());
    if (meta.value(QStringLiteral("version")) != formatVersion) {
        db.close();
        return false;
    }
    m_keys.clear();
    if (!query.exec(QStringLiteral("SELECT key, id FROM channels"))) {
        db.close();
        return false;
    }
    while (query.next())
        m_keys.insert(query.value(1).toString(), query.value(0).toInt());
    m_summary = Summary{meta.value(QStringLiteral("imported_at")), meta.value(QStringLiteral("kept_from")),
                        meta.value(QStringLiteral("programmes"))};
    m_open = true;
    return true;
}

QList<QList<GuideProgram>> Reader::programs(const QStringList &channels, qint64 from, qint64 to)
{
    QList<QList<GuideProgram>> rows(channels.size());
    if (!open() || to <= from)
        return rows;

    // Where each key's programmes go; two live channels may share one guide channel.
    QHash<int, QList<qsizetype>> places;
    QByteArray keys = "[";
    for (qsizetype i = 0; i < channels.size(); ++i) {
        const auto found = m_keys.constFind(channels.at(i));
        if (found == m_keys.cend())
            continue;
        QList<qsizetype> &at = places[*found];
        if (at.isEmpty()) {
            if (keys.size() > 1)
                keys += ',';
            keys += QByteArray::number(*found);
        }
        at.append(i);
    }
    keys += ']';
    if (places.isEmpty())
        return rows;

    // Each channel from its last programme that starts by `from` (however long ago: one seek
    // back through the index), then everything that starts before `to`. Stepped through the
    // driver's own SQLite connection: thousands of rows read without a QVariant each.
    const QVariant handle = QSqlDatabase::database(m_connection, false).driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return rows;
    sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
    sqlite3_stmt *query = nullptr;
    const char *sql = "SELECT p.channel, p.start, p.stop, p.offset, p.title FROM json_each(?1) w "
                      "JOIN programmes p ON p.channel = w.value "
                      "AND p.start >= coalesce((SELECT max(q.start) FROM programmes q WHERE q.channel = w.value AND q.start <= ?2), ?2) "
                      "AND p.start < ?3 AND p.stop > ?2 "
                      "ORDER BY p.channel, p.start";
    if (sqlite3_prepare_v2(connection, sql, -1, &query, nullptr) != SQLITE_OK) {
        qCDebug(lcGuideStore) << "guide query:" << sqlite3_errmsg(connection);
        return rows;
    }
    sqlite3_bind_text(query, 1, keys.constData(), int(keys.size()), SQLITE_STATIC);
    sqlite3_bind_int64(query, 2, from);
    sqlite3_bind_int64(query, 3, to);

    int lastKey = -1;
    QList<GuideProgram> current;
    const auto flush = [&] {
        if (lastKey < 0)
            return;
        const QList<qsizetype> &at = places[lastKey];
        for (qsizetype i = 1; i < at.size(); ++i)
            rows[at[i]] = current;
        rows[at.first()] = std::exchange(current, {});
    };
    while (sqlite3_step(query) == SQLITE_ROW) {
        const int key = sqlite3_column_int(query, 0);
        if (key != lastKey) {
            flush();
            lastKey = key;
        }
        GuideProgram program;
        program.start = sqlite3_column_int64(query, 1);
        program.stop = sqlite3_column_int64(query, 2);
        program.offsetMinutes = sqlite3_column_int(query, 3);
        const void *title = sqlite3_column_text16(query, 4);
        program.title = QString(static_cast<const QChar *>(title), sqlite3_column_bytes16(query, 4) / 2);
        // A repeated entry (same start) is the same programme; an overlapping one is cut
        // where the next begins.
        if (!current.isEmpty() && current.last().start == program.start)
            continue;
        if (!current.isEmpty() && current.last().stop > program.start)
            current.last().stop = program.start;
        current.append(std::move(program));
    }
    sqlite3_finalize(query);
    flush();
    return rows;
}

std::optional<GuideProgram> Reader::program(const QString &channel, qint64 start)
{
    if (!open())
        return std::nullopt;
    const auto key = m_keys.constFind(channel);
    if (key == m_keys.cend())
        return std::nullopt;
    QSqlQuery query(QSqlDatabase::database(m_connection, false));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT start, stop, offset, title, desc FROM programmes WHERE channel = ? AND start = ? "
                                 "LIMIT 1"));
    query.bindValue(0, *key);
    query.bindValue(1, start);
    if (!query.exec() || !query.next())
        return std::nullopt;
    GuideProgram program;
    program.start = query.value(0).toLongLong();
    program.stop = query.value(1).toLongLong();
    program.offsetMinutes = query.value(2).toInt();
    program.title = query.value(3).toString();
    program.desc = query.value(4).toString();
    return program;
}

} // namespace GuideDatabase
