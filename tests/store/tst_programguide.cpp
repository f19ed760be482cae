#include "labserver.h"
#include "store/guidegridmodel.h"
#include "store/guideimportjob.h"
#include "store/programguide.h"
#include "support/fakeserver.h"
#include "support/testsupport.h"

#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QtTest>

#include <sys/resource.h>
#include <sys/stat.h>
#include <ctime>
#include <zlib.h>

using TestSupport::await;

namespace {

constexpr qint64 hour = 3600;

MediaItem live(const QString &id, const QString &epg, bool archive = false, qint64 days = 2)
{
    MediaItem item;
    item.id = id;
    item.name = QStringLiteral("Channel ") + id;
    item.kind = MediaItem::Kind::live;
    item.containerExt = QStringLiteral("ts");
    item.epgChannelId = epg;
    item.tvArchive = archive;
    item.archiveDays = days;
    return item;
}

QCoro::Task<QList<MediaItem>> give(QList<MediaItem> channels)
{
    co_return channels;
}

ProgramGuide::ChannelSource source(const QList<MediaItem> &channels)
{
    return [channels] { return give(channels); };
}

QString xmltvTime(qint64 secs)
{
    return QDateTime::fromSecsSinceEpoch(secs, QTimeZone::utc()).toString(QStringLiteral("yyyyMMddHHmmss")) + QStringLiteral(" +0000");
}

// Hourly programmes "<channel> <n>" on channels a, b and c, from `back` hours ago to six
// hours ahead, hours aligned; `padding` bytes of description make the document bigger.
QByteArray xmltv(qint64 now, int back = 30, int padding = 0)
{
    const qint64 first = now / hour * hour - back * hour;
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tv>\n";
    const QByteArray desc(padding, 'x');
    for (const char *channel : {"a", "b", "c"}) {
        for (qint64 start = first, n = 0; start < now + 6 * hour; start += hour, ++n) {
            out += "<programme start=\"" + xmltvTime(start).toUtf8() + "\" stop=\"" + xmltvTime(start + hour).toUtf8()
                   + "\" channel=\"" + channel + "\"><title>" + channel + ' ' + QByteArray::number(n) + "</title><desc>about " + channel + ' ' + QByteArray::number(n)
                   + desc + "</desc></programme>\n";
        }
    }
    return out + "</tv>\n";
}

QByteArray gzip(const QByteArray &data)
{
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(int(deflateBound(&stream, uLong(data.size()))) + 64, Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef *>(out.data());
    stream.avail_out = uInt(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return out;
}

QStringList titles(const QList<GuideProgram> &programs)
{
    QStringList out;
    for (const GuideProgram &program : programs)
        out.append(program.title);
    return out;
}

} // namespace

Q_DECLARE_METATYPE(ProgramGuide::Failure)

// The guide import against a fake provider and the lab: what it keeps, how it tells its
// progress and its failures, and that a failed import leaves the previous guide alone.
class TestProgramGuide : public QObject
{
    Q_OBJECT

    TestSupport::TempFolder m_folder;
    FakeServer m_server;
    std::unique_ptr<ProgramGuide> m_guide;
    const QList<MediaItem> m_channels{live(QStringLiteral("1"), QStringLiteral("a")), live(QStringLiteral("2"), QStringLiteral("b")),
                                      live(QStringLiteral("3"), QString()), live(QStringLiteral("4"), QStringLiteral("a"))};

    Playlist playlist(const QString &base) const
    {
        return Playlist{base, QStringLiteral("user"), QStringLiteral("pa&ss word")};
    }

    std::unique_ptr<ProgramGuide> makeGuide(const QString &base, const QList<MediaItem> &channels)
    {
        auto guide = std::make_unique<ProgramGuide>();
        guide->setCacheFolder(m_folder.path());
        guide->setChannelSource(source(channels));
        guide->setPlaylist(playlist(base));
        return guide;
    }

    QStringList titlesOf(ProgramGuide &guide, const QString &channel, qint64 from, qint64 to)
    {
        return titles(await(guide.programs({channel}, from, to)).rows.value(0));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(!m_server.start().isEmpty());
    }

    void init()
    {
        m_server.clearRequests();
        m_guide = makeGuide(m_server.base(), m_channels);
    }

    void cleanup()
    {
        m_guide.reset();
        QDir(m_folder.path()).removeRecursively();
        QDir().mkpath(m_folder.path());
    }

    // Plain or as a gzip file: only the playlist's channels are kept, and readable at once.
    void imports_data()
    {
        QTest::addColumn<bool>("compressed");
        QTest::newRow("plain") << false;
        QTest::newRow("a gzip file") << true;
    }

    void imports()
    {
        QFETCH(bool, compressed);
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        const QByteArray body = xmltv(now);
        FakeServer::Reply reply;
        reply.contentType = compressed ? "application/gzip" : "application/xml";
        reply.body = compressed ? gzip(body) : body;
        m_server.on(QStringLiteral("/xmltv.php"), reply);
        const int generation = m_guide->generation();

        await(m_guide->import());
        QCOMPARE(m_guide->failure(), ProgramGuide::Failure::none);
        QVERIFY(!m_guide->importing());
        QVERIFY(m_guide->hasLastImport());
        QVERIFY(qAbs(m_guide->lastImport().toSecsSinceEpoch() - now) < 60);
        QVERIFY(m_guide->generation() > generation);

        // The request: the playlist's account, each value arriving whole.
        const auto request = m_server.requestsTo(QStringLiteral("/xmltv.php")).value(0);
        QCOMPARE(request.queryValue(QStringLiteral("username")), std::optional(QStringLiteral("user")));
        QCOMPARE(request.queryValue(QStringLiteral("password")), std::optional(QStringLiteral("pa&ss word")));

        const qint64 h = now / hour * hour;
        const GuideWindow window = await(m_guide->programs({QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("b")}, h, h + 2 * hour));
        QCOMPARE(titles(window.rows.value(0)), QStringList({"a 30", "a 31"}));
        QVERIFY(window.rows.value(1).isEmpty()); // not a channel of the playlist
        QCOMPARE(titles(window.rows.value(2)), QStringList({"b 30", "b 31"}));

        // The file is the account's alone, and its name says nothing of the account.
        struct stat info{};
        QCOMPARE(::stat(QFile::encodeName(m_guide->databasePath()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));
        QVERIFY(!m_guide->databasePath().contains(QStringLiteral("user")));
    }

    // Programmes that ended before the longest archive (at least a day) are not kept.
    void archiveWindow_data()
    {
        QTest::addColumn<QList<MediaItem>>("channels");
        QTest::addColumn<QString>("oldest");
        QTest::newRow("no archive: a day") << QList<MediaItem>{live(QStringLiteral("1"), QStringLiteral("a"))} << "a 6";
        QTest::newRow("an archive of two days") << QList<MediaItem>{live(QStringLiteral("1"), QStringLiteral("a")),
                                                                     live(QStringLiteral("2"), QStringLiteral("b"), true, 2)}
                                                << "a 0";
    }

    void archiveWindow()
    {
        QFETCH(QList<MediaItem>, channels);
        QFETCH(QString, oldest);
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        m_server.on(QStringLiteral("/xmltv.php"), FakeServer::Reply::json(xmltv(now)));
        auto guide = makeGuide(m_server.base(), channels);
        await(guide->import());
        QCOMPARE(guide->failure(), ProgramGuide::Failure::none);
        QCOMPARE(titlesOf(*guide, QStringLiteral("a"), now - 3 * 86400, now).value(0), oldest);
    }

    void progressIsTold()
    {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        m_server.on(QStringLiteral("/xmltv.php"), FakeServer::Reply::json(xmltv(now, 30, 2000)));
        QStringList texts;
        QList<double> values;
        connect(m_guide.get(), &ProgramGuide::progressChanged, this, [&] {
            texts.append(m_guide->progressText());
            values.append(m_guide->progress());
        });
        QSignalSpy importing(m_guide.get(), &ProgramGuide::importingChanged);
        await(m_guide->import());
        QCOMPARE(importing.size(), 2);
        QCOMPARE(texts.value(0), QStringLiteral("Updating guide…"));
        static const QRegularExpression percent(QStringLiteral("^Updating guide… (\\d+) %$"));
        QVERIFY2(std::any_of(texts.cbegin(), texts.cend(), [](const QString &text) { return percent.match(text).hasMatch(); }),
                 qPrintable(texts.join(u'|')));
        QVERIFY(std::is_sorted(values.cbegin(), values.cend()));
        QCOMPARE(m_guide->progress(), 1.0);
    }

    // Every way an import fails is told in words, and the guide stored before stays.
    void failuresKeepTheOldGuide_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<ProgramGuide::Failure>("failure");
        QTest::addColumn<QString>("words");
        QTest::newRow("error status") << "xmltv" << "status:503" << ProgramGuide::Failure::serverFailed << "error (503)";
        QTest::newRow("a web page") << "xmltv" << "notjson" << ProgramGuide::Failure::notUnderstood << "wasn't understood";
        QTest::newRow("cut short") << "xmltv" << "cut" << ProgramGuide::Failure::notUnderstood << "wasn't understood";
        QTest::newRow("silent") << "xmltv" << "stall" << ProgramGuide::Failure::timedOut << "too long";
        QTest::newRow("too slow overall") << "player_api" << "delay:3000" << ProgramGuide::Failure::timedOut << "too long";
        QTest::newRow("not found") << "*" << "notfound" << ProgramGuide::Failure::serverFailed << "error (404)";
        QTest::newRow("too large") << "" << "" << ProgramGuide::Failure::tooLarge << "too large";
        QTest::newRow("unreachable") << "" << "" << ProgramGuide::Failure::unreachable << "Couldn't download";
        QTest::newRow("cannot store") << "" << "" << ProgramGuide::Failure::notStored << "couldn't be stored";
    }

    void failuresKeepTheOldGuide()
    {
        QFETCH(QString, route);
        QFETCH(QString, fault);
        QFETCH(ProgramGuide::Failure, failure);
        QFETCH(QString, words);

        Lab::Server lab;
        QVERIFY(!lab.start().isEmpty());
        auto channels = [&lab] {
            QList<MediaItem> list;
            for (const Lab::LiveChannel &channel : lab.catalogue().live()) {
                if (!channel.epgChannelId.isEmpty())
                    list.append(live(QString::number(channel.id), channel.epgChannelId));
            }
            return list;
        }();
        ProgramGuide guide;
        guide.setCacheFolder(m_folder.path());
        guide.setChannelSource(source(channels));
        guide.setPlaylist(Playlist{lab.base(), lab.username(), lab.password()});
        await(guide.import());
        QCOMPARE(guide.failure(), ProgramGuide::Failure::none);
        const QDateTime imported = guide.lastImport();
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        const QString id = channels.first().epgChannelId;
        const QStringList before = titlesOf(guide, id, now, now + 3 * hour);
        QVERIFY(!before.isEmpty());

        ProgramGuide::Limits limits;
        if (failure == ProgramGuide::Failure::timedOut) {
            limits.idleTimeout = std::chrono::milliseconds(800);
            limits.deadline = std::chrono::milliseconds(1500);
        }
        if (failure == ProgramGuide::Failure::tooLarge)
            limits.maxBytes = 100000;
        guide.setLimits(limits);
        if (!fault.isEmpty())
            lab.setFault(route, *Lab::Fault::parse(fault));
        if (failure == ProgramGuide::Failure::unreachable) {
            QTcpServer closed;
            QVERIFY(closed.listen(QHostAddress::LocalHost));
            const quint16 port = closed.serverPort();
            closed.close();
            guide.setPlaylist(Playlist{QStringLiteral("http://127.0.0.1:%1").arg(port), lab.username(), lab.password()});
        }
        if (failure == ProgramGuide::Failure::notStored) {
            // The folder turns into a file: nothing can be written beside the guide.
            const QString folder = m_folder.file(QStringLiteral("blocked"));
            QFile blocker(folder);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
            guide.setCacheFolder(folder + QStringLiteral("/inside"));
        }

        await(guide.import());
        QCOMPARE(guide.failure(), failure);
        QVERIFY2(guide.failureText().contains(words), qPrintable(guide.failureText()));
        QVERIFY(!guide.importing());
        if (failure != ProgramGuide::Failure::unreachable && failure != ProgramGuide::Failure::notStored) {
            QCOMPARE(guide.lastImport(), imported);
            QCOMPARE(titlesOf(guide, id, now, now + 3 * hour), before);
        }
        // Nothing half-written is left beside the guide once the import's threads have ended (in
        // the background): a thread that starts late may still be making its file until then.
        QTRY_COMPARE_WITH_TIMEOUT(GuideImportJob::alive(), 0, 20000);
        QVERIFY(QDir(m_folder.path()).entryList({QStringLiteral("*.import-*")}, QDir::Files).isEmpty());

        // Retry, once the fault is gone, brings a new guide.
        lab.clearFaults();
        if (failure == ProgramGuide::Failure::tooLarge) {
            guide.setLimits({});
            guide.retry();
            QTRY_VERIFY_WITH_TIMEOUT(!guide.importing(), 60000);
            QCOMPARE(guide.failure(), ProgramGuide::Failure::none);
            QVERIFY(guide.lastImport() >= imported);
        }
    }

    void aNewPlaylistStopsTheImport()
    {
        FakeServer::Reply silent;
        silent.never = true;
        m_server.on(QStringLiteral("/xmltv.php"), silent);
        m_guide->runImport();
        QVERIFY(m_guide->importing());
        const QString first = m_guide->databasePath();
        m_guide->setPlaylist(Playlist{m_server.base(), QStringLiteral("other"), QStringLiteral("x")});
        QVERIFY(!m_guide->importing());
        QVERIFY(!m_guide->hasFailure());
        QVERIFY(m_guide->databasePath() != first);
        QTest::qWait(100);
        QVERIFY(!QFileInfo::exists(first));
    }

    // Whether a plain list has a guide is known only once that list is read: what another list
    // said never shows for the one on screen, whichever is told first.
    void guidelessBelongsToItsList_data()
    {
        QTest::addColumn<bool>("firstHasGuide");
        QTest::addColumn<bool>("secondHasGuide");
        QTest::addColumn<bool>("toldBeforeShown");

        QTest::newRow("none, then none") << false << false << false;
        QTest::newRow("none, then a guide") << false << true << false;
        QTest::newRow("a guide, then none") << true << false << false;
        QTest::newRow("none, then none, told first") << false << false << true;
        QTest::newRow("a guide, then none, told first") << true << false << true;
    }

    void guidelessBelongsToItsList()
    {
        QFETCH(bool, firstHasGuide);
        QFETCH(bool, secondHasGuide);
        QFETCH(bool, toldBeforeShown);
        const Playlist first = Playlist::m3u(m_server.base() + QStringLiteral("/one.m3u"));
        const Playlist second = Playlist::m3u(m_server.base() + QStringLiteral("/two.m3u"));
        const auto address = [this](bool has) {
            return has ? std::optional<QUrl>(QUrl(m_server.base() + QStringLiteral("/guide.xml"))) : std::nullopt;
        };
        m_guide->setPlaylist(first);
        QVERIFY(!m_guide->guideless()); // not read yet
        m_guide->setGuideAddress(first, address(firstHasGuide));
        QCOMPARE(m_guide->guideless(), !firstHasGuide);

        QList<bool> seen;
        connect(m_guide.get(), &ProgramGuide::guidelessChanged, this, [&] { seen.append(m_guide->guideless()); });
        if (toldBeforeShown) {
            m_guide->setGuideAddress(second, address(secondHasGuide));
            m_guide->setPlaylist(second);
        } else {
            m_guide->setPlaylist(second);
            QVERIFY(!m_guide->guideless()); // the second list is not read yet
            // A late answer for the list no longer shown changes nothing.
            m_guide->setGuideAddress(first, address(!firstHasGuide));
            QVERIFY(!m_guide->guideless());
            m_guide->setGuideAddress(second, address(secondHasGuide));
        }
        QCOMPARE(m_guide->guideless(), !secondHasGuide);
        // Never a wrong "no guide" on the way: at most the one change to the second list's own.
        QVERIFY2(seen.size() <= 2, qPrintable(QString::number(seen.size())));
        if (secondHasGuide)
            QVERIFY(!seen.contains(true));
        // The provider's own guide is never "no guide".
        m_guide->setPlaylist(playlist(m_server.base()));
        QVERIFY(!m_guide->guideless());
    }

    // Connecting imports a guide older than twelve hours (or none), and only then.
    void automaticImport()
    {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        m_server.on(QStringLiteral("/xmltv.php"), FakeServer::Reply::json(xmltv(now)));
        m_guide->connected();
        QTest::qWait(200);
        QCOMPARE(m_server.requestsTo(QStringLiteral("/xmltv.php")).size(), 0); // not asked to

        m_guide->setAutomaticImport(true);
        m_guide->connected();
        QTRY_COMPARE(m_server.requestsTo(QStringLiteral("/xmltv.php")).size(), 1);
        QTRY_VERIFY(m_guide->hasLastImport() && !m_guide->importing());

        // A fresh guide, read back by a guide made anew (as at the next start): nothing to do.
        auto again = makeGuide(m_server.base(), m_channels);
        again->setAutomaticImport(true);
        again->connected();
        QTRY_VERIFY(again->hasLastImport());
        QTest::qWait(200);
        QCOMPARE(m_server.requestsTo(QStringLiteral("/xmltv.php")).size(), 1);
    }

    // The GUI thread keeps turning while a big guide is read and stored, and does little of
    // the work itself (processor time is what counts: a busy machine delays any thread).
    void theEventLoopKeepsRunning()
    {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        m_server.on(QStringLiteral("/xmltv.php"), FakeServer::Reply::json(xmltv(now, 24 * 60, 1500)));
        const auto threadCpuMs = [] {
            timespec t{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
            return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
        };
        const auto processCpuMs = [] {
            rusage usage{};
            getrusage(RUSAGE_SELF, &usage);
            return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
                   + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
        };
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 longest = 0;
        QTimer ticker;
        ticker.setInterval(5);
        connect(&ticker, &QTimer::timeout, this, [&] {
            const qint64 at = clock.elapsed();
            longest = std::max(longest, at - last);
            last = at;
        });
        const double guiBefore = threadCpuMs();
        const double allBefore = processCpuMs();
        m_guide->runImport();
        clock.start();
        ticker.start();
        QTRY_VERIFY_WITH_TIMEOUT(!m_guide->importing(), 60000);
        ticker.stop();
        const double gui = threadCpuMs() - guiBefore;
        const double others = processCpuMs() - allBefore - gui;
        QCOMPARE(m_guide->failure(), ProgramGuide::Failure::none);
        QVERIFY2(gui < others / 2, qPrintable(QStringLiteral("GUI thread %1 ms, the others %2 ms").arg(gui).arg(others)));
        QVERIFY2(longest < 2000, qPrintable(QStringLiteral("the GUI thread stood still for %1 ms").arg(longest)));
    }

    // The grid's rows fill in around what a view shows, and Enter asks for what suits the programme.
    void gridRowsAndEnter()
    {
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        m_server.on(QStringLiteral("/xmltv.php"), FakeServer::Reply::json(xmltv(now)));
        await(m_guide->import());
        GuideGridModel *grid = m_guide->grid();
        QAbstractItemModelTester tester(grid, QAbstractItemModelTester::FailureReportingMode::QtTest);

        QList<MediaItem> rows;
        for (int i = 0; i < 100; ++i)
            rows.append(live(QString::number(i), i % 2 ? QStringLiteral("b") : QStringLiteral("a"), true, 2));
        rows.append(live(QStringLiteral("none"), QString()));
        grid->setChannels(rows);
        QCOMPARE(grid->rowCount(), 101);
        QVERIFY(grid->focusRow() == 0);
        const double nowX = grid->nowX();
        QVERIFY(nowX > 0 && nowX < grid->contentWidth());
        QVERIFY(!grid->ticks().isEmpty());

        grid->setViewport(0, 9, nowX - 500, nowX + 500);
        QTRY_VERIFY(grid->isLoaded(0) && grid->isLoaded(9));
        QTRY_VERIFY(grid->isLoaded(19)); // a screen ahead, read after the rows in view
        QVERIFY(!grid->isLoaded(35));
        const auto cells = grid->data(grid->index(0), GuideGridModel::CellsRole).value<QList<GuideCell>>();
        QVERIFY(!cells.isEmpty());
        const auto live = std::find_if(cells.cbegin(), cells.cend(), [](const GuideCell &cell) { return cell.live; });
        QVERIFY(live != cells.cend());
        QCOMPARE(live->program.title, QStringLiteral("a 30"));
        QVERIFY(live->x <= nowX && nowX <= live->x + live->width);
        QCOMPARE(grid->focusedProgram().title, QStringLiteral("a 30"));

        // Scrolling far down lets the rows at the top go.
        grid->setViewport(60, 69, nowX - 500, nowX + 500);
        QTRY_VERIFY(grid->isLoaded(65));
        QVERIFY(!grid->isLoaded(0));

        QSignalSpy play(grid, &GuideGridModel::playRequested);
        QSignalSpy catchup(grid, &GuideGridModel::catchupRequested);
        QSignalSpy details(grid, &GuideGridModel::detailsRequested);
        grid->focusAt(61, nowX);
        grid->activate();
        QCOMPARE(play.size(), 1);
        QCOMPARE(play.at(0).at(0).value<MediaItem>().id, QStringLiteral("61"));
        grid->moveFocus(GuideGridModel::Key::Left);
        QCOMPARE(grid->focusedProgram().title, QStringLiteral("b 29"));
        grid->activate();
        QCOMPARE(catchup.size(), 1);
        QCOMPARE(catchup.at(0).at(1).value<EpgProgram>().title, QStringLiteral("b 29"));
        grid->moveFocus(GuideGridModel::Key::Right);
        grid->moveFocus(GuideGridModel::Key::Right);
        QCOMPARE(grid->focusedProgram().title, QStringLiteral("b 31"));
        grid->activate();
        QTRY_COMPARE(details.size(), 1);
        QCOMPARE(details.at(0).at(1).value<GuideProgram>().desc, QStringLiteral("about b 31"));

        // A new guide reads every row again.
        m_server.on(QStringLiteral("/xmltv.php"), FakeServer::Reply::json(xmltv(now).replace("<title>b ", "<title>B ")));
        await(m_guide->import());
        QTRY_COMPARE(grid->focusedProgram().title, QStringLiteral("B 31"));
    }
};

QTEST_GUILESS_MAIN(TestProgramGuide)
#include "tst_programguide.moc"
