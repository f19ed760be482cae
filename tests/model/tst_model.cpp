#include "model/enums.h"
#include "model/playlist.h"
#include "model/records.h"

#include <QSet>
#include <QUrlQuery>
#include <QtTest>

class TestModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void apiAddressOrdersItemsAndReplacesAnyQuery()
    {
        const Playlist playlist{QStringLiteral("http://panel.test:8080/pre?old=1"), QStringLiteral("u"), QStringLiteral("p")};
        const auto url = playlist.playerApiURL(QStringLiteral("get_vod_info"), {{QStringLiteral("vod_id"), QStringLiteral("7")}});
        QVERIFY(url);
        // The text "?old=1/player_api.php" is the host's own query, and it is replaced.
        QCOMPARE(url->toString(QUrl::FullyEncoded),
                 QStringLiteral("http://panel.test:8080/pre?username=u&password=p&action=get_vod_info&vod_id=7"));
    }

    void apiAddress_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("expected"); // empty: no address
        QTest::newRow("plain") << "http://a.test:8080" << "http://a.test:8080/player_api.php?username=u&password=p&action=x";
        QTest::newRow("path prefix") << "https://a.test/panel" << "https://a.test/panel/player_api.php?username=u&password=p&action=x";
        QTest::newRow("trailing slash doubles") << "http://a.test/" << "http://a.test//player_api.php?username=u&password=p&action=x";
        QTest::newRow("blank in host") << "http://a b.test" << "";
    }

    void apiAddress()
    {
        QFETCH(QString, host);
        QFETCH(QString, expected);
        const auto url = Playlist{host, QStringLiteral("u"), QStringLiteral("p")}.playerApiURL(QStringLiteral("x"));
        if (expected.isEmpty()) {
            QVERIFY(!url);
        } else {
            QVERIFY(url);
            QCOMPARE(url->toString(QUrl::FullyEncoded), expected);
        }
    }

    void queryValuesTravelExactly_data()
    {
        QTest::addColumn<QString>("password");
        QTest::newRow("ampersand") << "a&b";
        QTest::newRow("equals") << "a=b";
        QTest::newRow("hash") << "a#b";
        QTest::newRow("percent") << "100%25";
        QTest::newRow("blank") << "a b";
        QTest::newRow("plus") << "a+b";
        QTest::newRow("non-ascii") << QStringLiteral("pässwört€");
        QTest::newRow("everything") << QStringLiteral("&=#%+ ?/ü");
    }

    void queryValuesTravelExactly()
    {
        QFETCH(QString, password);
        const auto url = Playlist{QStringLiteral("http://a.test"), QStringLiteral("u"), password}.loginURL();
        QVERIFY(url);
        const QString encoded = url->query(QUrl::FullyEncoded);
        QVERIFY2(!encoded.contains(QLatin1Char('+')) && !encoded.contains(QLatin1Char('#')), qPrintable(encoded));
        QCOMPARE(encoded.count(QLatin1Char('&')), 1); // exactly the two items
        QCOMPARE(QUrlQuery(*url).queryItemValue(QStringLiteral("password"), QUrl::FullyDecoded), password);
    }

    void loginAddressHasOnlyCredentials()
    {
        const auto url = Playlist{QStringLiteral("http://a.test"), QStringLiteral("me"), QStringLiteral("pw")}.loginURL();
        QVERIFY(url);
        QCOMPARE(url->toString(), QStringLiteral("http://a.test/player_api.php?username=me&password=pw"));
    }

    void m3uAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("present");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("pass");
        QTest::newRow("usual") << "http://p.test:80/get.php?username=u1&password=p1&type=m3u_plus" << true
                               << "http://p.test:80" << "u1" << "p1";
        QTest::newRow("password first") << "http://p.test/get.php?password=p2&username=u2" << true << "http://p.test" << "u2" << "p2";
        QTest::newRow("no password") << "http://p.test/get.php?username=u" << false << "" << "" << "";
        QTest::newRow("no get.php") << "http://p.test/x?username=u&password=p" << true << "http://p.test/x" << "u" << "p";
        QTest::newRow("longer item name") << "http://p.test/get.php?xusername=u&password=p" << true << "http://p.test" << "" << "p";
        QTest::newRow("percent-decoded, plus kept") << "http://p.test/get.php?username=a%26b&password=c+d%2B" << true
                                                    << "http://p.test" << "a&b" << "c+d+";
        QTest::newRow("last item wins") << "http://p.test/get.php?username=a&username=b&password=p" << true << "http://p.test" << "b" << "p";
        QTest::newRow("item without value") << "http://p.test/get.php?username&password=p&username=" << true << "http://p.test" << "" << "p";
        QTest::newRow("not an address") << "http://p .test/get.php?username=u&password=p" << false << "" << "" << "";
    }

    void m3uAddress()
    {
        QFETCH(QString, text);
        QFETCH(bool, present);
        const auto playlist = Playlist::fromM3uURL(text);
        QCOMPARE(playlist.has_value(), present);
        if (!present)
            return;
        QFETCH(QString, host);
        QFETCH(QString, user);
        QFETCH(QString, pass);
        QCOMPARE(playlist->host, host);
        QCOMPARE(playlist->username, user);
        QCOMPARE(playlist->password, pass);
    }

    void timeRange_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("expected");
        QTest::newRow("usual") << "2024-05-01 20:15:00" << "2024-05-01 21:00:00" << "20:15 ~ 21:00";
        QTest::newRow("exactly 15 kept whole") << "2024-05-01 20:1" << "2024-05-01 21:00:00" << "2024-05-01 20:1 ~ 21:00";
        QTest::newRow("16 characters") << "2024-05-01 20:15" << "" << "20:15 ~ ";
        QTest::newRow("empty start") << "" << "2024-05-01 21:00:00" << " ~ 21:00";
        // "é" written as e + combining accent is one character, so the cut moves by one code unit.
        QTest::newRow("combining mark") << QStringLiteral("2024-05-0e\u0301 20:15:00") << "x" << "20:15 ~ x";
        QTest::newRow("surrogate pair") << QStringLiteral("2024-05-0\U0001F600 20:15:00") << "x" << "20:15 ~ x";
    }

    void timeRange()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, expected);
        EpgProgram program;
        program.start = start;
        program.end = end;
        QCOMPARE(program.timeRange(), expected);
    }

    void identitiesEqualityAndHashing()
    {
        MediaItem a{.id = QStringLiteral("1"), .name = QStringLiteral("A"), .kind = MediaItem::Kind::movie};
        MediaItem b = a;
        QCOMPARE(a, b);
        QCOMPARE(qHash(a), qHash(b));
        b.rating5 = 4.5;
        QVERIFY(a != b); // same id, different rating: different values
        b = a;
        b.setSeriesId(QString());
        QVERIFY(a != b); // an empty series id is not no series id
        QSet<MediaItem> set{a, b};
        QCOMPARE(set.size(), 2);
        QVERIFY(a.archiveDays == 2 && a.num == 0 && !a.tvArchive && !a.seriesId());

        const Theme theme{QStringLiteral("Dusk"), QStringLiteral("http://x/y.jpg")};
        QCOMPARE(theme.id(), QStringLiteral("Duskhttp://x/y.jpg"));
        QCOMPARE((QSet<Season>{Season{3, QStringLiteral("S"), {}}, Season{3, QStringLiteral("S"), {}}}.size()), 1);
    }

    // The compact parts compare by what they hold, not by how: a rare text set empty makes no
    // difference, "added" given as text or as a number is the same, and a copy is a value.
    void compactFieldsCompareByValue_data()
    {
        QTest::addColumn<MediaItem>("a");
        QTest::addColumn<MediaItem>("b");
        QTest::addColumn<bool>("equal");

        const MediaItem plain{.id = QStringLiteral("1"), .name = QStringLiteral("A"), .kind = MediaItem::Kind::movie};
        MediaItem emptyPlot = plain;
        emptyPlot.setPlot(QString());
        MediaItem clearedPlot = plain;
        clearedPlot.setPlot(QStringLiteral("p"));
        clearedPlot.setPlot(QString());
        MediaItem plot = plain;
        plot.setPlot(QStringLiteral("p"));
        MediaItem cast = plain;
        cast.setCast(QStringLiteral("p"));
        MediaItem addedText = plain, addedNumber = plain, addedPadded = plain, addedOther = plain;
        addedText.setAdded(QStringLiteral("1700000000"));
        addedNumber.setAddedStamp(1700000000);
        addedPadded.setAdded(QStringLiteral("01700000000"));
        addedOther.setAdded(QStringLiteral("1700000001"));
        MediaItem addedZero = plain, addedEmpty = plain;
        addedZero.setAdded(QStringLiteral("0"));
        addedEmpty.setAdded(QString());
        MediaItem textThenNumber = addedPadded;
        textThenNumber.setAdded(QStringLiteral("1700000000"));
        MediaItem icon = plain, otherIcon = plain;
        icon.setIcon(QStringLiteral("http://i/é.png"));
        otherIcon.setIconUtf8("http://i/\xc3\xa9.png");

        QTest::newRow("rare text set empty") << plain << emptyPlot << true;
        QTest::newRow("rare text cleared") << plain << clearedPlot << true;
        QTest::newRow("rare text set") << plain << plot << false;
        QTest::newRow("rare texts differ") << plot << cast << false;
        QTest::newRow("added as text or number") << addedText << addedNumber << true;
        QTest::newRow("added with a leading zero") << addedText << addedPadded << false;
        QTest::newRow("added differs") << addedText << addedOther << false;
        QTest::newRow("added zero is not none") << addedZero << addedEmpty << false;
        QTest::newRow("added empty is none") << plain << addedEmpty << true;
        QTest::newRow("added text replaced by a number") << addedText << textThenNumber << true;
        QTest::newRow("icon as text or UTF-8") << icon << otherIcon << true;
        QTest::newRow("icon set") << plain << icon << false;
    }

    void compactFieldsCompareByValue()
    {
        QFETCH(MediaItem, a);
        QFETCH(MediaItem, b);
        QFETCH(bool, equal);
        QCOMPARE(a == b, equal);
        QCOMPARE(a.added() == b.added() && a.plot() == b.plot() && a.cast() == b.cast() && a.icon() == b.icon(), equal);
        if (equal)
            QCOMPARE(qHash(a), qHash(b));
        else
            QCOMPARE((QSet<MediaItem>{a, b}.size()), 2);
    }

    void copiesHoldTheirOwnRareTexts()
    {
        MediaItem show{.id = QStringLiteral("5"), .kind = MediaItem::Kind::series};
        show.setPlot(QStringLiteral("first"));
        show.setSeriesId(QStringLiteral("5"));
        MediaItem copy = show;
        copy.setPlot(QStringLiteral("second"));
        QCOMPARE(show.plot(), QStringLiteral("first"));
        QCOMPARE(copy.plot(), QStringLiteral("second"));
        QCOMPARE(copy.seriesId(), std::optional(QStringLiteral("5")));
        QVERIFY(show != copy);
    }

    void enumerationsByRawValue()
    {
        QCOMPARE(fromRawValue<Section>(QStringLiteral("TV Shows")), std::optional(Section::series));
        QCOMPARE(fromRawValue<Section>(QStringLiteral("tv shows")), std::nullopt);
        QCOMPARE(fromRawValue<VodSort>(QStringLiteral("Z-A")), std::optional(VodSort::za));
        QCOMPARE(allCases<Section>().size(), 3);
        QStringList titles;
        for (VodSort sort : allCases<VodSort>())
            titles.append(rawValue(sort));
        QCOMPARE(titles, (QStringList{QStringLiteral("Order by Added"), QStringLiteral("Order by Number"),
                                      QStringLiteral("Order by Rating"), QStringLiteral("A-Z"), QStringLiteral("Z-A")}));
    }

    void gadgetsAreReadableByProperty()
    {
        MediaItem item{.id = QStringLiteral("9"), .name = QStringLiteral("Nine")};
        item.setSeriesId(QStringLiteral("s9"));
        const QMetaObject &meta = MediaItem::staticMetaObject;
        QCOMPARE(meta.property(meta.indexOfProperty("name")).readOnGadget(&item).toString(), QStringLiteral("Nine"));
        QCOMPARE(meta.property(meta.indexOfProperty("seriesId")).readOnGadget(&item).toString(), QStringLiteral("s9"));
        item.setIcon(QStringLiteral("http://i/1.png"));
        item.setAdded(QStringLiteral("17"));
        QCOMPARE(meta.property(meta.indexOfProperty("icon")).readOnGadget(&item).toString(), QStringLiteral("http://i/1.png"));
        QCOMPARE(meta.property(meta.indexOfProperty("added")).readOnGadget(&item).toString(), QStringLiteral("17"));
    }
};

QTEST_GUILESS_MAIN(TestModel)
#include "tst_model.moc"
