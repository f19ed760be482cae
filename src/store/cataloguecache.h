#pragma once

#include "model/enums.h"
#include "model/playlist.h"
#include "model/records.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFuture>
#include <QList>
#include <QString>
#include <QThreadPool>

#include <array>
#include <atomic>
#include <memory>
#include <optional>

// The connected playlist's catalogues and categories kept on disk between runs, so that the
// next start shows the library before the provider has answered.
//
// One file per account (named from the address and the user name, never the password), in a
// compact binary form: a header with the format version, the account's key (which does take
// the password, so that another account's file at the same name is refused) and a CRC-32 of
// the rest; then a small block with the home rows and a CRC-32 of its own, so that they show
// before the rest is read; then a table of the texts that repeat (category ids, extensions,
// dates) and the records. The file is written beside itself and renamed over the old one, owner-only: a
// crash mid-write leaves the previous file whole. A file that fails any check is removed and
// counts as absent.
//
// Reading and writing run on a thread of their own, one job at a time in the order asked.
class CatalogueCache
{
public:
    static constexpr quint32 formatVersion = 3;

    // By Section: the newest records of the movies and the shows, each absent when its
    // catalogue is.
    using HomeRows = std::array<std::optional<QList<MediaItem>>, 3>;

    // What is kept: per section, the provider's categories and the whole catalogue, each
    // absent when it was never loaded.
    struct Snapshot
    {
        std::array<std::optional<QList<Category>>, 3> categories; // by Section
        std::array<std::optional<QList<MediaItem>>, 3> catalogues; // by Section
        // How many of the newest movies and shows go into the file's front block. Read from a
        // file: its rows, and the length of the longer one.
        qsizetype homeRowLength = 0;
        HomeRows homeRows;

        bool isEmpty() const;
    };

    // A file being read: its home rows come first, the whole snapshot after them.
    struct Loading
    {
        QFuture<std::optional<HomeRows>> homeRows;
        QFuture<std::optional<Snapshot>> whole;
    };

    // The user's cache folder for catalogues.
    static QString defaultFolder();

    // An empty folder keeps nothing: load answers nothing, save and drop do nothing.
    explicit CatalogueCache(QString folder = QString());
    // Waits for every job asked for.
    ~CatalogueCache();
    CatalogueCache(const CatalogueCache &) = delete;
    CatalogueCache &operator=(const CatalogueCache &) = delete;

    bool isEnabled() const { return !m_folder.isEmpty(); }
    QString folder() const { return m_folder; }
    QString filePath(const Playlist &playlist) const;

    // The playlist's kept snapshot, read off the calling thread; nothing when there is no
    // file or it does not pass. The futures may be awaited by several, and dropped unread.
    Loading load(Playlist playlist);
    // Writes the snapshot in the background (the lists are shared, not copied); files of other
    // accounts go. A later save or drop overtakes one that has not started.
    void save(Playlist playlist, Snapshot snapshot);
    // Removes the playlist's file; saves asked for before are dropped.
    void drop(const Playlist &playlist);
    // Blocks until every job asked for so far has run.
    void waitForDone();

    // The format on its own.
    static QString fileName(const Playlist &playlist);
    static QByteArray encode(const Playlist &playlist, const Snapshot &snapshot);
    static std::optional<Snapshot> decode(const Playlist &playlist, QByteArrayView bytes);
    // The front block alone: checks the header and the block, not the rest of the file.
    static std::optional<HomeRows> decodeHomeRows(const Playlist &playlist, QByteArrayView bytes);
    // Atomic, owner-only; false when the file could not be written (the old one then stays).
    static bool write(const QString &path, const QByteArray &bytes);
    // Removes a file that is there but does not pass.
    static std::optional<Snapshot> read(const QString &path, const Playlist &playlist);
    // Leaves a file that does not pass to the whole read, which removes it.
    static std::optional<HomeRows> readHomeRows(const QString &path, const Playlist &playlist);

private:
    QString m_folder;
    QThreadPool m_pool;
    // Bumped by each save and drop: a save whose number is no longer the latest skips its write.
    std::shared_ptr<std::atomic<quint64>> m_latest = std::make_shared<std::atomic<quint64>>(0);
};
