// A whole section decoded in runs of rows on several threads, or in runs while it arrives, must
// give exactly what decoding the whole answer gives, or decline and leave the answer as it was.
#include "api/decoders.h"
#include "api/jsondocument.h"

#include <QtTest>

#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

QList<MediaItem> whole(const QByteArray &body, MediaItem::Kind kind)
{
    JsonDocument document;
    if (!document.parse(body))
        return {};
    return MavuAPI::decode::streams(document.root(), kind);
}

QByteArray movieRow(int id, const QByteArray &name, bool textNumbers)
{
    const QByteArray number = QByteArray::number(id);
    return "{\"stream_id\":" + (textNumbers ? '"' + number + '"' : number) + ",\"name\":\"" + name
        + "\",\"category_id\":\"" + QByteArray::number(id % 7) + "\",\"stream_icon\":\"http:\\/\\/img.test\\/" + number
        + ".jpg\",\"added\":\"" + QByteArray::number(1600000000 + id) + "\",\"rating_5based\":" + (textNumbers ? "\"4.5\"" : "3")
        + ",\"container_extension\":\"" + (id % 3 ? "mkv" : "") + "\"}";
}

// `rows` movies in one compact array; row `special` (if any) is replaced by `specialRow`.
QByteArray movies(int rows, int special = -1, const QByteArray &specialRow = {})
{
    QByteArray body = "[";
    for (int i = 0; i < rows; ++i) {
        if (i)
            body += ',';
        body += i == special ? specialRow : movieRow(i + 1, "Title \\\"" + QByteArray::number(i) + "\\\" \xC3\xA9t\xC3\xA9", i % 2);
    }
    return body + ']';
}

// `rows` rows far shorter than the parser's padding, so that runs in place end inside the bytes
// it reads past their neighbours' ends.
QByteArray tinyRows(int rows)
{
    QByteArray body = "[";
    for (int i = 0; i < rows; ++i)
        body += (i ? ",{\"stream_id\":" : "{\"stream_id\":") + QByteArray::number(i % 10) + '}';
    return body + ']';
}

// A copy of `body` in one block with the parser's padding behind it, as a settled body has.
QByteArray settledCopy(const QByteArray &body)
{
    QByteArray copy;
    copy.reserve(body.size() + 64);
    copy.append(body);
    return copy;
}

// A copy of `body` whose last byte is the last one readable: nothing lies behind it, as with a
// body in Qt's own download buffer. A read past its end faults.
class AtTheEdge
{
public:
    explicit AtTheEdge(const QByteArray &body)
    {
        const qsizetype page = sysconf(_SC_PAGESIZE);
        const qsizetype pages = (body.size() + page - 1) / page + 1;
        m_size = pages * page;
        m_block = static_cast<char *>(mmap(nullptr, size_t(m_size), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        mprotect(m_block + m_size - page, size_t(page), PROT_NONE);
        char *const start = m_block + m_size - page - body.size();
        std::memcpy(start, body.constData(), size_t(body.size()));
        m_body = QByteArray::fromRawData(start, body.size());
    }
    ~AtTheEdge() { munmap(m_block, size_t(m_size)); }
    const QByteArray &body() const { return m_body; }

private:
    char *m_block = nullptr;
    qsizetype m_size = 0;
    QByteArray m_body;
};

// Feeds `body` to `runs` as the network would: growing by `chunk` bytes at a time, in place when
// `settled` (the views all start at the same bytes).
void arrive(MavuAPI::decode::RowRuns &runs, QByteArrayView body, qsizetype chunk, bool settled = false)
{
    runs.begin();
    if (settled)
        QVERIFY(runs.settled());
    for (qsizetype end = std::min(chunk, body.size());; end = std::min(end + chunk, body.size())) {
        runs.received(body.first(end));
        if (end == body.size())
            break;
    }
}

// A sanitized build frees the abandoned run's memory slowly (some 25 ms); the rows an unheeded
// abandon would go on making cost several times that there.
#if defined(__SANITIZE_ADDRESS__)
constexpr int sanitizerSlack = 4;
#else
constexpr int sanitizerSlack = 1;
#endif

// The time every thread of the process has spent running.
qint64 cpuMilliseconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return qint64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000;
}

int threadNice(qint64 thread)
{
    return getpriority(PRIO_PROCESS, id_t(thread));
}

int ownNice()
{
    return threadNice(syscall(SYS_gettid));
}

// The highest nice value among the process's threads.
int highestNice()
{
    int highest = -20;
    const QStringList threads = QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &thread : threads)
        highest = std::max(highest, threadNice(thread.toLongLong()));
    return highest;
}

} // namespace

class TestCatalogueParts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameAsTheWholeAnswer_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("inParts"); // false: declined, the whole answer decides

        const int kind = int(MediaItem::Kind::movie);
        QTest::newRow("compact array") << movies(3000) << kind << true;
        QTest::newRow("byte-order mark and white space first") << "\xEF\xBB\xBF \n\t" + movies(3000) << kind << true;
        QTest::newRow("no row boundary past the middle") << QByteArray("[{},{\"stream_id\":5}") + QByteArray(4000, ' ') + "]"
                                                         << kind << false;
        // The middle row's text holds "},{" right where the cut is looked for: the run before the
        // cut ends inside that text.
        const QByteArray trap = "{\"stream_id\":1,\"name\":\"" + QByteArray(40000, 'a') + "},{" + QByteArray(40000, 'b') + "\"}";
        QTest::newRow("row boundary lookalike in a text") << movies(3, 1, trap) << kind << false;
        const QByteArray nested = "{\"stream_id\":1,\"extra\":[" + QByteArray(40000, ' ') + "{},{}" + QByteArray(40000, ' ') + "]}";
        QTest::newRow("row boundary lookalike in a nested array") << movies(3, 1, nested) << kind << false;
        QTest::newRow("a row that is not an object") << movies(3000, 2500, "[1,2]") << kind << false;
        QTest::newRow("broken JSON in the second half") << movies(3000, 2500, "{\"stream_id\":}") << kind << false;
        QTest::newRow("object at the top") << "{\"rows\":" + movies(3000) + "}" << kind << false;
        QTest::newRow("live rows") << movies(3000) << int(MediaItem::Kind::live) << true;
        QTest::newRow("show rows") << movies(3000) << int(MediaItem::Kind::series) << true;
    }

    void sameAsTheWholeAnswer()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, kind);
        QFETCH(bool, inParts);

        const QByteArray original = body;
        // Small runs, so that even these answers are cut.
        const auto decoded = MavuAPI::decode::streamsInParts(body, MediaItem::Kind(kind), 1024);
        QCOMPARE(decoded.has_value(), inParts);
        QCOMPARE(body, original); // written to while parsing, and restored
        if (decoded) {
            const QList<MediaItem> expected = whole(original, MediaItem::Kind(kind));
            QVERIFY(!expected.isEmpty());
            QCOMPARE(decoded->size(), expected.size());
            QVERIFY(*decoded == expected);
        }
    }

    // The rows of every run land in order, however many runs the answer is cut into.
    void rowsStayInOrder_data()
    {
        QTest::addColumn<qsizetype>("minimumPart");
        QTest::newRow("one run") << qsizetype(64 << 20);
        QTest::newRow("runs of 16 KB") << qsizetype(16 << 10);
        QTest::newRow("runs of 1 KB") << qsizetype(1 << 10);
    }

    void rowsStayInOrder()
    {
        QFETCH(qsizetype, minimumPart);
        QByteArray body = movies(5000);
        const auto decoded = MavuAPI::decode::streamsInParts(body, MediaItem::Kind::movie, minimumPart);
        if (!decoded) {
            QVERIFY2(minimumPart > body.size(), "a body big enough to cut was declined");
            return;
        }
        QCOMPARE(decoded->size(), 5000);
        for (qsizetype i = 0; i < decoded->size(); ++i)
            QCOMPARE(decoded->at(i).id, QString::number(i + 1));
    }
};

// Runs decoded while the answer arrives.
class TestArrivingRuns : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameAsTheWholeAnswer_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<qsizetype>("chunk");
        QTest::addColumn<bool>("inRuns"); // false: declined, the whole answer decides

        QTest::newRow("in pieces of 997 bytes") << movies(3000) << qsizetype(997) << true;
        QTest::newRow("all at once") << movies(3000) << qsizetype(1 << 30) << true;
        QTest::newRow("byte by byte") << movies(40) << qsizetype(1) << true;
        QTest::newRow("byte-order mark and white space first, byte by byte") << "\xEF\xBB\xBF \n\t" + movies(40) << qsizetype(1) << true;
        QTest::newRow("smaller than one run") << movies(2) << qsizetype(7) << true;
        QTest::newRow("rows shorter than the parser's padding") << tinyRows(3000) << qsizetype(61) << true;
        QTest::newRow("rows shorter than the parser's padding, all at once") << tinyRows(3000) << qsizetype(1 << 30) << true;
        QTest::newRow("empty array") << QByteArray("[ ]") << qsizetype(1) << true;
        const QByteArray trap = "{\"stream_id\":1,\"name\":\"" + QByteArray(4000, 'a') + "},{" + QByteArray(4000, 'b') + "\"}";
        QTest::newRow("row boundary lookalike in a text") << movies(30, 1, trap) << qsizetype(512) << false;
        const QByteArray nested = "{\"stream_id\":1,\"extra\":[" + QByteArray(4000, ' ') + "{},{}" + QByteArray(4000, ' ') + "]}";
        QTest::newRow("row boundary lookalike in a nested array") << movies(30, 1, nested) << qsizetype(512) << false;
        QTest::newRow("a row that is not an object") << movies(3000, 2500, "[1,2]") << qsizetype(997) << false;
        QTest::newRow("broken JSON in a later run") << movies(3000, 2500, "{\"stream_id\":}") << qsizetype(997) << false;
        QTest::newRow("object at the top") << "{\"rows\":" + movies(3000) + "}" << qsizetype(997) << false;
        QTest::newRow("not JSON") << QByteArray("<html>busy</html>") << qsizetype(997) << false;
    }

    void sameAsTheWholeAnswer()
    {
        QFETCH(QByteArray, body);
        QFETCH(qsizetype, chunk);
        QFETCH(bool, inRuns);

        const QList<MediaItem> expected = whole(body, MediaItem::Kind::movie);
        // Copied out, in place with the parser's room behind the body, in place with none.
        for (const int way : {0, 1, 2}) {
            const bool settled = way > 0;
            // In place, the body is written to while it is parsed: declined or not, it is left
            // as it came, for the whole parse or the caller.
            const AtTheEdge edge(body);
            const QByteArray received = way == 0 ? body : way == 1 ? settledCopy(body) : edge.body();
            MavuAPI::decode::RowRuns runs(MediaItem::Kind::movie, 1024);
            arrive(runs, received, chunk, settled);
            const auto decoded = runs.finish(received);
            QCOMPARE(decoded.has_value(), inRuns);
            QCOMPARE(received, body);
            if (decoded) {
                QCOMPARE(decoded->size(), expected.size());
                QVERIFY(*decoded == expected);
            }
        }
    }

    // A body read in place is as it came once it is let go of, however far the runs got: given
    // up from the receiving side, abandoned, or moved under the runs (which then decline).
    void inPlaceLeavesTheBodyAsItCame_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("stopped") << "stopped";
        QTest::newRow("abandoned") << "abandoned";
        QTest::newRow("moved") << "moved";
    }

    void inPlaceLeavesTheBodyAsItCame()
    {
        QFETCH(QString, end);
        const QByteArray body = movies(3000);
        const QByteArray received = settledCopy(body);
        MavuAPI::decode::RowRuns runs(MediaItem::Kind::movie, 1024);
        arrive(runs, QByteArrayView(received).first(received.size() * 2 / 3), 997, true);
        QThread::msleep(5); // some runs under way
        if (end == QLatin1String("stopped")) {
            runs.stop();
            QCOMPARE(received, body);
            QVERIFY(!runs.finish(received));
        } else if (end == QLatin1String("abandoned")) {
            runs.abandon();
            QCOMPARE(received, body);
            QVERIFY(!runs.finish(received));
        } else {
            const QByteArray elsewhere = settledCopy(body);
            QVERIFY(!runs.finish(elsewhere));
            QCOMPARE(elsewhere, body);
        }
        QCOMPARE(received, body);
    }

    // The helper decoding while the answer arrives gives way to the threads receiving it; the
    // thread that finishes after the last byte (a pool's, or the caller's) keeps its priority.
    void helperGivesWayToTheTransfer()
    {
        const int own = ownNice();
        if (own >= 10)
            QSKIP("the suite already runs at the helpers' priority");
        const QByteArray body = movies(3000);
        MavuAPI::decode::RowRuns runs(MediaItem::Kind::movie, 1024);
        arrive(runs, body, 997);
        QTRY_VERIFY(highestNice() >= 10);
        const auto decoded = runs.finish(body);
        QVERIFY(decoded);
        QVERIFY(*decoded == whole(body, MediaItem::Kind::movie));
        QCOMPARE(ownNice(), own);
    }

    // A redirect's answer or an earlier attempt leaves nothing behind: only the answer since the
    // last begin() counts, and nothing is handed out without one.
    void onlyTheLastAnswerCounts()
    {
        const QByteArray first = movies(2000);
        QByteArray second = movies(1500);
        second.replace("Title", "Other");
        MavuAPI::decode::RowRuns runs(MediaItem::Kind::movie, 1024);
        arrive(runs, first.first(first.size() / 2), 997);
        arrive(runs, second, 997);
        const auto decoded = runs.finish(second);
        QVERIFY(decoded);
        QVERIFY(*decoded == whole(second, MediaItem::Kind::movie));

        MavuAPI::decode::RowRuns unwatched(MediaItem::Kind::movie, 1024);
        QVERIFY(!unwatched.finish(second));

        // Given up halfway (a cut answer): the runs already queued are dropped, not decoded.
        MavuAPI::decode::RowRuns abandoned(MediaItem::Kind::movie, 1024);
        arrive(abandoned, first.first(first.size() / 2), 997);
        abandoned.abandon();
        QVERIFY(!abandoned.finish(first));
    }

    // A cancel does not wait for the run being decoded: abandon() returns once its thread has
    // stopped, and no thread goes on spending time on the answer afterwards.
    void abandonStopsTheRunBeingDecoded()
    {
        const QByteArray body = movies(70000);
        MavuAPI::decode::RowRuns runs(MediaItem::Kind::movie, body.size() / 2);
        arrive(runs, body, body.size() - 1); // one run of half the answer, decoded on a helper
        QTest::qWait(20);                    // into its rows
        QElapsedTimer clock;
        clock.start();
        runs.abandon();
        const qint64 abandoning = clock.elapsed();
        const qint64 before = cpuMilliseconds();
        QThread::msleep(150);
        const qint64 spent = cpuMilliseconds() - before;
        // At most the parse of the run under way (some 50 ms, more on a sanitized build); the
        // rows it would go on to make are the work that must not happen.
        QVERIFY2(abandoning < 1500, qPrintable(QString::number(abandoning)));
        QVERIFY2(spent < sanitizerSlack * 20, qPrintable(QStringLiteral("%1 ms of work after the abandon").arg(spent)));
        QVERIFY(!runs.finish(body));

        // Stopped from the receiving side: the whole answer, even when it then arrives, is not
        // handed out.
        MavuAPI::decode::RowRuns stopped(MediaItem::Kind::movie, 1024);
        const QByteArray small = movies(2000);
        arrive(stopped, small.first(small.size() / 2), 997);
        stopped.stop();
        QVERIFY(!stopped.finish(small));
    }
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int failed = 0;
    {
        TestCatalogueParts parts;
        failed |= QTest::qExec(&parts, argc, argv);
    }
    {
        TestArrivingRuns arriving;
        failed |= QTest::qExec(&arriving, argc, argv);
    }
    return failed;
}
#include "tst_catalogueparts.moc"
