// Catch-up start texts moved on inside a programme, checked against whole-minute arithmetic
// on a UTC clock, which has no clock changes to get in the way.
#include "store/catchuptext.h"

#include <QDateTime>
#include <QtTest>

class TestCatchupText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shifted_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<QString>("expected"); // empty: nothing
        QTest::newRow("inside the hour") << "2024-05-01:20-15" << qint64(10) << "2024-05-01:20-25";
        QTest::newRow("to midnight") << "2024-05-01:23-50" << qint64(10) << "2024-05-02:00-00";
        QTest::newRow("two days on") << "2024-05-01:23-50" << qint64(10 + 2 * 1440) << "2024-05-04:00-00";
        QTest::newRow("a week on") << "2024-05-01:20-00" << qint64(7 * 1440) << "2024-05-08:20-00";
        QTest::newRow("leap day") << "2024-02-28:23-59" << qint64(1) << "2024-02-29:00-00";
        QTest::newRow("back inside the day") << "2024-05-01:20-15" << qint64(-15) << "2024-05-01:20-00";
        QTest::newRow("back across midnight") << "2024-05-01:00-05" << qint64(-10) << "2024-04-30:23-55";
        QTest::newRow("back across the year") << "2025-01-01:00-00" << qint64(-1) << "2024-12-31:23-59";
        QTest::newRow("back exactly a day") << "2024-05-01:00-00" << qint64(-1440) << "2024-04-30:00-00";
        QTest::newRow("one digit clock") << "2024-05-01:7-5" << qint64(1) << "2024-05-01:07-06";
        QTest::newRow("unreadable date wraps the time") << "2024-13-45:23-50" << qint64(20) << "2024-13-45:00-10";
        QTest::newRow("unreadable date, days on") << "someday:23-50" << qint64(3000) << "someday:01-50";
        QTest::newRow("hour 24") << "2024-05-01:24-00" << qint64(1) << "";
        QTest::newRow("minute 60") << "2024-05-01:20-60" << qint64(1) << "";
        QTest::newRow("three-digit hour") << "2024-05-01:020-15" << qint64(1) << "";
        QTest::newRow("signed minute") << "2024-05-01:20-+5" << qint64(1) << "";
        QTest::newRow("other script's digits") << QString::fromUtf8("2024-05-01:٢٠-15") << qint64(1) << "";
        QTest::newRow("no time") << "2024-05-01" << qint64(1) << "";
        QTest::newRow("seconds too") << "2024-05-01:20-15-00" << qint64(1) << "";
        QTest::newRow("beyond year 9999") << "9999-12-31:23-59" << qint64(1) << "";
        QTest::newRow("before year 1") << "0001-01-01:00-00" << qint64(-1) << "";
        QTest::newRow("unreadable date across midnight") << "someday:23-59" << qint64(1) << "someday:00-00";
        QTest::newRow("ten thousand years, unreadable date") << "someday:00-00" << qint64(3660000) * 1440 << "someday:00-00";
        QTest::newRow("more, unreadable date") << "someday:00-00" << qint64(3660001) * 1440 << "";
        QTest::newRow("largest offset") << "2024-05-01:20-15" << std::numeric_limits<qint64>::max() << "";
        QTest::newRow("smallest offset") << "2024-05-01:20-15" << std::numeric_limits<qint64>::min() << "";
    }

    void shifted()
    {
        QFETCH(QString, start);
        QFETCH(qint64, offset);
        QFETCH(QString, expected);
        QCOMPARE(CatchupText::shifted(start, offset).value_or(QString()), expected);
    }

    // Any offset of a readable start agrees with a UTC clock moved by as many minutes.
    void shiftedAgreesWithAClock()
    {
        const QDateTime start(QDate(2023, 12, 30), QTime(22, 47), Qt::UTC);
        for (qint64 offset = -4000; offset <= 4000; offset += 7) {
            const QString expected = start.addSecs(offset * 60).toString(QStringLiteral("yyyy-MM-dd:HH-mm"));
            QCOMPARE(CatchupText::shifted(QStringLiteral("2023-12-30:22-47"), offset).value_or(QString()), expected);
        }
    }

    void startText_data()
    {
        QTest::addColumn<QString>("programStart");
        QTest::addColumn<QString>("expected");
        QTest::newRow("usual") << "2024-05-01 20:15:00" << "2024-05-01:20-15";
        QTest::newRow("date alone") << "2024-05-01" << "2024-05-01:2024-05-01";
        QTest::newRow("combining marks count as one character")
            << QString::fromUtf8("2024-05-0e\u0301 20:15:00") << QString::fromUtf8("2024-05-0e\u0301:20-15");
        QTest::newRow("empty") << "" << ":";
    }

    void startText()
    {
        QFETCH(QString, programStart);
        QFETCH(QString, expected);
        QCOMPARE(CatchupText::startText(programStart), expected);
    }
};

QTEST_GUILESS_MAIN(TestCatchupText)
#include "tst_catchuptext.moc"
