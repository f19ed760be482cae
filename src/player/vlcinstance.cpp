#include "vlcinstance.h"

#include "api/useragent.h"

#include <QList>

#include <vlc/vlc.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace {

// One thread, so that a player's commands keep their order and a stream closes before the
// next one opens.
class Worker
{
public:
    ~Worker()
    {
        {
            std::lock_guard lock(m_mutex);
            m_quitting = true;
        }
        m_wake.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }

    void post(std::function<void()> work)
    {
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back(std::move(work));
            ++m_posted;
            if (!m_thread.joinable())
                m_thread = std::thread([this] { run(); });
        }
        m_wake.notify_all();
    }

    void waitForWork()
    {
        std::unique_lock lock(m_mutex);
        const quint64 target = m_posted;
        m_done.wait(lock, [&] { return m_finished >= target; });
    }

private:
    void run()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_quitting || !m_queue.empty(); });
            if (m_queue.empty())
                return; // quitting with nothing left
            std::function<void()> work = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            work();
            work = nullptr; // what it held goes before it counts as done
            lock.lock();
            ++m_finished;
            m_done.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    std::deque<std::function<void()>> m_queue;
    quint64 m_posted = 0;
    quint64 m_finished = 0;
    bool m_quitting = false;
    std::thread m_thread;
};

struct Instance
{
    std::mutex mutex;
    QList<QByteArray> extraArguments;
    libvlc_instance_t *handle = nullptr;
    Worker worker;

    ~Instance()
    {
        worker.waitForWork(); // players released late still need the instance
        if (handle)
            libvlc_release(handle);
    }
};

Instance &instance()
{
    static Instance shared;
    return shared;
}

} // namespace

namespace VlcInstance {

libvlc_instance_t *get()
{
    Instance &shared = instance();
    std::lock_guard lock(shared.mutex);
    if (!shared.handle) {
        // Quiet: the program writes no log. No title over the picture when a stream starts.
        // No Xlib: pictures come to us through callbacks, and Xlib used from libVLC's threads
        // is unsafe in a process that never called XInitThreads. The fastest scaler: libVLC
        // scales only to stretch a picture by a few lines into a decoder's padded size, where
        // the others cost a third more time per frame and look no different.
        QList<QByteArray> arguments{"--quiet", "--no-video-title-show", "--no-xlib", "--swscale-mode=0"};
        arguments += shared.extraArguments;
        QList<const char *> argv;
        argv.reserve(arguments.size());
        for (const QByteArray &argument : std::as_const(arguments))
            argv.append(argument.constData());
        shared.handle = libvlc_new(int(argv.size()), argv.constData());
        if (!shared.handle)
            qFatal("libVLC could not be initialised (are the vlc-plugin-base plugins installed?)");
        // Every HTTP request libVLC makes, segments of a list included, names the program.
        libvlc_set_user_agent(shared.handle, "MAVU", UserAgent::text().constData());
    }
    return shared.handle;
}

void runLater(std::function<void()> work)
{
    instance().worker.post(std::move(work));
}

void waitForWork()
{
    instance().worker.waitForWork();
}

namespace testing {

void addArgument(const QByteArray &argument)
{
    Instance &shared = instance();
    std::lock_guard lock(shared.mutex);
    Q_ASSERT_X(!shared.handle, "VlcInstance::testing::addArgument", "the instance exists already");
    shared.extraArguments.append(argument);
}

} // namespace testing
} // namespace VlcInstance
