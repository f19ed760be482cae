// The window against an in-process mavu-lab: the home screen follows a change of language with
// the lab's own words, and leads into every section. With MAVU_SCREENSHOT set to a file name,
// the home screen is saved there once the posters have arrived; with MAVU_SCREENSHOT_DIR set to
// a folder, pictures of the sections are saved there (run it under a real display server to
// look at the result).
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
        if (qEnvironmentVariableIsEmpty("MAVU_SCREENSHOT") && qEnvironmentVariableIsEmpty("MAVU_SCREENSHOT_DIR"))
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

    // From home into each section and back: the column with the lab's categories, the grid with
    // its posters, a search, the orders, and the parental PIN over the adult live category.
    void everySectionFromHome()
    {
        Lab::Server lab(Lab::Options{.seed = 3});
        ScreenFixture f(ScreenFixture::Tolerate::missingPictures);
        MavuAPI::testing::setDeviceServiceBase(lab.start());
        TestSupport::await(f.store->start());
        TestSupport::await(f.store->enterBrowse());
        f.loadWindow(QStringLiteral("ContentView.qml"));
        const QString shots = qEnvironmentVariable("MAVU_SCREENSHOT_DIR");
        const auto picture = [&](const char *name) {
            if (shots.isEmpty())
                return;
            QTest::qWait(400);
            QVERIFY(f.ownWindow->grabWindow().save(shots + QStringLiteral("/browse11-") + QLatin1String(name) + QStringLiteral(".png")));
        };
        const auto rows = [&] { return ScreenFixture::findAll(f.root, QStringLiteral("categoryRow")); };
        const auto postersArrived = [&] {
            const auto pictures = ScreenFixture::findAll(f.root, QStringLiteral("posterImage"));
            return !pictures.isEmpty()
                && std::all_of(pictures.cbegin(), pictures.cend(), [](QQuickItem *p) { return p->property("status").toInt() != 2; });
        };

        for (const char *card : {"menuMovies", "menuSeries"}) {
            f.click(f.find(QLatin1String(card)));
            QCOMPARE(f.store->phase(), AppStore::Phase::section);
            QTRY_VERIFY_WITH_TIMEOUT(ScreenFixture::findAll(f.root, QStringLiteral("itemCard")).size() > 4, 20000);
            const QString section = rawValue(f.store->section());
            QCOMPARE(f.find(QStringLiteral("sectionTitle"))->property("text").toString(), section);
            QVERIFY(rows().size() > 4);
            QTRY_VERIFY_WITH_TIMEOUT(postersArrived(), 10000);
            picture(card == QLatin1String("menuMovies") ? "movies" : "tvshows");
            if (card == QLatin1String("menuMovies")) {
                f.click(f.find(QStringLiteral("sortButton")));
                QTRY_VERIFY(f.find<QObject>(QStringLiteral("sortMenu"))->property("opened").toBool());
                picture("sort-menu");
                f.key(Qt::Key_Escape);
                QTRY_VERIFY(!f.find<QObject>(QStringLiteral("sortMenu"))->property("visible").toBool());
                QCOMPARE(f.store->phase(), AppStore::Phase::section);

                f.click(f.find(QStringLiteral("searchInput")));
                f.type(QStringLiteral("qqqq"));
                QTRY_VERIFY(ScreenFixture::shown(f.find(QStringLiteral("gridEmpty"))));
                picture("search-no-match");
            }
            f.click(f.find(QStringLiteral("sectionBack")));
            QCOMPARE(f.store->phase(), AppStore::Phase::home);
        }

        f.click(f.find(QStringLiteral("menuLive")));
        QTRY_VERIFY_WITH_TIMEOUT(rows().size() > 4, 20000);
        // The lab lists its adult category last.
        QMetaObject::invokeMethod(f.find(QStringLiteral("categoryList")), "positionViewAtEnd");
        QTest::qWait(100);
        QQuickItem *adult = nullptr;
        for (QQuickItem *row : rows()) {
            if (AppStore::isAdult(row->property("category").value<Category>().name))
                adult = row;
        }
        QVERIFY(adult);
        const Category before = *f.store->selectedCategory();
        f.click(adult);
        QTRY_VERIFY(f.find(QStringLiteral("pinLayer"))->property("item").value<QObject *>());
        f.type(QStringLiteral("1111"));
        f.key(Qt::Key_Return);
        QTRY_VERIFY(ScreenFixture::shown(f.find(QStringLiteral("pinWrong"))));
        picture("pin-wrong");
        f.type(f.store->parentalPIN());
        f.key(Qt::Key_Return);
        QTRY_VERIFY(!f.find(QStringLiteral("pinLayer"))->property("item").value<QObject *>());
        QVERIFY(*f.store->selectedCategory() != before);
        QVERIFY(AppStore::isAdult(f.store->selectedCategory()->name));
        f.key(Qt::Key_Escape);
        QCOMPARE(f.store->phase(), AppStore::Phase::home);
    }
};

QTEST_MAIN(TestEndToEndScreens)
#include "tst_endtoend_screens.moc"
