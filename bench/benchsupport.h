#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include "model/records.h"

#include <algorithm>
#include <cstdio>
#include <functional>

namespace Bench {

// A "get_vod_streams" answer shaped as real panels send it: numbers sometimes as JSON
// numbers, sometimes as texts; about 330 bytes a row.
QByteArray vodStreamsAnswer(int rows);

// Bytes a list of records keeps on the heap: the list's own storage plus every text block
// it references (blocks shared between records are counted once), with malloc's overhead.
qint64 bytesHeld(const QList<MediaItem> &items);

// Best wall time in milliseconds of `repeat` runs (the machine is shared; the best is the least noisy).
template<typename F>
double bestMs(int repeat, F &&run)
{
    double best = 1e300;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer clock;
        clock.start();
        run();
        best = std::min(best, clock.nsecsElapsed() / 1e6);
    }
    return best;
}

void row(const char *label, const QString &value);

} // namespace Bench
