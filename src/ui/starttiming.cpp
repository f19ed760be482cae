#include "starttiming.h"

#include "api/diagnostics.h"
#include "store/appstore.h"

#include <QQuickWindow>

#include <atomic>
#include <memory>

namespace StartTiming {

void watchHomeRows(QQuickWindow *window, AppStore *store)
{
    if (!window || !store || !lcTiming().isDebugEnabled())
        return;
    // 0: nothing to draw, 1: rows arrived, 2: a frame with them is being made. The swap comes
    // from the render thread.
    auto state = std::make_shared<std::atomic<int>>(0);
    QObject::connect(store, &AppStore::latestMoviesChanged, window, [state, store] {
        if (!store->latestMovies().isEmpty() || !store->latestSeries().isEmpty())
            state->store(1);
    });
    QObject::connect(window, &QQuickWindow::afterAnimating, window, [state] {
        int arrived = 1;
        state->compare_exchange_strong(arrived, 2);
    }, Qt::DirectConnection);
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [state] {
        int drawing = 2;
        if (state->compare_exchange_strong(drawing, 0))
            Timing::mark("rows drawn", QStringLiteral("home"));
    }, Qt::DirectConnection);
}

} // namespace StartTiming
