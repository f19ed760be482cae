// The lab's wire-level pieces: byte ranges and queries as a player sends them, fault texts,
// and the transport stream clip that live channels repeat without a seam.
#include "faults.h"
#include "httpwire.h"
#include "media.h"
#include "tsclip.h"

#include <QDir>
#include <QtTest>

#include <map>

using Lab::Fault;
using Lab::TsClip;

namespace {

constexpr qint64 wrap33 = qint64(1) << 33;

qint64 timestamp(const uchar *p)
{
    return (qint64(p[0] >> 1) & 7) << 30 | qint64(p[1]) << 22 | qint64(p[2] >> 1) << 15 | qint64(p[3]) << 7 | (p[4] >> 1);
}

// Later on a 33-bit clock that wraps: a step forward of less than half the clock.
bool after(qint64 later, qint64 earlier)
{
    const qint64 step = ((later - earlier) % wrap33 + wrap33) % wrap33;
    return step > 0 && step < wrap33 / 2;
}

// Walks a transport stream the way a demultiplexer does and names the first thing that would
// make a player see a break: a lost packet (continuity counter), time going back (PCR, or the
// decoding time of any audio or video stream), or a damaged timestamp.
QString firstBreak(const QByteArray &stream)
{
    std::map<int, int> counters;
    std::map<int, qint64> decodeTimes;
    std::map<int, qint64> clocks;
    const auto *data = reinterpret_cast<const uchar *>(stream.constData());
    for (qsizetype at = 0; at + 188 <= stream.size(); at += 188) {
        const uchar *p = data + at;
        const qsizetype packet = at / 188;
        if (p[0] != 0x47)
            return QStringLiteral("packet %1: no sync byte").arg(packet);
        const int pid = (p[1] & 0x1F) << 8 | p[2];
        const int control = (p[3] >> 4) & 3;
        if (control & 1) {
            const int counter = p[3] & 0xF;
            if (counters.count(pid) && counter != (counters[pid] + 1) % 16)
                return QStringLiteral("packet %1: PID %2 counter %3 after %4").arg(packet).arg(pid).arg(counter).arg(counters[pid]);
            counters[pid] = counter;
        }
        int payload = 4;
        if (control & 2) {
            if (p[4] >= 7 && (p[5] & 0x10)) {
                const qint64 pcr = qint64(p[6]) << 25 | qint64(p[7]) << 17 | qint64(p[8]) << 9 | qint64(p[9]) << 1 | (p[10] >> 7);
                if (clocks.count(pid) && !after(pcr, clocks[pid]))
                    return QStringLiteral("packet %1: PCR went back").arg(packet);
                clocks[pid] = pcr;
            }
            payload = 5 + p[4];
        }
        const uchar *pes = p + payload;
        if (!(p[1] & 0x40) || payload + 19 > 188 || pes[0] || pes[1] || pes[2] != 1 || pes[3] < 0xBC)
            continue;
        const int flags = pes[7] >> 6;
        if (!(flags & 2))
            continue;
        for (const int offset : {9, 14}) {
            if (offset == 14 && flags != 3)
                break;
            const uchar *t = pes + offset;
            if (!(t[0] & 1) || !(t[2] & 1) || !(t[4] & 1))
                return QStringLiteral("packet %1: timestamp marker bits lost").arg(packet);
        }
        const qint64 decode = timestamp(pes + (flags == 3 ? 14 : 9));
        if (decodeTimes.count(pid) && !after(decode, decodeTimes[pid]))
            return QStringLiteral("packet %1: PID %2 decoding time went back (%3 after %4)").arg(packet).arg(pid).arg(decode).arg(decodeTimes[pid]);
        decodeTimes[pid] = decode;
    }
    return {};
}

std::optional<TsClip> clip(int index)
{
    return TsClip::load(QDir(Lab::MediaLibrary::defaultDirectory()).filePath(QStringLiteral("live-%1.ts").arg(index)));
}

} // namespace

class TestLabWire : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void byteRange_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<int>("kind"); // HttpWire::Range::Kind
        QTest::addColumn<qint64>("from");
        QTest::addColumn<qint64>("to");
        QTest::addColumn<QByteArray>("contentRange");
        const int whole = int(HttpWire::Range::Kind::whole), partial = int(HttpWire::Range::Kind::partial),
                  unsatisfiable = int(HttpWire::Range::Kind::unsatisfiable);
        QTest::newRow("no header") << QByteArray() << qint64(1000) << whole << qint64(0) << qint64(999) << QByteArray();
        QTest::newRow("first hundred") << QByteArray("bytes=0-99") << qint64(1000) << partial << qint64(0) << qint64(99) << QByteArray("bytes 0-99/1000");
        QTest::newRow("open end (a player seeking)") << QByteArray("bytes=100-") << qint64(1000) << partial << qint64(100) << qint64(999) << QByteArray("bytes 100-999/1000");
        QTest::newRow("last 300") << QByteArray("bytes=-300") << qint64(1000) << partial << qint64(700) << qint64(999) << QByteArray("bytes 700-999/1000");
        QTest::newRow("last more than all") << QByteArray("bytes=-5000") << qint64(1000) << partial << qint64(0) << qint64(999) << QByteArray("bytes 0-999/1000");
        QTest::newRow("end beyond the size") << QByteArray("bytes=990-5000") << qint64(1000) << partial << qint64(990) << qint64(999) << QByteArray("bytes 990-999/1000");
        QTest::newRow("one byte") << QByteArray("bytes=999-999") << qint64(1000) << partial << qint64(999) << qint64(999) << QByteArray("bytes 999-999/1000");
        QTest::newRow("blanks inside") << QByteArray(" bytes=10 - 20 ") << qint64(1000) << partial << qint64(10) << qint64(20) << QByteArray("bytes 10-20/1000");
        QTest::newRow("start at the size") << QByteArray("bytes=1000-") << qint64(1000) << unsatisfiable << qint64(0) << qint64(0) << QByteArray("bytes */1000");
        QTest::newRow("last zero bytes") << QByteArray("bytes=-0") << qint64(1000) << unsatisfiable << qint64(0) << qint64(0) << QByteArray("bytes */1000");
        QTest::newRow("empty resource") << QByteArray("bytes=0-") << qint64(0) << unsatisfiable << qint64(0) << qint64(0) << QByteArray("bytes */0");
        QTest::newRow("backwards: ignored") << QByteArray("bytes=5-3") << qint64(1000) << whole << qint64(0) << qint64(999) << QByteArray();
        QTest::newRow("several: answered whole") << QByteArray("bytes=0-1,5-6") << qint64(1000) << whole << qint64(0) << qint64(999) << QByteArray();
        QTest::newRow("other unit") << QByteArray("items=0-5") << qint64(1000) << whole << qint64(0) << qint64(999) << QByteArray();
        QTest::newRow("not a number") << QByteArray("bytes=abc-") << qint64(1000) << whole << qint64(0) << qint64(999) << QByteArray();
        QTest::newRow("a number too long to be true") << QByteArray("bytes=99999999999999999999-") << qint64(1000) << whole << qint64(0) << qint64(999) << QByteArray();
    }

    void byteRange()
    {
        QFETCH(QByteArray, header);
        QFETCH(qint64, size);
        QFETCH(int, kind);
        QFETCH(qint64, from);
        QFETCH(qint64, to);
        QFETCH(QByteArray, contentRange);
        const HttpWire::Range range = HttpWire::range(header, size);
        QCOMPARE(int(range.kind), kind);
        if (range.kind != HttpWire::Range::Kind::unsatisfiable) {
            QCOMPARE(range.from, from);
            QCOMPARE(range.to, to);
            QCOMPARE(range.length(), to - from + 1);
        }
        if (!contentRange.isEmpty())
            QCOMPARE(range.contentRange(size), contentRange);
    }

    void query_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QStringList>("expected"); // name=value pairs, in order
        QTest::newRow("plain") << QByteArray("username=lab&action=get_live_streams") << QStringList{"username=lab", "action=get_live_streams"};
        QTest::newRow("plus is a blank, %2B a plus") << QByteArray("a=x+y&b=%2B%26%3D") << QStringList{"a=x y", "b=+&="};
        QTest::newRow("UTF-8") << QByteArray("n=%C5%A0ib%C3%A9") << QStringList{QString::fromUtf8("n=Šibé")};
        QTest::newRow("no value, empty item kept") << QByteArray("flag&&x=") << QStringList{"flag=", "=", "x="};
        QTest::newRow("nothing") << QByteArray() << QStringList();
    }

    void query()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QStringList, expected);
        QStringList got;
        for (const auto &[name, value] : HttpWire::parseQuery(raw))
            got.append(name + u'=' + value);
        QCOMPARE(got, expected);
    }

    void requestTarget_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<QStringList>("segments");
        QTest::newRow("stream") << QByteArray("/live/u/p/1.ts") << QStringList{"live", "u", "p", "1.ts"};
        QTest::newRow("empty password") << QByteArray("/live/u//1.ts") << QStringList{"live", "u", "", "1.ts"};
        QTest::newRow("encoded slashes stay inside")
            << QByteArray("/images/logos%2F..%2F..%2Fsecret") << QStringList{"images", "logos/../../secret"};
        QTest::newRow("encoded dots are one segment") << QByteArray("/images/%2E%2E/secret") << QStringList{"images", "..", "secret"};
        QTest::newRow("UTF-8") << QByteArray("/movie/%C5%A0/%E2%82%AC.mp4") << QStringList{QString::fromUtf8("movie"), QString::fromUtf8("Š"), QString::fromUtf8("€.mp4")};
        QTest::newRow("an encoded percent stays a percent") << QByteArray("/a%25zz/%254") << QStringList{"a%zz", "%4"};
        QTest::newRow("root") << QByteArray("/") << QStringList{""};
        QTest::newRow("nothing") << QByteArray() << QStringList();
        QTest::newRow("no leading slash") << QByteArray("lab/reset") << QStringList{"lab", "reset"};
    }

    void requestTarget()
    {
        QFETCH(QByteArray, path);
        QFETCH(QStringList, segments);
        const HttpWire::Target target = HttpWire::target(path, "a=1&b");
        QCOMPARE(target.segments, segments);
        QCOMPARE(target.path, u'/' + segments.join(u'/'));
        QCOMPARE(target.query.size(), 2);
    }

    void faultText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("described"); // empty: refused
        QTest::newRow("delay default") << "delay" << "delay:3000";
        QTest::newRow("delay given") << "delay:250" << "delay:250";
        QTest::newRow("status") << "status:503" << "status:503";
        QTest::newRow("status out of range") << "status:42" << "";
        QTest::newRow("break") << "break:5" << "break:5";
        QTest::newRow("flaky") << "flaky:4" << "flaky:4";
        QTest::newRow("flaky by default") << "flaky" << "flaky:3";
        QTest::newRow("stall takes nothing") << "stall:3" << "";
        QTest::newRow("negative") << "delay:-1" << "";
        QTest::newRow("unknown kind") << "explode" << "";
        QTest::newRow("cut") << "cut" << "cut";
        QTest::newRow("not JSON") << "notjson" << "notjson";
        QTest::newRow("not found") << "notfound" << "notfound";
    }

    void faultText()
    {
        QFETCH(QString, text);
        QFETCH(QString, described);
        const auto fault = Fault::parse(text);
        QCOMPARE(fault.has_value(), !described.isEmpty());
        if (fault)
            QCOMPARE(fault->describe(), described);
    }

    void flakyBreaksEveryOtherRequest()
    {
        Lab::FaultTable table;
        table.set("live", *Fault::parse("flaky:2"));
        const QStringList live{"live", "streams", "*"};
        QStringList seen;
        for (int i = 0; i < 5; ++i) {
            const auto fault = table.take(live);
            seen.append(fault ? fault->describe() : QStringLiteral("none"));
        }
        QCOMPARE(seen, QStringList({"break:2", "none", "break:2", "none", "break:2"}));
        QCOMPARE(table.all().value(0).second.describe(), QStringLiteral("flaky:2")); // listed as set
    }

    void faultTablePrefersTheParticularRouteAndCountsDown()
    {
        Lab::FaultTable table;
        table.set("player_api", *Fault::parse("notjson"));
        Fault once = *Fault::parse("status:503");
        once.remaining = 2;
        table.set("get_live_streams", once);
        const QStringList live{"get_live_streams", "player_api", "*"};
        const QStringList vod{"get_vod_streams", "player_api", "*"};
        QCOMPARE(table.take(live)->status, 503);
        QCOMPARE(table.take(vod)->kind, Fault::Kind::notJson);
        QCOMPARE(table.take(live)->status, 503);
        QCOMPARE(table.take(live)->kind, Fault::Kind::notJson); // used up: the general one shows through
        QVERIFY(!table.take({"live", "streams", "*"}));
    }

    void clipRepeatsWithoutSeams_data()
    {
        QTest::addColumn<int>("index");
        for (int i = 0; i < Lab::MediaLibrary::liveClips; ++i)
            QTest::addRow("clip %d", i) << i;
    }

    void clipRepeatsWithoutSeams()
    {
        QFETCH(int, index);
        const auto loaded = clip(index);
        QVERIFY2(loaded, "the build makes the clips (target mavu_lab_media)");
        QCOMPARE(loaded->periodTicks(), qint64(Lab::MediaLibrary::liveSeconds) * TsClip::clockRate);
        QByteArray stream;
        for (qint64 round = 0; round < 4; ++round)
            stream += loaded->repetition(round);
        const QString problem = firstBreak(stream);
        QVERIFY2(problem.isEmpty(), qPrintable(problem));

        // Long after the 33-bit clock has wrapped (26.5 hours), the seams still hold.
        const qint64 late = wrap33 / loaded->periodTicks() + 2;
        const QString lateProblem = firstBreak(loaded->repetition(late - 1) + loaded->repetition(late));
        QVERIFY2(lateProblem.isEmpty(), qPrintable(lateProblem));
    }

    void clipSlicesMatchTheWholeRepetition_data()
    {
        QTest::addColumn<qint64>("round");
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<qint64>("length");
        QTest::newRow("first round, unaligned") << qint64(0) << qint64(100) << qint64(1000);
        QTest::newRow("one packet") << qint64(3) << qint64(188 * 7) << qint64(188);
        QTest::newRow("inside one packet") << qint64(2) << qint64(190) << qint64(20);
        QTest::newRow("across packets, unaligned") << qint64(5) << qint64(1000) << qint64(40000);
        QTest::newRow("to the end") << qint64(9) << qint64(-50) << qint64(50);
        QTest::newRow("past the end is cut") << qint64(1) << qint64(-10) << qint64(500);
    }

    void clipSlicesMatchTheWholeRepetition()
    {
        QFETCH(qint64, round);
        QFETCH(qint64, offset);
        QFETCH(qint64, length);
        const auto loaded = clip(0);
        QVERIFY(loaded);
        if (offset < 0)
            offset += loaded->size();
        const QByteArray whole = loaded->repetition(round);
        QCOMPARE(loaded->bytes(round, offset, length), whole.mid(offset, length));
    }

    void notATransportStream()
    {
        QVERIFY(!TsClip::fromBytes(QByteArray(188 * 3, 'x')));
        QVERIFY(!TsClip::fromBytes(QByteArray(100, '\x47')));
        QVERIFY(!TsClip::fromBytes({}));
    }
};

QTEST_GUILESS_MAIN(TestLabWire)
#include "tst_labwire.moc"
