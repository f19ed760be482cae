#pragma once

#include "api/xmltvreader.h"
#include "model/playlist.h"
#include "store/guideprogram.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

// The full programme guide of one playlist, kept in an SQLite file of its own in the cache
// folder. A new guide is written into a fresh file beside it and renamed over the old one in
// one step, so a reader sees either the whole old guide or the whole new one, never half of
// an import. Files are readable by their owner only.
//
// Qt SQL opens, configures and commits; the two loops that touch hundreds of thousands of
// rows (the bulk insert, the window read) step through the driver's own SQLite connection
// (QSqlDriver::handle()), which spares a QVariant and a placeholder name for every value.
// Qt SQL connections belong to the thread that opened them: a writer or a reader is made,
// used and dropped on one thread.
namespace GuideDatabase {

// "guide-<hash of host and user>.sqlite": nothing of the credentials in the name.
QString fileName(const Playlist &playlist);

// What an import leaves beside the programmes.
struct Summary
{
    qint64 importedAt = 0; // seconds since 1970
    qint64 keptFrom = 0;   // programmes that ended before this were dropped
    qint64 programmes = 0;
};

struct Statements;

class Writer
{
public:
    // `finalPath`: where the guide lives once committed.
    explicit Writer(QString finalPath);
    ~Writer(); // drops the unfinished file unless committed
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    // A new file for these channel ids (a programme's channel key is the index in this list).
    bool begin(const QStringList &channels);
    bool add(const QList<XmltvReader::Programme> &programmes);
    // Finishes the guide (missing stop times from the next programme, or an hour; programmes
    // ended before `keptFrom` dropped; the index), then puts it in place of the old one.
    bool commit(qint64 importedAt, qint64 keptFrom);

    QString errorText() const { return m_error; }
    qint64 added() const { return m_added; }

private:
    bool fail(const QString &what);
    bool execAll(const QStringList &statements);
    void close();

    std::unique_ptr<Statements> m_statements;
    QString m_finalPath;
    QString m_tempPath;
    QString m_connection;
    QString m_error;
    qint64 m_added = 0;
    bool m_open = false;
    bool m_committed = false;
};

class Reader
{
public:
    explicit Reader(QString path);
    ~Reader();
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    // False when there is no guide (yet) or it cannot be read.
    bool open();
    bool isOpen() const { return m_open; }
    const QString &path() const { return m_path; }
    std::optional<Summary> summary() const { return m_summary; }

    // The programmes of each channel id that overlap [from, to), in time order, one list a
    // channel in the order asked (an unknown id gives an empty list). Titles only.
    QList<QList<GuideProgram>> programs(const QStringList &channels, qint64 from, qint64 to);
    // One programme with its description.
    std::optional<GuideProgram> program(const QString &channel, qint64 start);

private:
    QString m_path;
    QString m_connection;
    bool m_open = false;
    std::optional<Summary> m_summary;
    QHash<QString, int> m_keys;
};

} // namespace GuideDatabase
