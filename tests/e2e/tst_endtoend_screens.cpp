// The window against an in-process mavu-lab: the home screen follows a change of language with
// the lab's own words. With MAVU_SCREENSHOT set to a file name, the window is saved there once
// the posters have arrived (run it under a real display server to look at the result).
#include "../ui/screenfixture.h"
#include "labserver.h"

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

class TestEndToEndScreens : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        // A picture for people draws as the program does (rounded posters need a GPU renderer);
        // the test alone is fine with the software one.
        if (qEnvironmentVariableIsEmpty("MAVU_SCREENSHOT"))
            useSoftwareRendering();
    }

    void homeFollowsTheChosenLanguage_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QStringList>("titles"); // the four cards, then the two rows
        QTest::newRow("German") << "de" << QStringList{"Live-TV", "Filme", "Serien", "Einstellungen", "Neueste Filme", "Neueste Serien"};
        QTest::newRow("Croatian") << "hr" << QStringList{"TV uživo", "Filmovi", "Serije", "Postavke", "Najnoviji filmovi", "Najnovije serije"};
    }

    void homeFollowsTheChosenLanguage()
    {
        QFETCH(QString, code);
        QFETCH(QStringList, titles);
        Lab::Server lab(Lab::Options{.seed = 3});
        ScreenFixture f(ScreenFixture::Tolerate::missingPictures); // the lab leaves some posters out on purpose
        MavuAPI::testing::setDeviceServiceBase(lab.start());
        TestSupport::await(f.store->start());
        TestSupport::await(f.store->enterBrowse());
        f.loadWindow(QStringLiteral("ContentView.qml"));
        const auto shownTitles = [&] {
            QStringList shown;
            for (const char *card : {"menuLive", "menuMovies", "menuSeries", "menuSettings"})
                shown.append(f.find(QLatin1String(card))->findChild<QObject *>(QStringLiteral("menuTitle"))->property("text").toString());
            for (const char *row : {"latestMoviesRow", "latestSeriesRow"})
                shown.append(f.find(QLatin1String(row))->findChild<QObject *>(QStringLiteral("rowTitle"))->property("text").toString());
            return shown;
        };
        QCOMPARE(shownTitles(), QStringList({"Live TV", "Movies", "TV Shows", "Settings", "Latest Movies", "Latest TV Shows"}));

        f.store->setLanguageCode(code);
        QCOMPARE(shownTitles(), titles);
        QVERIFY(f.find(QStringLiteral("expiryText"))->property("text").toString().startsWith(f.store->t(QStringLiteral("your_playlist_expires"), {})));

        const QString shot = qEnvironmentVariable("MAVU_SCREENSHOT");
        if (!shot.isEmpty() && code == QLatin1String("de")) {
            QTRY_COMPARE_WITH_TIMEOUT(f.find(QStringLiteral("themePicture"))->property("status").toInt(), 1, 10000);
            QTRY_VERIFY_WITH_TIMEOUT(ScreenFixture::findAll(f.root, QStringLiteral("posterImage")).size() >= 10, 10000);
            for (QQuickItem *poster : ScreenFixture::findAll(f.root, QStringLiteral("posterImage")))
                QTRY_VERIFY_WITH_TIMEOUT(poster->property("status").toInt() != 2, 10000); // not Loading
            QTest::qWait(500);
            QVERIFY(f.ownWindow->grabWindow().save(shot));
        }
    }
};

QTEST_MAIN(TestEndToEndScreens)
#include "tst_endtoend_screens.moc"
