// Waiting for a signal that may be emitted again, or never waited for to the end: the wait
// resumes once, and never a coroutine that has moved on or is gone.
#include "store/emission.h"

#include <QtTest>

#include <coroutine>
#include <exception>

class Emitter : public QObject
{
    Q_OBJECT

Q_SIGNALS:
    void fired();
};

namespace {

// Runs at once to its first wait; its frame stays until destroy(), so "done" can be read after
// it ends and a test can end it while it waits.
struct Waiting
{
    struct promise_type
    {
        Waiting get_return_object() { return Waiting{std::coroutine_handle<promise_type>::from_promise(*this)}; }
        std::suspend_never initial_suspend() noexcept { return {}; }
        std::suspend_always final_suspend() noexcept { return {}; }
        void return_void() {}
        void unhandled_exception() { std::terminate(); }
    };
    std::coroutine_handle<promise_type> handle;
};

Waiting waitFor(Emitter *emitter, int waits, int *resumed)
{
    for (int i = 0; i < waits; ++i) {
        co_await nextEmission(emitter, &Emitter::fired);
        ++*resumed;
    }
}

void emitTimes(Emitter &emitter, int times)
{
    for (int i = 0; i < times; ++i)
        Q_EMIT emitter.fired();
}

} // namespace

class TestEmission : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void resumesOnce_data()
    {
        QTest::addColumn<int>("waits");
        QTest::addColumn<int>("emitted");        // at once, before the event loop runs
        QTest::addColumn<bool>("endedWhileQueued"); // the coroutine is destroyed before its call runs
        QTest::addColumn<int>("resumed");
        QTest::addColumn<bool>("done");

        QTest::newRow("one wait, one emission") << 1 << 1 << false << 1 << true;
        QTest::newRow("one wait, three emissions") << 1 << 3 << false << 1 << true;
        QTest::newRow("two waits, two emissions at once") << 2 << 2 << false << 1 << false;
        QTest::newRow("not emitted") << 1 << 0 << false << 0 << false;
        QTest::newRow("ended while its call is queued") << 1 << 2 << true << 0 << false;
    }

    void resumesOnce()
    {
        QFETCH(int, waits);
        QFETCH(int, emitted);
        QFETCH(bool, endedWhileQueued);
        QFETCH(int, resumed);
        QFETCH(bool, done);

        Emitter emitter;
        int count = 0;
        Waiting waiting = waitFor(&emitter, waits, &count);
        emitTimes(emitter, emitted);
        QCOMPARE(count, 0); // never from inside the emission
        if (endedWhileQueued) {
            waiting.handle.destroy();
            QCoreApplication::processEvents();
            QCOMPARE(count, 0);
            return;
        }
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(count, resumed);
        QCOMPARE(waiting.handle.done(), done);
        // Later emissions reach only a wait that stands.
        emitTimes(emitter, 1);
        QCoreApplication::processEvents();
        QCOMPARE(count, std::min(resumed + (done ? 0 : 1), waits));
        waiting.handle.destroy();
    }

    void goneObjectIsNotWaitedFor()
    {
        int count = 0;
        Waiting waiting = waitFor(nullptr, 1, &count);
        QCOMPARE(count, 1);
        QVERIFY(waiting.handle.done());
        waiting.handle.destroy();
    }
};

QTEST_GUILESS_MAIN(TestEmission)
#include "tst_emission.moc"
