#pragma once

#include <QByteArray>
#include <QFuture>
#include <QString>
#include <QStringList>

#include <memory>

// The work of one guide import, off the GUI thread: the bytes of an XMLTV answer go in as they
// arrive; a committed guide database comes out. Two threads of its own share the work: one
// reads the document (inflating a gzip payload on the way), one writes the database in one
// large transaction, and a bounded buffer between every two stages keeps memory flat whatever
// the guide's size. The threads are its own, not the shared pool's: they wait for the network
// and must never hold back the decoding of other answers.
class GuideImportJob
{
public:
    struct Settings
    {
        QString targetPath;  // the playlist's guide database
        QStringList channels; // guide channel ids to keep; others are skipped
        QString language;     // whose titles win
        qint64 importedAt = 0;
        qint64 keptFrom = 0;             // programmes ended before this are dropped
        qint64 maxBytes = qint64(4) << 30; // of XML, after inflating
    };

    enum class Failure {
        none,
        notUnderstood, // not an XMLTV document, or one cut short
        tooLarge,
        notStored,
        cancelled,
    };

    struct Result
    {
        Failure failure = Failure::none;
        qint64 programmes = 0; // stored
        qint64 bytes = 0;      // of XML read
    };

    explicit GuideImportJob(Settings settings);
    ~GuideImportJob(); // cancels what still runs and waits for it
    GuideImportJob(const GuideImportJob &) = delete;
    GuideImportJob &operator=(const GuideImportJob &) = delete;

    // --- the producer's side: one thread, in order ---
    // Another piece of the answer; always taken (the buffer may run a piece over its size).
    void offer(QByteArray bytes);
    // False while the buffer is full: read no more for a moment.
    bool wantsMore() const;
    void endOfInput();
    // Stops at the next piece; the result says `cancelled` and nothing is stored.
    void cancel();

    // Finishes when the guide is in place or the import failed.
    QFuture<Result> result() const;

    // While it runs: pieces taken so far (bytes as offered), and whether the document has
    // been read and the database is being finished.
    qint64 bytesTaken() const;
    bool finishing() const;

    // Jobs not yet ended, their threads included: a failed import lets its job go in the
    // background, and a test waits for that before it looks at the folder.
    static int alive();

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
};
