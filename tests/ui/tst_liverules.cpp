// The live section's decisions: channel numbers, when the preview plays, the title line, day
// chips, the catch-up panel's content and zapping along the list.
#include "liverules.h"

#include <QtTest>

class TestLiveRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void channelNumber_data()
    {
        QTest::addColumn<qint64>("num");
        QTest::addColumn<int>("offset");
        QTest::addColumn<qint64>("shown");
        QTest::newRow("no number, third place") << qint64(0) << 2 << qint64(3);
        QTest::newRow("own number anywhere") << qint64(120) << 0 << qint64(120);
        QTest::newRow("own number 1 beats position") << qint64(1) << 40 << qint64(1);
        QTest::newRow("negative is no number") << qint64(-5) << 6 << qint64(7);
    }

    void channelNumber()
    {
        QFETCH(qint64, num);
        QFETCH(int, offset);
        QTEST(LiveRules::channelNumber(num, offset), "shown");
        QCOMPARE(LiveRules::itemNumber(MediaItem{.num = num}, offset), int(LiveRules::channelNumber(num, offset)));
    }

    void showsPreview_data()
    {
        QTest::addColumn<bool>("hasURL");
        QTest::addColumn<bool>("hasItem");
        QTest::addColumn<bool>("live");
        QTest::addColumn<bool>("catchup");
        QTest::addColumn<bool>("shows");
        QTest::newRow("a live channel") << true << true << true << false << true;
        QTest::newRow("its catch-up recording") << true << true << true << true << false;
        QTest::newRow("a movie") << true << true << false << false << false;
        QTest::newRow("nothing playing") << false << false << false << false << false;
        QTest::newRow("channel without an address") << false << true << true << false << false;
    }

    void showsPreview()
    {
        QFETCH(bool, hasURL);
        QFETCH(bool, hasItem);
        QFETCH(bool, live);
        QFETCH(bool, catchup);
        QTEST(LiveRules::showsPreview(hasURL ? QUrl(QStringLiteral("http://h/live/u/p/1.ts")) : QUrl(), hasItem, live, catchup), "shows");
    }

    void texts_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("chip");
        QTest::newRow("empty") << "" << " " << "";
        QTest::newRow("date key") << "2026-12-06" << "2026-12-06" << "12-06";
        QTest::newRow("short key whole") << "d1" << "d1" << "d1";
        QTest::newRow("exactly five") << "12-06" << "12-06" << "12-06";
        QTest::newRow("a space is a title") << " " << " " << " ";
    }

    void texts()
    {
        QFETCH(QString, input);
        QTEST(LiveRules::titleLine(input), "title");
        QTEST(LiveRules::dayChipText(input), "chip");
    }

    void catchupContent_data()
    {
        QTest::addColumn<bool>("loading");
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("failed");
        QTest::addColumn<LiveRules::CatchupContent>("shows");
        using C = LiveRules::CatchupContent;
        QTest::newRow("loading hides what was there") << true << 5 << false << C::Spinner;
        QTest::newRow("loading, nothing yet") << true << 0 << false << C::Spinner;
        QTest::newRow("Retry loads over the failure") << true << 0 << true << C::Spinner;
        QTest::newRow("nothing archived") << false << 0 << false << C::Empty;
        QTest::newRow("archive failed: never an empty list") << false << 0 << true << C::Failure;
        QTest::newRow("programmes") << false << 1 << false << C::Programs;
    }

    void catchupContent()
    {
        QFETCH(bool, loading);
        QFETCH(int, count);
        QFETCH(bool, failed);
        QTEST(LiveRules::catchupContent(loading, count, failed), "shows");
    }

    void zapRow_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("delta");
        QTest::addColumn<int>("row");
        QTest::newRow("next") << 0 << 3 << 1 << 1;
        QTest::newRow("previous") << 2 << 3 << -1 << 1;
        QTest::newRow("past the end: no wrap") << 2 << 3 << 1 << -1;
        QTest::newRow("before the start: no wrap") << 0 << 3 << -1 << -1;
        QTest::newRow("playing channel not listed") << -1 << 3 << -1 << 0;
        QTest::newRow("list shrank under it") << 7 << 3 << 1 << 0;
        QTest::newRow("empty list") << -1 << 0 << 1 << -1;
        QTest::newRow("single channel") << 0 << 1 << 1 << -1;
    }

    void zapRow()
    {
        QFETCH(int, current);
        QFETCH(int, count);
        QFETCH(int, delta);
        QTEST(LiveRules::zapRow(current, count, delta), "row");
    }

    // Rows are found by id in the filtered view, not in the full list behind it.
    void rowsOfTheFilteredView()
    {
        FilteredItemsModel model(nullptr);
        QList<MediaItem> items;
        for (const char *id : {"10", "20", "30"})
            items.append(MediaItem{.id = QString::fromLatin1(id), .name = QString::fromLatin1(id)});
        model.replace(items, QList<qsizetype>{2, 0});
        QCOMPARE(LiveRules::rowOf(&model, QStringLiteral("30")), 0);
        QCOMPARE(LiveRules::rowOf(&model, QStringLiteral("10")), 1);
        QCOMPARE(LiveRules::rowOf(&model, QStringLiteral("20")), -1);
        QCOMPARE(LiveRules::rowOf(&model, QString()), -1);
        QCOMPARE(LiveRules::rowOf(nullptr, QStringLiteral("10")), -1);
        QCOMPARE(LiveRules::itemAt(&model, 1).id, QStringLiteral("10"));
        QCOMPARE(LiveRules::itemAt(&model, 2).id, QString());
        QCOMPARE(LiveRules::itemAt(&model, -1).id, QString());
    }
};

QTEST_MAIN(TestLiveRules)
#include "tst_liverules.moc"
