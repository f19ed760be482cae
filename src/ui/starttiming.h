#pragma once

class AppStore;
class QQuickWindow;

namespace StartTiming {

// Marks "rows drawn" in the timing log once a frame that holds the home rows has gone to the
// screen: the frame begun after the rows arrived, then swapped. Nothing is watched unless the
// timing category is on.
void watchHomeRows(QQuickWindow *window, AppStore *store);

} // namespace StartTiming
