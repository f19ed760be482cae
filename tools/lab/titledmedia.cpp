#include "titledmedia.h"

#include <QFileInfo>

namespace Lab {

using namespace Qt::StringLiterals;

TitledMedia::TitledMedia()
    : m_dir(QDir::tempPath() + u"/mavu-lab-XXXXXX"_s)
{
}

TitledMedia::~TitledMedia()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(2000);
    }
}

QString TitledMedia::withExtension(const QString &path, const QString &extension)
{
    const QFileInfo info(path);
    return info.dir().filePath(info.completeBaseName() + u'.' + extension);
}

void TitledMedia::request(const Item &item, QObject *context, Done done)
{
    if (const auto it = m_ready.constFind(item.key); it != m_ready.cend()) {
        done(*it);
        return;
    }
    const Waiter waiter{context, std::move(done)};
    if (m_process && m_current.item.key == item.key) {
        m_current.waiters.append(waiter);
        return;
    }
    for (qsizetype i = 0; i < m_queue.size(); ++i) {
        if (m_queue[i].item.key == item.key) {
            Pending pending = m_queue.takeAt(i);
            pending.waiters.append(waiter);
            m_queue.append(std::move(pending)); // asked again: now the newest
            return;
        }
    }
    m_queue.append(Pending{item, {waiter}});
    if (!m_process)
        startNext();
}

void TitledMedia::startNext()
{
    while (!m_queue.isEmpty()) {
        Pending pending = m_queue.takeLast();
        const bool wanted = std::any_of(pending.waiters.cbegin(), pending.waiters.cend(),
                                        [](const Waiter &waiter) { return !waiter.context.isNull(); });
        if (!wanted || !m_dir.isValid())
            continue; // nobody waits any more, or nowhere to write: the next request tries again
        m_current = std::move(pending);
        const Item &item = m_current.item;
        m_steps.clear();
        if (item.form == Form::clip) {
            m_steps.append(MediaLibrary::liveClipJob(item.pattern, item.title, m_dir.filePath(item.key + u".ts"_s)));
        } else {
            const QString mp4 = m_dir.filePath(item.key + u".mp4"_s);
            m_steps.append(MediaLibrary::movieJob(item.pattern, item.title, mp4, true));
            m_steps.append(MediaLibrary::remuxJob(mp4, withExtension(mp4, u"mkv"_s)));
        }
        finished(true); // runs the first step
        return;
    }
}

void TitledMedia::finished(bool ok)
{
    if (m_process) {
        m_process.release()->deleteLater();
    }
    const QString key = m_current.item.key;
    const QString result = m_dir.filePath(key + (m_current.item.form == Form::clip ? u".ts"_s : u".mp4"_s));
    if (!ok || m_steps.isEmpty()) {
        deliver(key, ok ? result : QString());
        startNext();
        return;
    }
    const MediaLibrary::Job job = m_steps.takeFirst();
    const auto arguments = MediaLibrary::arguments(job, m_dir.path(), job.output);
    if (!arguments) {
        finished(false);
        return;
    }
    m_process = std::make_unique<QProcess>();
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->setStandardOutputFile(QProcess::nullDevice());
    m_process->setWorkingDirectory(m_dir.path());
    connect(m_process.get(), &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        finished(status == QProcess::NormalExit && code == 0);
    });
    connect(m_process.get(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finished(false);
    });
    m_process->start(u"ffmpeg"_s, *arguments);
}

void TitledMedia::deliver(const QString &key, const QString &path)
{
    m_ready.insert(key, path);
    const QList<Waiter> waiters = std::exchange(m_current.waiters, {});
    m_current = Pending{};
    for (const Waiter &waiter : waiters) {
        if (waiter.context)
            waiter.done(path);
    }
}

std::shared_ptr<const TsClip> TitledMedia::clip(const QString &path)
{
    auto it = m_clips.find(path);
    if (it == m_clips.end()) {
        auto loaded = TsClip::load(path);
        if (!loaded)
            return nullptr;
        // A few hundred kilobytes each; a long zapping session keeps at most this many.
        if (m_clips.size() >= 48)
            m_clips.clear();
        it = m_clips.emplace(path, std::make_shared<const TsClip>(std::move(*loaded))).first;
    }
    return it->second;
}

} // namespace Lab
