#include "player/playbackrecovery.h"

#include <QtTest>

using Action = PlaybackRecovery::Action;
using Phase = PlaybackRecovery::Phase;
using Failure = PlaybackRecovery::Failure;
using Ms = PlaybackRecovery::Ms;

namespace {

// One report to the rule at a time: "live" and "movie" start, "frames", "progress", "break",
// "refused", "due", "retry", "pause", "resume", "ended", "stop".
struct Step
{
    Ms at;
    QString what;
};
using Steps = QList<Step>;

QString actionName(Action action)
{
    switch (action) {
    case Action::none: return QStringLiteral("none");
    case Action::open: return QStringLiteral("open");
    case Action::close: return QStringLiteral("close");
    case Action::fail: return QStringLiteral("fail");
    }
    return {};
}

// Runs the steps; the actions of those that answer one, in order.
QStringList run(PlaybackRecovery &rule, const Steps &steps)
{
    QStringList actions;
    for (const auto &[at, what] : steps) {
        if (what == QLatin1String("live") || what == QLatin1String("movie"))
            rule.start(at, what == QLatin1String("live"));
        else if (what == QLatin1String("frames"))
            rule.framesPlaying(at);
        else if (what == QLatin1String("progress"))
            rule.progress(at);
        else if (what == QLatin1String("break"))
            actions.append(actionName(rule.broke(at, PlaybackRecovery::Break::failed)));
        else if (what == QLatin1String("refused"))
            actions.append(actionName(rule.broke(at, PlaybackRecovery::Break::refused)));
        else if (what == QLatin1String("due"))
            actions.append(actionName(rule.due(at)));
        else if (what == QLatin1String("retry"))
            actions.append(actionName(rule.retry(at)));
        else if (what == QLatin1String("pause") || what == QLatin1String("resume"))
            rule.paused(at, what == QLatin1String("pause"));
        else if (what == QLatin1String("ended"))
            rule.ended();
        else if (what == QLatin1String("stop"))
            rule.stop();
        else
            qFatal("unknown step");
    }
    return actions;
}

} // namespace

Q_DECLARE_METATYPE(Steps)
Q_DECLARE_METATYPE(PlaybackRecovery::Phase)
Q_DECLARE_METATYPE(PlaybackRecovery::Failure)

class TestPlaybackRecovery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void backoff_data()
    {
        QTest::addColumn<int>("attempt");
        QTest::addColumn<Ms>("delay");
        const QList<std::pair<int, Ms>> rows{{1, 1000}, {2, 2000}, {3, 4000}, {4, 8000}, {5, 15000}, {6, 15000}, {500, 15000}};
        for (const auto &[attempt, delay] : rows)
            QTest::addRow("attempt %d", attempt) << attempt << delay;
        QTest::newRow("attempt 0 waits as the first") << 0 << Ms(1000);
    }

    void backoff()
    {
        QFETCH(int, attempt);
        QTEST(PlaybackRecovery::backoffDelay(PlaybackRecovery::Timing{}, attempt), "delay");
    }

    void reachedEnd_data()
    {
        QTest::addColumn<Ms>("time");
        QTest::addColumn<Ms>("length");
        QTest::addColumn<bool>("reached");
        QTest::newRow("no length: live") << Ms(5000) << Ms(0) << false;
        QTest::newRow("the very end") << Ms(100000) << Ms(100000) << true;
        QTest::newRow("a second short, as libVLC stops") << Ms(99000) << Ms(100000) << true;
        QTest::newRow("broke off ten seconds before") << Ms(90000) << Ms(100000) << false;
        QTest::newRow("broke off at the start") << Ms(0) << Ms(100000) << false;
    }

    void reachedEnd()
    {
        QFETCH(Ms, time);
        QFETCH(Ms, length);
        QTEST(PlaybackRecovery::reachedEnd(time, length), "reached");
    }

    void scenarios_data()
    {
        QTest::addColumn<Steps>("steps");
        QTest::addColumn<QStringList>("actions");
        QTest::addColumn<Phase>("phase");
        QTest::addColumn<Failure>("failure");
        QTest::addColumn<Ms>("deadline"); // -1: none
        const QStringList none;

        QTest::newRow("loading that never moves fails at the watchdog")
            << Steps{{0, "movie"}, {19999, "due"}, {20000, "due"}} << QStringList{"none", "fail"} << Phase::failed
            << Failure::stream << Ms(-1);
        QTest::newRow("progress while loading pushes the watchdog")
            << Steps{{0, "movie"}, {15000, "progress"}, {20000, "due"}, {35000, "due"}}
            << QStringList{"none", "fail"} << Phase::failed << Failure::stream << Ms(-1);
        QTest::newRow("a playing stream is watched too")
            << Steps{{0, "movie"}, {1000, "frames"}} << none << Phase::playing << Failure::none << Ms(21000);
        QTest::newRow("a live stream that never played fails")
            << Steps{{0, "live"}, {500, "break"}} << QStringList{"fail"} << Phase::failed << Failure::stream << Ms(-1);
        QTest::newRow("a live stream that played reconnects after a second")
            << Steps{{0, "live"}, {1000, "frames"}, {5000, "break"}, {5999, "due"}, {6000, "due"}}
            << QStringList{"close", "none", "open"} << Phase::reconnecting << Failure::none << Ms(26000);
        QTest::newRow("failed attempts wait 1, 2, 4, 8, 15, 15 s")
            << Steps{{0, "live"},     {0, "frames"},    {0, "break"},     {1000, "due"},    {1000, "break"},
                     {3000, "due"},   {3000, "break"},  {7000, "due"},    {7000, "break"},  {15000, "due"},
                     {15000, "break"}, {30000, "due"},  {30000, "break"}}
            << QStringList{"close", "open", "close", "open", "close", "open", "close", "open", "close", "open", "close"}
            << Phase::reconnecting << Failure::none << Ms(45000);
        QTest::newRow("an attempt that stalls counts as failed")
            << Steps{{0, "live"}, {0, "frames"}, {0, "break"}, {1000, "due"}, {21000, "due"}}
            << QStringList{"close", "open", "close"} << Phase::reconnecting << Failure::none << Ms(23000);
        QTest::newRow("a live stream that stops moving reconnects")
            << Steps{{0, "live"}, {0, "frames"}, {10000, "progress"}, {30000, "due"}}
            << QStringList{"close"} << Phase::reconnecting << Failure::none << Ms(31000);
        QTest::newRow("pictures again start the backoff afresh")
            << Steps{{0, "live"}, {0, "frames"}, {0, "break"}, {1000, "due"}, {1000, "break"}, {3000, "due"},
                     {3500, "frames"}, {9000, "break"}}
            << QStringList{"close", "open", "close", "open", "close"} << Phase::reconnecting << Failure::none
            << Ms(10000);
        QTest::newRow("reports of the closed stream change nothing")
            << Steps{{0, "live"}, {0, "frames"}, {0, "break"}, {200, "break"}, {300, "frames"}, {400, "progress"}}
            << QStringList{"close", "none"} << Phase::reconnecting << Failure::none << Ms(1000);
        QTest::newRow("a movie that breaks fails")
            << Steps{{0, "movie"}, {1000, "frames"}, {60000, "break"}} << QStringList{"fail"} << Phase::failed
            << Failure::stream << Ms(-1);
        QTest::newRow("a movie that reaches its end is no failure")
            << Steps{{0, "movie"}, {1000, "frames"}, {60000, "ended"}, {99000, "due"}} << QStringList{"none"}
            << Phase::ended << Failure::none << Ms(-1);
        QTest::newRow("a paused stream is not watched")
            << Steps{{0, "movie"}, {0, "frames"}, {1000, "pause"}, {50000, "due"}} << QStringList{"none"}
            << Phase::playing << Failure::none << Ms(-1);
        QTest::newRow("playing on after a pause is watched again")
            << Steps{{0, "movie"}, {0, "frames"}, {1000, "pause"}, {60000, "resume"}} << none << Phase::playing
            << Failure::none << Ms(80000);
        QTest::newRow("Retry starts afresh")
            << Steps{{0, "movie"}, {20000, "due"}, {30000, "retry"}} << QStringList{"fail", "open"} << Phase::loading
            << Failure::none << Ms(50000);
        QTest::newRow("a refused stream is tried three more times, then fails as refused")
            << Steps{{0, "movie"},    {0, "refused"},    {1000, "due"}, {1000, "refused"}, {2000, "due"},
                     {2000, "refused"}, {3000, "due"}, {3000, "refused"}}
            << QStringList{"close", "open", "close", "open", "close", "open", "fail"} << Phase::failed
            << Failure::refused << Ms(-1);
        QTest::newRow("a refusal while reconnecting waits briefly")
            << Steps{{0, "live"}, {0, "frames"}, {0, "break"}, {1000, "due"}, {1100, "refused"}}
            << QStringList{"close", "open", "close"} << Phase::reconnecting << Failure::none << Ms(2100);
        QTest::newRow("a refusal after playing is a break")
            << Steps{{0, "movie"}, {0, "frames"}, {5000, "refused"}} << QStringList{"fail"} << Phase::failed
            << Failure::refused << Ms(-1);
        QTest::newRow("stopped: nothing is watched")
            << Steps{{0, "live"}, {0, "frames"}, {10, "stop"}, {30000, "due"}, {30000, "break"}}
            << QStringList{"none", "none"} << Phase::idle << Failure::none << Ms(-1);
    }

    void scenarios()
    {
        QFETCH(Steps, steps);
        PlaybackRecovery rule;
        QTEST(run(rule, steps), "actions");
        QTEST(rule.phase(), "phase");
        QTEST(rule.failure(), "failure");
        QTEST(rule.deadline().value_or(-1), "deadline");
    }
};

QTEST_GUILESS_MAIN(TestPlaybackRecovery)
#include "tst_playbackrecovery.moc"
