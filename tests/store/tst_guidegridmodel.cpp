// The guide grid's rows over a guide read from memory: which rows are read and in what order.
#include "store/guidegridmodel.h"

#include <QCoroTimer>
#include <QSignalSpy>
#include <QtTest>


namespace {

constexpr qint64 hour = 3600;
constexpr qint64 now = 1714521600 + 12 * hour + 10 * 60; // 2024-05-01 12:10 UTC
constexpr double viewWidth = 850;

QList<MediaItem> channels(int count, const QString &prefix = QStringLiteral("c"))
{
    QList<MediaItem> out;
    for (int i = 0; i < count; ++i) {
        MediaItem channel;
        channel.id = QString::number(i);
        channel.kind = MediaItem::Kind::live;
        channel.name = prefix + QString::number(i);
        channel.epgChannelId = prefix + QString::number(i);
        out.append(channel);
    }
    return out;
}

// A guide of programmes on the hour, 40 minutes on even hours and 80 on odd ones, answered a
// moment later as the database would be; it keeps what it was asked.
struct FakeGuide
{
    struct Request
    {
        QStringList ids;
        qint64 from = 0;
        qint64 to = 0;
    };
    QList<Request> requests;
    int open = 0;

    static QList<GuideProgram> row(const QString &id, qint64 from, qint64 to)
    {
        QList<GuideProgram> out;
        for (qint64 start = from / (2 * hour) * (2 * hour) - 2 * hour; start < to;) {
            GuideProgram program;
            program.start = start;
            program.stop = start + ((start / hour) % 2 ? 80 : 40) * 60;
            program.title = id + QLatin1Char(' ') + QString::number(start);
            if (program.stop > from)
                out.append(program);
            start = program.stop;
        }
        return out;
    }

    GuideGridModel::Loader loader()
    {
        return [this](QStringList ids, qint64 from, qint64 to) -> QCoro::Task<GuideWindow> {
            requests.append({ids, from, to});
            ++open;
            co_await QCoro::sleepFor(std::chrono::milliseconds(5));
            GuideWindow window;
            window.from = from;
            window.to = to;
            for (const QString &id : ids)
                window.rows.append(row(id, from, to));
            --open;
            co_return window;
        };
    }
};

// The first and last row a request asked for, by the channels' numbers.
std::pair<int, int> rowsOf(const FakeGuide::Request &request)
{
    return {request.ids.constFirst().mid(1).toInt(), request.ids.constLast().mid(1).toInt()};
}

} // namespace

class TestGuideGridModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Opening reads the rows an opening view shows, before any view says so; then the rows
    // ahead. A view elsewhere has its own rows read first, then those around them. New
    // channels start over at the top with the view's size.
    void rowsInViewAreReadFirst()
    {
        FakeGuide guide;
        GuideGridModel grid;
        grid.setClock([] { return now; });
        grid.setLoader(guide.loader());
        grid.setChannels(channels(200));
        QCOMPARE(guide.requests.size(), 1);
        const auto [first, last] = rowsOf(guide.requests.at(0));
        QCOMPARE(first, 0);
        QVERIFY(last >= 8 && last < 24);
        QVERIFY(guide.requests.at(0).from <= now && guide.requests.at(0).to > now + 2 * hour);
        QTRY_COMPARE(guide.requests.size(), 2);
        QCOMPARE(rowsOf(guide.requests.at(1)).first, last + 1); // the rows ahead, on their own
        QTRY_COMPARE(guide.open, 0);

        QSignalSpy changed(&grid, &QAbstractItemModel::dataChanged);
        const double left = grid.openingLeft(viewWidth);
        const qsizetype before = guide.requests.size();
        grid.setViewport(100, 111, left, left + viewWidth);
        QTRY_COMPARE(guide.requests.size(), before + 2);
        QCOMPARE(rowsOf(guide.requests.at(before)), std::make_pair(100, 111));
        const auto [aheadFirst, aheadLast] = rowsOf(guide.requests.at(before + 1));
        QVERIFY(aheadFirst < 100 && aheadLast > 111);
        QTRY_COMPARE(guide.open, 0);
        // The rows in view were told first, by themselves (the rows let go far above aside).
        QList<std::pair<int, int>> filled;
        for (const QList<QVariant> &signal : std::as_const(changed)) {
            const int top = signal.at(0).toModelIndex().row();
            if (grid.isLoaded(top))
                filled.append({top, signal.at(1).toModelIndex().row()});
        }
        QVERIFY(!filled.isEmpty());
        QVERIFY(filled.at(0).first >= 100 && filled.at(0).second <= 111);
        QVERIFY(grid.isLoaded(100) && grid.isLoaded(111) && grid.isLoaded(aheadFirst));

        grid.setChannels(channels(150, QStringLiteral("d")));
        QCOMPARE(guide.requests.constLast().ids.constFirst(), QStringLiteral("d0"));
        QCOMPARE(guide.requests.constLast().ids.size(), 12);
        QTRY_COMPARE(guide.open, 0); // the guide's answers would outlive it
    }
    // A programme keeps its slot while the view moves and it stays a cell, whether the move is
    // served from the programmes held or reads the row again: the face drawing it is left as it
    // is, and only what enters takes a slot (one freed by a programme that left, or a new one).
    // A move that brings nothing in or out tells nothing.
    void programmesKeepTheirSlots_data()
    {
        QTest::addColumn<double>("minutes"); // the view moves by this much
        QTest::addColumn<bool>("changes");
        QTest::newRow("a pixel's worth later") << 0.25 << false;
        QTest::newRow("an hour later") << 60.0 << true;
        QTest::newRow("three hours later, read again") << 180.0 << true;
        QTest::newRow("two hours earlier") << -120.0 << true;
    }

    void programmesKeepTheirSlots()
    {
        QFETCH(double, minutes);
        QFETCH(bool, changes);
        constexpr int row = 3;
        FakeGuide guide;
        GuideGridModel grid;
        grid.setClock([] { return now; });
        grid.setLoader(guide.loader());
        grid.setChannels(channels(30));
        const double left = grid.openingLeft(viewWidth);
        grid.setViewport(0, 11, left, left + viewWidth);
        QTRY_VERIFY(grid.isLoaded(row));
        QTRY_COMPARE(guide.open, 0);
        const auto cellsOf = [&] { return grid.data(grid.index(row), GuideGridModel::CellsRole).value<QList<GuideCell>>(); };
        const auto slotOf = [](const QList<GuideCell> &cells, const GuideCell &cell) {
            for (qsizetype slot = 0; slot < cells.size(); ++slot) {
                if (cells.at(slot).filled && cells.at(slot).program.start == cell.program.start)
                    return slot;
            }
            return qsizetype(-1);
        };
        const QList<GuideCell> before = cellsOf();
        QVERIFY(before.size() >= 3);

        QSignalSpy changed(&grid, &QAbstractItemModel::dataChanged);
        const double shift = minutes * grid.pixelsPerMinute();
        grid.setViewport(0, 11, left + shift, left + shift + viewWidth);
        QTRY_COMPARE(guide.open, 0);
        const QList<GuideCell> after = cellsOf();
        int kept = 0;
        int entered = 0;
        for (qsizetype slot = 0; slot < after.size(); ++slot) {
            const GuideCell &cell = after.at(slot);
            QVERIFY2(cell.filled || slot < after.size() - 1, "an empty slot at the end");
            if (!cell.filled)
                continue;
            const qsizetype was = slotOf(before, cell);
            if (was >= 0) {
                QCOMPARE(was, slot);
                QCOMPARE(cell.x, before.at(slot).x);
                QCOMPARE(cell.timeText, before.at(slot).timeText);
                ++kept;
            } else {
                // A slot that was free or whose programme has gone.
                QVERIFY(slot >= before.size() || !before.at(slot).filled || slotOf(after, before.at(slot)) < 0);
                ++entered;
            }
        }
        QVERIFY(kept > 0);
        const bool told = std::any_of(changed.cbegin(), changed.cend(), [&](const QList<QVariant> &signal) {
            return signal.at(0).toModelIndex().row() <= row && signal.at(1).toModelIndex().row() >= row;
        });
        QCOMPARE(told, changes);
        QCOMPARE(after != before, changes);
        if (changes)
            QVERIFY(entered > 0 || after.size() < before.size() || kept < before.size());
    }
};

QTEST_GUILESS_MAIN(TestGuideGridModel)
#include "tst_guidegridmodel.moc"
