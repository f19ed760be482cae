#pragma once

#include <QMetaObject>
#include <QObject>

#include <utility>

// The one way playback code hands work to the GUI thread. libVLC calls us on its own threads;
// those callbacks only copy what they need and queue the rest here, so every published value
// is written on the GUI thread.
//
// `work` runs later on the thread of `receiver`, after everything queued there before it, and
// never synchronously, not even when the caller is already on that thread (so values written
// this way change in call order). When `receiver` is destroyed first, the work is dropped.
// `receiver` must be alive during the call; any thread may call.
template<typename Work>
void postToGui(QObject *receiver, Work &&work)
{
    QMetaObject::invokeMethod(receiver, std::forward<Work>(work), Qt::QueuedConnection);
}
