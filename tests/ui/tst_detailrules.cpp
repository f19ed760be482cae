// The detail screen's rules: its texts from a movie or a show and the movie's details, the
// release date in the local time zone, the rating stars and episode titles.
#include "detailrules.h"

#include <QtTest>

#include <ctime>

namespace {

// Fixed offsets written the POSIX way (the sign is west of Greenwich), so that no time zone
// database is needed.
void useTimeZone(const QByteArray &tz)
{
    qputenv("TZ", tz);
    tzset();
}

MediaItem itemOf(MediaItem::Kind kind, const QString &added = {})
{
    MediaItem item;
    item.id = QStringLiteral("7");
    item.kind = kind;
    item.setAdded(added);
    item.setReleaseDate(QStringLiteral("item date"));
    item.setDirector(QStringLiteral("item director"));
    item.setGenre(QStringLiteral("item genre"));
    item.setCast(QStringLiteral("item cast"));
    item.setPlot(QStringLiteral("item plot"));
    item.setTrailer(QStringLiteral("itemTrailer"));
    return item;
}

VodInfo fullInfo()
{
    VodInfo info;
    info.releaseDate = QStringLiteral("info date");
    info.director = QStringLiteral("info director");
    info.age = QStringLiteral("16");
    info.runtime = QStringLiteral("01:42:00");
    info.cast = QStringLiteral("info cast");
    info.plot = QStringLiteral("info plot");
    info.trailer = QStringLiteral("infoTrailer");
    return info;
}

// movie, releaseDate, director, age, length, genre, cast, plot, trailerId
QStringList fields(const DetailTexts &texts)
{
    return {texts.movie ? QStringLiteral("movie") : QStringLiteral("show"),
            texts.releaseDate, texts.director, texts.age, texts.length, texts.genre, texts.cast, texts.plot, texts.trailerId};
}

} // namespace

class TestDetailRules : public QObject
{
    Q_OBJECT

    QByteArray m_tz;

private Q_SLOTS:
    void initTestCase()
    {
        m_tz = qgetenv("TZ");
        useTimeZone("UTC0");
    }

    void cleanupTestCase()
    {
        if (m_tz.isNull())
            qunsetenv("TZ");
        else
            qputenv("TZ", m_tz);
        tzset();
    }

    void texts_data()
    {
        QTest::addColumn<MediaItem>("item");
        QTest::addColumn<VodInfo>("info");
        QTest::addColumn<QStringList>("expected");
        const auto movie = [](const QString &added) { return itemOf(MediaItem::Kind::movie, added); };
        const QStringList fromInfo{"movie", "info date", "info director", "16", "01:42:00", "", "info cast", "info plot", "infoTrailer"};
        auto dated = fromInfo;
        dated[1] = QStringLiteral("2023.11.14");

        QTest::newRow("movie added as a time") << movie("1700000000") << fullInfo() << dated;
        QTest::newRow("movie added with a fraction") << movie("1700000000.75") << fullInfo() << dated;
        QTest::newRow("movie added zero") << movie("0") << fullInfo() << fromInfo;
        QTest::newRow("movie added empty") << movie("") << fullInfo() << fromInfo;
        QTest::newRow("movie added not a number") << movie("2023-11-14") << fullInfo() << fromInfo;
        QTest::newRow("movie added negative") << movie("-5") << fullInfo() << fromInfo;
        QTest::newRow("movie added past any date") << movie("1e300") << fullInfo() << fromInfo;
        QTest::newRow("movie whose details failed")
            << movie("1700000000") << VodInfo() << QStringList{"movie", "2023.11.14", "", "", "", "", "", "", ""};
        QTest::newRow("movie with neither date") << movie("") << VodInfo() << QStringList{"movie", "", "", "", "", "", "", "", ""};

        // A show carries its own facts; only age and length come from the details.
        QTest::newRow("show") << itemOf(MediaItem::Kind::series, "1700000000") << fullInfo()
                              << QStringList{"show", "item date", "item director", "16", "01:42:00", "item genre", "item cast", "item plot", "itemTrailer"};
        MediaItem bare;
        bare.kind = MediaItem::Kind::series;
        QTest::newRow("show without facts") << bare << VodInfo() << QStringList{"show", "", "", "", "", "", "", "", ""};

        VodInfo blanks;
        blanks.director = QStringLiteral("  ");
        blanks.cast = QStringLiteral("\n");
        blanks.plot = QStringLiteral("  A plot. ");
        QTest::newRow("blank texts are none") << movie("") << blanks << QStringList{"movie", "", "", "", "", "", "", "A plot.", ""};
    }

    void texts()
    {
        QFETCH(MediaItem, item);
        QFETCH(VodInfo, info);
        QTEST(fields(DetailRules::texts(item, info)), "expected");
    }

    // The date is the local calendar day of that moment.
    void releaseDateInTheLocalTimeZone_data()
    {
        QTest::addColumn<QByteArray>("tz");
        QTest::addColumn<QString>("added");
        QTest::addColumn<QString>("date");
        // 2023-11-14 23:00 UTC, and 2023-11-15 04:00 UTC.
        QTest::newRow("late evening in UTC") << QByteArray("UTC0") << "1700002800" << "2023.11.14";
        QTest::newRow("after midnight an hour east") << QByteArray("ABC-1") << "1700002800" << "2023.11.15";
        QTest::newRow("early morning in UTC") << QByteArray("UTC0") << "1700020800" << "2023.11.15";
        QTest::newRow("still the evening before five hours west") << QByteArray("XYZ5") << "1700020800" << "2023.11.14";
        QTest::newRow("the first second") << QByteArray("UTC0") << "1" << "1970.01.01";
    }

    void releaseDateInTheLocalTimeZone()
    {
        QFETCH(QByteArray, tz);
        QFETCH(QString, added);
        useTimeZone(tz);
        QTEST(DetailRules::dateFromAdded(added), "date");
        QTEST(DetailRules::texts(itemOf(MediaItem::Kind::movie, added), fullInfo()).releaseDate, "date");
        useTimeZone("UTC0");
    }

    void stars_data()
    {
        QTest::addColumn<double>("rating");
        QTest::addColumn<QString>("stars"); // F full, H half, E empty
        QTest::addColumn<QString>("number");
        QTest::newRow("none") << 0.0 << "EEEEE" << "";
        QTest::newRow("a fifth of a star") << 0.2 << "EEEEE" << "0.2";
        QTest::newRow("a quarter") << 0.25 << "HEEEE" << "0.2";
        QTest::newRow("just under a quarter") << 0.24 << "EEEEE" << "0.2";
        QTest::newRow("three and a half") << 3.5 << "FFFHE" << "3.5";
        QTest::newRow("three point two five") << 3.25 << "FFFHE" << "3.2"; // a tie goes to the even digit
        QTest::newRow("three point seven four") << 3.74 << "FFFHE" << "3.7";
        QTest::newRow("three point eight") << 3.8 << "FFFFE" << "3.8";
        QTest::newRow("four point two") << 4.2 << "FFFFE" << "4.2";
        QTest::newRow("four point seven five") << 4.75 << "FFFFF" << "4.8";
        QTest::newRow("four point three") << 4.3 << "FFFFH" << "4.3";
        QTest::newRow("five") << 5.0 << "FFFFF" << "5.0";
        QTest::newRow("negative") << -1.0 << "EEEEE" << "";
        QTest::newRow("not a number") << qQNaN() << "EEEEE" << "";
        QTest::newRow("infinite") << qInf() << "FFFFF" << "";
    }

    void stars()
    {
        QFETCH(double, rating);
        QString shown;
        for (const QString &symbol : DetailRules::starSymbols(rating)) {
            if (symbol == QLatin1String("star.fill"))
                shown += QLatin1Char('F');
            else if (symbol == QLatin1String("star.leadinghalf.filled"))
                shown += QLatin1Char('H');
            else if (symbol == QLatin1String("star"))
                shown += QLatin1Char('E');
            else
                shown += QLatin1Char('?');
        }
        QTEST(shown, "stars");
        QTEST(DetailRules::ratingText(rating), "number");
    }

    void episodeTitle_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<qint64>("number");
        QTest::addColumn<QString>("shown");
        QTest::newRow("titled") << "Pilot" << qint64(1) << "Pilot";
        QTest::newRow("untitled") << "" << qint64(3) << "Episode 3";
        QTest::newRow("untitled without a number") << "" << qint64(0) << "Episode 0";
    }

    void episodeTitle()
    {
        QFETCH(QString, title);
        QFETCH(qint64, number);
        Episode episode;
        episode.title = title;
        episode.episodeNum = number;
        QTEST(DetailRules::episodeTitle(episode), "shown");
    }
};

QTEST_GUILESS_MAIN(TestDetailRules)
#include "tst_detailrules.moc"
