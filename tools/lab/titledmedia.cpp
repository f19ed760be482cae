#include "titledmedia.h"

#include <QFile>
#include <QFileInfo>

namespace Lab {

using namespace Qt::StringLiterals;

namespace {

// Rendered movies take some ten megabytes each; older ones go beyond this many.
constexpr int keptMovies = 24;
// Live clips take a few hundred kilobytes in memory each.
constexpr size_t keptClips = 48;

} // namespace

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

void TitledMedia::request(const Item &item, QObject *context, Done done)
{
    const QString wanted = key(item);
    if (const auto it = m_ready.constFind(wanted); it != m_ready.cend()) {
        if (m_movies.removeOne(wanted))
            m_movies.append(wanted);
        done(*it);
        return;
    }
    const Waiter waiter{context, std::move(done)};
    if (m_process && key(m_current.item) == wanted) {
        m_current.waiters.append(waiter);
        return;
    }
    for (qsizetype i = 0; i < m_queue.size(); ++i) {
        if (key(m_queue[i].item) == wanted) {
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
        if (!wanted)
            continue; // nobody waits any more: a later request renders it
        m_current = std::move(pending);
        const Item &item = m_current.item;
        const QString output = m_dir.filePath(key(item));
        const MediaLibrary::Job job = item.extension == "ts"_L1 ? MediaLibrary::liveClipJob(item.pattern, item.title, output)
                                                                : MediaLibrary::movieJob(item.pattern, item.title, output, true);
        const auto arguments = m_dir.isValid() ? MediaLibrary::arguments(job, m_dir.path(), output) : std::nullopt;
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
        return;
    }
}

void TitledMedia::finished(bool ok)
{
    if (m_process)
        m_process.release()->deleteLater();
    const QString done = key(m_current.item);
    const QString path = ok ? m_dir.filePath(done) : QString();
    m_ready.insert(done, path);
    if (ok && m_current.item.extension != "ts"_L1) {
        m_movies.append(done);
        keepAtMost(keptMovies);
    }
    const QList<Waiter> waiters = std::exchange(m_current.waiters, {});
    m_current = Pending{};
    for (const Waiter &waiter : waiters) {
        if (waiter.context)
            waiter.done(path);
    }
    startNext();
}

void TitledMedia::keepAtMost(int movies)
{
    // A stream still sending an old file keeps reading it: the file is only unlinked.
    while (m_movies.size() > movies) {
        const QString old = m_movies.takeFirst();
        QFile::remove(m_ready.take(old));
    }
}

std::shared_ptr<const TsClip> TitledMedia::clip(const QString &path)
{
    auto it = m_clips.find(path);
    if (it == m_clips.end()) {
        auto loaded = TsClip::load(path);
        if (!loaded)
            return nullptr;
        if (m_clips.size() >= keptClips)
            m_clips.clear(); // streams that send them keep their own share
        it = m_clips.emplace(path, std::make_shared<const TsClip>(std::move(*loaded))).first;
    }
    return it->second;
}

} // namespace Lab
