#pragma once

#include "media.h"
#include "tsclip.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <memory>

namespace Lab {

// Streams with their own channel name or title on the picture, so that a viewer sees which
// stream plays. ffmpeg renders each one the first time it is asked for, one at a time (the
// machine is shared), and the file is kept for the run in a temporary folder.
class TitledMedia : public QObject
{
    Q_OBJECT

public:
    struct Item
    {
        int pattern = 0;
        QString title;
        QString name;      // the file's name without extension; one per stream
        QString extension; // "ts" for a live clip, "mp4" or "mkv" for a movie
    };
    // Called with the rendered file, or an empty text when it cannot be made.
    using Done = std::function<void(const QString &path)>;

    TitledMedia();
    ~TitledMedia() override;

    // `done` runs once the file is there (at once when it already is), unless `context` (the
    // waiting connection) is gone by then. Requests whose every context is gone are dropped
    // before rendering.
    void request(const Item &item, QObject *context, Done done);

    // The clip rendered at `path`, loaded once; shared with the streams that send it.
    std::shared_ptr<const TsClip> clip(const QString &path);

private:
    struct Waiter
    {
        QPointer<QObject> context;
        Done done;
    };
    struct Pending
    {
        Item item;
        QList<Waiter> waiters;
    };

    static QString key(const Item &item) { return item.name + u'.' + item.extension; }
    void startNext();
    void finished(bool ok);
    void keepAtMost(int movies);

    QTemporaryDir m_dir;
    QHash<QString, QString> m_ready; // key → path; empty when rendering failed
    QStringList m_movies;            // rendered movies, least recently asked for first
    QList<Pending> m_queue;          // taken newest first: the latest request is the one watched
    std::unique_ptr<QProcess> m_process;
    Pending m_current;
    std::map<QString, std::shared_ptr<const TsClip>> m_clips;
};

} // namespace Lab
