#pragma once

#include <QCoroTask>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <chrono>

namespace TestSupport {

// Runs a coroutine to completion in a nested event loop; a test that hangs fails loudly
// instead of stalling the suite.
template<typename T>
T await(QCoro::Task<T> &&task, std::chrono::milliseconds watchdog = std::chrono::seconds(30))
{
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [] { qFatal("watchdog: a coroutine did not finish in time"); });
    timer.start(watchdog);
    if constexpr (std::is_void_v<T>) {
        QCoro::waitFor(std::move(task));
    } else {
        return QCoro::waitFor(std::move(task));
    }
}

// A private folder for one test's preference files.
class TempFolder
{
public:
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

} // namespace TestSupport
