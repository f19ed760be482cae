#pragma once

#include "media.h"
#include "tsclip.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <map>
#include <memory>

namespace Lab {

// Streams with their own channel name or title on the picture, so that a viewer sees which
// stream plays. ffmpeg renders each one the first time it is asked for, one at a time (the
// machine is shared); the files are kept for the run in a temporary folder.
class TitledMedia : public QObject
{
    Q_OBJECT

public:
    enum class Form { clip, movie };
    struct Item
    {
        Form form = Form::clip;
        int pattern = 0;
        QString title;
        QString key; // names the file; one per stream
    };
    // Called with the rendered file (a ".ts" clip, or a ".mp4" movie with its ".mkv" beside it),
    // or an empty text when it cannot be made.
    using Done = std::function<void(const QString &path)>;

    TitledMedia();
    ~TitledMedia() override;

    // `done` runs once the file is there, at once when it already is, unless `context` (the
    // waiting connection) is gone by then. Requests whose every context is gone are dropped
    // before rendering.
    void request(const Item &item, QObject *context, Done done);

    // The clip rendered at `path`, loaded once; shared with the streams that send it.
    std::shared_ptr<const TsClip> clip(const QString &path);
    static QString withExtension(const QString &path, const QString &extension);

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

    void startNext();
    void finished(bool ok);
    void deliver(const QString &key, const QString &path);

    QTemporaryDir m_dir;
    QHash<QString, QString> m_ready; // key → path; empty when rendering failed
    QList<Pending> m_queue;          // newest last, taken newest first: the latest request is the one watched
    std::unique_ptr<QProcess> m_process;
    Pending m_current;
    QList<MediaLibrary::Job> m_steps; // what is left to run for the current item
    std::map<QString, std::shared_ptr<const TsClip>> m_clips;
};

} // namespace Lab
