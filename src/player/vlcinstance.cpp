#include "vlcinstance.h"

#include <QList>

#include <vlc/vlc.h>

#include <mutex>

namespace {

struct Instance
{
    std::mutex mutex;
    QList<QByteArray> extraArguments;
    libvlc_instance_t *handle = nullptr;

    ~Instance()
    {
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
    }
    return shared.handle;
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
