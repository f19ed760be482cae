// The window against an in-process mavu-lab: the home screen follows a change of language with
// the lab's own words and leads into every section; a show goes from the grid to its details, one
// of its episodes plays full-window and the details come back as they were. With MAVU_SCREENSHOT
// set to a file name, the home screen is saved there and the section, detail and settings screens
// beside it ("x.png": "x-movies.png", "x-movie.png", "x-settings-theme.png", …) once their pictures
// have arrived (run it under a real display server to look at the result).
#include "../ui/screenfixture.h"
#include "labserver.h"
#include "store/guidegridmodel.h"
#include "store/programguide.h"
#include "testmedia.h"

#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

// The detail screen the section screen shows while a title is open.
QQuickItem *detailScreen(ScreenFixture &f)
{
    const QList<QQuickItem *> hosted = ScreenFixture::findAll(f.find(QStringLiteral("sectionView")), QStringLiteral("detailScreen"));
    return hosted.isEmpty() ? nullptr : hosted.first();
}

QList<QQuickItem *> inOrder(QQuickItem *from, const QString &name)
{
    QList<QQuickItem *> found = ScreenFixture::findAll(from, name);
    std::sort(found.begin(), found.end(), [](QQuickItem *a, QQuickItem *b) {
        return a->property("index").toInt() < b->property("index").toInt();
    });
    return found;
}

// Beside the picture MAVU_SCREENSHOT names, with `suffix`; empty when no picture is wanted.
QString shotName(const QString &suffix)
{
    QString base = qEnvironmentVariable("MAVU_SCREENSHOT");
    if (base.isEmpty())
        return {};
    if (base.endsWith(QLatin1String(".png")))
        base.chop(4);
    return base + QLatin1Char('-') + suffix + QStringLiteral(".png");
}

// Waits until every picture under `from` has loaded or failed, then saves the window.
void saveWindow(ScreenFixture &f, QQuickItem *from, const QString &file)
{
    QTRY_COMPARE_WITH_TIMEOUT(f.find(QStringLiteral("themePicture"))->property("status").toInt(), 1, 10000);
    for (QQuickItem *picture : ScreenFixture::findAll(from, QStringLiteral("picture")))
        QTRY_VERIFY_WITH_TIMEOUT(picture->property("status").toInt() != 2, 10000); // not Loading
    QTest::qWait(500);
    QVERIFY(f.ownWindow->grabWindow().save(file));
}

// The settings sheet's page once its stack has come to rest; empty while it moves.
QString settingsPage(ScreenFixture &f)
{
    QQuickItem *stack = f.find(QStringLiteral("settingsStack"));
    auto *page = stack->property("currentItem").value<QQuickItem *>();
    return page && !stack->property("busy").toBool() ? page->objectName() : QString();
}

} // namespace

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
        TestMedia::useDummyAudio();
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

    // The sheet over the lab's home screen: the lab's four themes with the pictures it serves,
    // a language the lab has words for, and the lab's live categories to hide. Each page is
    // saved beside the home picture when one is asked for.
    void settingsPagesAgainstTheLab()
    {
        Lab::Server lab(Lab::Options{.seed = 3});
        ScreenFixture f(ScreenFixture::Tolerate::missingPictures);
        MavuAPI::testing::setDeviceServiceBase(lab.start());
        TestSupport::await(f.store->start());
        TestSupport::await(f.store->enterBrowse());
        f.loadWindow(QStringLiteral("ContentView.qml"));
        QTRY_COMPARE_WITH_TIMEOUT(f.find(QStringLiteral("themePicture"))->property("status").toInt(), 1, 10000);
        f.click(f.find(QStringLiteral("menuSettings")));
        QTRY_COMPARE(settingsPage(f), QStringLiteral("settingsRootPage"));
        const auto save = [&](const char *suffix) {
            if (const QString shot = shotName(QLatin1String(suffix)); !shot.isEmpty()) {
                QTest::qWait(500);
                QVERIFY(f.ownWindow->grabWindow().save(shot));
            }
        };
        const auto open = [&](const char *row, const char *page) {
            QQuickItem *button = f.find(QLatin1String(row));
            button->forceActiveFocus(Qt::TabFocusReason); // scrolls it into the page
            f.click(button);
            QTRY_COMPARE(settingsPage(f), QLatin1String(page));
        };
        const auto back = [&] {
            f.click(f.find(QStringLiteral("settingsBack")));
            QTRY_COMPARE(settingsPage(f), QStringLiteral("settingsRootPage"));
        };
        const auto detail = [&](const char *row) {
            return f.find(QLatin1String(row))->findChild<QQuickItem *>(QStringLiteral("rowDetail"))->property("text").toString();
        };
        save("settings");

        open("rowTheme", "themeView");
        QQuickItem *grid = f.find(QStringLiteral("themeGrid"));
        QTRY_COMPARE(ScreenFixture::findAll(grid, QStringLiteral("themeImage")).size(), 4);
        for (QQuickItem *image : ScreenFixture::findAll(grid, QStringLiteral("themeImage")))
            QTRY_COMPARE_WITH_TIMEOUT(image->property("status").toInt(), 1, 10000); // Ready: served and decoded
        QQuickItem *third = ScreenFixture::findAll(grid, QStringLiteral("theme2")).value(0);
        f.click(third);
        QCOMPARE(f.store->themeIndex(), 2);
        QVERIFY(ScreenFixture::shown(third->findChild<QQuickItem *>(QStringLiteral("themeCheck"))));
        // The background behind the sheet follows at once.
        QTRY_COMPARE(f.find(QStringLiteral("themePicture"))->property("source").toUrl(), QUrl(f.store->themes().at(2).url));
        save("settings-theme");
        back();
        QCOMPARE(detail("rowTheme"), QStringLiteral("Northern Forest"));

        open("rowLanguage", "languageView");
        f.click(ScreenFixture::findAll(f.find(QStringLiteral("languageList")), QStringLiteral("language_de")).value(0));
        save("settings-language");
        back();
        QCOMPARE(detail("rowLanguage"), QStringLiteral("DE"));

        open("rowHideLive", "hideCategoriesView");
        QQuickItem *list = f.find(QStringLiteral("categoryList"));
        QTRY_VERIFY_WITH_TIMEOUT(ScreenFixture::shown(list), 10000);
        QCOMPARE(list->property("count").toInt(), lab.catalogue().categories(Lab::Kind::live).size());
        save("settings-hide");
        back();

        open("rowParental", "parentalControlView");
        save("settings-parental");
        back();
        open("rowAccount", "accountView");
        QCOMPARE(f.find(QStringLiteral("accountPlaylist"))->property("text").toString(), f.store->playlist()->host);
        save("settings-account");
        back();
        open("rowLiveSort", "liveSortView");
        save("settings-livesort");

        // Closed from a page: the home screen speaks the chosen language with the lab's words.
        f.key(Qt::Key_Escape);
        QTRY_VERIFY(!ScreenFixture::shown(f.find(QStringLiteral("settingsSheet"))));
        QCOMPARE(f.find(QStringLiteral("menuSettings"))->findChild<QObject *>(QStringLiteral("menuTitle"))->property("text").toString(),
                 QStringLiteral("Einstellungen"));
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
        const auto picture = [&](const char *name) {
            const QString shot = shotName(QLatin1String(name));
            if (shot.isEmpty())
                return;
            QTest::qWait(400);
            QVERIFY(f.ownWindow->grabWindow().save(shot));
        };
        const auto rows = [&] { return ScreenFixture::findAll(f.root, QStringLiteral("categoryRow")); };
        const auto postersArrived = [&] {
            const auto pictures = ScreenFixture::findAll(f.root, QStringLiteral("posterImage"));
            return !pictures.isEmpty()
                && std::all_of(pictures.cbegin(), pictures.cend(), [](QQuickItem *p) { return p->property("status").toInt() != 2; });
        };

        for (const char *card : {"menuMovies", "menuSeries"}) {
            const bool movies = card == QLatin1String("menuMovies");
            f.click(f.find(QLatin1String(card)));
            QCOMPARE(f.store->phase(), AppStore::Phase::section);
            QTRY_VERIFY_WITH_TIMEOUT(ScreenFixture::findAll(f.root, QStringLiteral("itemCard")).size() > 4, 20000);
            QCOMPARE(f.find(QStringLiteral("sectionTitle"))->property("text").toString(), rawValue(f.store->section()));
            QVERIFY(rows().size() > 4);
            QTRY_VERIFY_WITH_TIMEOUT(postersArrived(), 10000);
            picture(movies ? "movies" : "tvshows");
            if (movies) {
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

    // A show from the grid of TV Shows: its details and seasons; an episode of the second
    // season plays full-window with the season's episodes in its strip; leaving the player
    // shows the same details at the same season.
    void showFromTheGridToAnEpisodeAndBack()
    {
        Lab::Server lab(Lab::Options{.seed = 3});
        ScreenFixture f(ScreenFixture::Tolerate::missingPictures);
        MavuAPI::testing::setDeviceServiceBase(lab.start());
        TestSupport::await(f.store->start());
        TestSupport::await(f.store->enterBrowse());
        f.loadWindow(QStringLiteral("ContentView.qml"));
        f.click(f.find(QStringLiteral("menuSeries")));
        QCOMPARE(f.store->section(), Section::series);
        QTRY_VERIFY_WITH_TIMEOUT(f.store->hasSelectedCategory() && !f.store->loadingCategories(), 10000);

        // The first show in the grid's categories with three seasons or more.
        std::optional<MediaItem> chosen;
        for (int i = 2; !chosen && i < f.store->categories().size(); ++i) {
            f.store->selectCategory(f.store->categories().at(i));
            QTRY_VERIFY_WITH_TIMEOUT(!f.store->loadingItems() && f.store->hasSelectedCategory(), 10000);
            for (const MediaItem &item : f.store->filteredItems()) {
                const Lab::Show *show = lab.catalogue().show(item.id.toLongLong());
                if (show && show->seasons >= 3) {
                    chosen = item;
                    break;
                }
            }
        }
        QVERIFY(chosen);
        const Lab::Show &labShow = *lab.catalogue().show(chosen->id.toLongLong());
        f.store->runOpenDetail(*chosen); // what its poster does
        QQuickItem *screen = detailScreen(f);
        QVERIFY(screen);
        QVERIFY(ScreenFixture::shown(screen));
        QCOMPARE(f.find(QStringLiteral("detailTitle"))->property("text").toString(), chosen->name);
        QTRY_VERIFY_WITH_TIMEOUT(!f.store->loadingDetail(), 10000);
        QTRY_COMPARE(inOrder(screen, QStringLiteral("seasonChip")).size(), labShow.seasons);

        f.click(inOrder(screen, QStringLiteral("seasonChip")).at(1));
        QCOMPARE(f.store->selectedSeason()->id, 2);
        QTRY_COMPARE(inOrder(screen, QStringLiteral("episodeCard")).size(), lab.catalogue().episodeCount(labShow, 2));
        QQuickItem *card = inOrder(screen, QStringLiteral("episodeCard")).first();
        const Episode episode = f.store->seasonEpisodes().first();
        f.click(card);
        QCOMPARE(f.store->nowPlayingEpisode()->id, episode.id);

        // Full-window, with the season's episodes in the strip, playing the lab's media.
        QQuickItem *layer = f.find(QStringLiteral("playerLayer"));
        QTRY_COMPARE(layer->opacity(), 1.0);
        auto *player = layer->property("item").value<QQuickItem *>();
        QVERIFY(player);
        QVERIFY(ScreenFixture::shown(player->findChild<QQuickItem *>(QStringLiteral("episodeStrip"))));
        QCOMPARE(ScreenFixture::findAll(player, QStringLiteral("episodeChip")).size(), f.store->seasonEpisodes().size());
        QTRY_VERIFY_WITH_TIMEOUT(!ScreenFixture::shown(player->findChild<QQuickItem *>(QStringLiteral("statusPanel"))), 30000);
        QVERIFY(card->property("playing").toBool());

        if (const QString shot = shotName(QStringLiteral("show-playing")); !shot.isEmpty()) {
            // The details as they stand under the player.
            layer->setVisible(false);
            saveWindow(f, screen, shot);
            layer->setVisible(true);
        }

        f.click(player->findChild<QQuickItem *>(QStringLiteral("backButton")));
        QTRY_VERIFY(!layer->property("active").toBool());
        QVERIFY(ScreenFixture::shown(screen));
        QCOMPARE(f.store->detailItem()->id, chosen->id);
        QCOMPARE(f.store->selectedSeason()->id, 2);
        QVERIFY(inOrder(screen, QStringLiteral("seasonChip")).at(1)->property("selected").toBool());
        QCOMPARE(inOrder(screen, QStringLiteral("episodeCard")).first()->property("text").toString(),
                 card->property("text").toString());
        QVERIFY(!card->property("playing").toBool());
        // The keyboard is back on the details: Escape leaves them for the grid.
        f.key(Qt::Key_Escape);
        QVERIFY(!f.store->hasDetailItem());
        QCOMPARE(f.store->phase(), AppStore::Phase::section);
    }

    // Live TV from home: the first channel of the first category plays in the preview without
    // a click. Then either Down on the preview zaps through the next channels, each playing
    // real frames, filled or not; or a programme of the channel's archive plays full-window
    // and leaving the player returns to the live channel in the preview.
    void liveAgainstTheLab_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("zaps");
        QTest::newRow("zap by key") << "zap" << 4;
        QTest::newRow("zap while filled") << "filled" << 3;
        QTest::newRow("catch-up and back") << "catchup" << 0;
    }

    void liveAgainstTheLab()
    {
        QFETCH(QString, way);
        QFETCH(int, zaps);
        Lab::Server lab(Lab::Options{.seed = 3});
        ScreenFixture f(ScreenFixture::Tolerate::missingPictures);
        MavuAPI::testing::setDeviceServiceBase(lab.start());
        TestSupport::await(f.store->start());
        TestSupport::await(f.store->enterBrowse());
        f.loadWindow(QStringLiteral("ContentView.qml"));
        if (!shotName(QString()).isEmpty())
            f.ownWindow->resize(1280, 800);
        f.click(f.find(QStringLiteral("menuLive")));
        QTRY_VERIFY_WITH_TIMEOUT(f.store->hasSelectedCategory() && !f.store->loadingItems(), 20000);
        const QList<MediaItem> channels = f.store->filteredItems();
        QVERIFY(channels.size() > zaps);
        const auto preview = [&]() -> QQuickItem * {
            const QList<QQuickItem *> players = ScreenFixture::findAll(f.root, QStringLiteral("previewPlayer"));
            return players.size() == 1 ? players.first() : nullptr;
        };
        const auto playsWithFrames = [&](const MediaItem &channel) {
            QTRY_COMPARE_WITH_TIMEOUT(f.store->hasNowPlaying() ? f.store->nowPlaying()->id : QString(), channel.id, 10000);
            QTRY_VERIFY_WITH_TIMEOUT(preview() && preview()->property("isPlaying").toBool(), 30000);
            QCOMPARE(preview()->property("url").toUrl(), f.store->nowPlayingURL().value());
            // Buffering reports may trail the first frame a little.
            QTRY_VERIFY_WITH_TIMEOUT(!ScreenFixture::shown(f.find(QStringLiteral("liveStatus"))), 10000);
        };
        playsWithFrames(channels.first());
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(f.find(QStringLiteral("liveTitle"))->property("text").toString(), channels.first().name);

        if (way == QLatin1String("catchup")) {
            // The first channel with an archive.
            const auto archived = std::find_if(channels.cbegin(), channels.cend(), [](const MediaItem &c) { return c.tvArchive; });
            QVERIFY(archived != channels.cend());
            f.store->runPlay(*archived); // what its row does
            playsWithFrames(*archived);
            f.click(f.find(QStringLiteral("catchupButton")));
            QTRY_VERIFY_WITH_TIMEOUT(!f.store->loadingCatchup() && !f.store->catchupDayPrograms().isEmpty(), 20000);
            // An entry in view (the list has scrolled to its end).
            QQuickItem *list = f.find(QStringLiteral("catchupPrograms"));
            const QRectF inView = list->mapRectToScene(QRectF(0, 0, list->width(), list->height()));
            QQuickItem *entry = nullptr;
            QTRY_VERIFY((entry = [&]() -> QQuickItem * {
                for (QQuickItem *candidate : ScreenFixture::findAll(list, QStringLiteral("catchupEntry"))) {
                    if (inView.contains(candidate->mapRectToScene(QRectF(0, 0, candidate->width(), candidate->height()))))
                        return candidate;
                }
                return nullptr;
            }()));
            // The chosen day's chip is in view, however many days come before it.
            QQuickItem *strip = f.find(QStringLiteral("dayStrip"));
            const QRectF stripView = strip->mapRectToScene(QRectF(0, 0, strip->width(), strip->height()));
            QTRY_VERIFY([&] {
                for (QQuickItem *chip : ScreenFixture::findAll(strip, QStringLiteral("dayChip"))) {
                    if (chip->property("selected").toBool())
                        return stripView.contains(chip->mapRectToScene(QRectF(0, 0, chip->width(), chip->height())));
                }
                return false;
            }());
            if (const QString shot = shotName(QStringLiteral("live-catchup-panel")); !shot.isEmpty())
                QVERIFY(f.ownWindow->grabWindow().save(shot));
            f.click(entry);
            QQuickItem *layer = f.find(QStringLiteral("playerLayer"));
            QTRY_COMPARE(layer->opacity(), 1.0);
            QVERIFY(ScreenFixture::shown(f.find(QStringLiteral("selectChannel"))));
            auto *player = layer->property("item").value<QQuickItem *>();
            QTRY_VERIFY_WITH_TIMEOUT(!ScreenFixture::shown(player->findChild<QQuickItem *>(QStringLiteral("statusPanel"))), 30000);
            f.click(player->findChild<QQuickItem *>(QStringLiteral("backButton")));
            QTRY_VERIFY(!layer->property("active").toBool());
            playsWithFrames(*archived);
            return;
        }

        QQuickItem *video = f.find(QStringLiteral("livePreview"));
        video->forceActiveFocus(Qt::TabFocusReason);
        if (way == QLatin1String("filled")) {
            f.key(Qt::Key_Return);
            QTRY_VERIFY(!ScreenFixture::shown(f.find(QStringLiteral("liveMiddleColumn"))));
        }
        for (int zap = 1; zap <= zaps; ++zap) {
            f.key(Qt::Key_Down);
            playsWithFrames(channels.at(zap));
            if (QTest::currentTestFailed())
                return;
            QCOMPARE(video->width() == f.root->width(), way == QLatin1String("filled"));
        }
        if (const QString shot = shotName(QStringLiteral("live-") + way); !shot.isEmpty())
            QVERIFY(f.ownWindow->grabWindow().save(shot));
    }

    // A show on the home screen's row opens its details; leaving them finds the TV Shows
    // section with its own categories behind them.
    void homeRowShowOpensItsDetails()
    {
        Lab::Server lab(Lab::Options{.seed = 3});
        ScreenFixture f(ScreenFixture::Tolerate::missingPictures);
        MavuAPI::testing::setDeviceServiceBase(lab.start());
        TestSupport::await(f.store->start());
        TestSupport::await(f.store->enterBrowse());
        f.loadWindow(QStringLiteral("ContentView.qml"));
        QQuickItem *row = f.find(QStringLiteral("latestSeriesRow"));
        QTRY_VERIFY_WITH_TIMEOUT(!ScreenFixture::findAll(row, QStringLiteral("posterName")).isEmpty(), 10000);
        QQuickItem *poster = ScreenFixture::findAll(row, QStringLiteral("posterName")).first()->parentItem()->parentItem();
        const MediaItem show = poster->property("item").value<MediaItem>();
        QCOMPARE(show.kind, MediaItem::Kind::series);

        poster->forceActiveFocus(Qt::TabFocusReason);
        f.key(Qt::Key_Return);
        QCOMPARE(f.store->phase(), AppStore::Phase::section);
        QCOMPARE(f.store->detailItem()->id, show.id);
        QQuickItem *screen = detailScreen(f);
        QVERIFY(screen);
        QCOMPARE(f.find(QStringLiteral("detailTitle"))->property("text").toString(), show.name);
        QTRY_VERIFY_WITH_TIMEOUT(!f.store->loadingDetail(), 10000);
        QVERIFY(ScreenFixture::shown(screen));

        f.key(Qt::Key_Escape);
        QVERIFY(!f.store->hasDetailItem());
        QCOMPARE(f.store->section(), Section::series);
        QTRY_COMPARE_WITH_TIMEOUT(f.store->categories().size(), lab.catalogue().categories(Lab::Kind::series).size() + 2, 10000);
        QTRY_VERIFY_WITH_TIMEOUT(f.store->hasSelectedCategory(), 10000);
    }

    // A movie's facts from the lab's details, and from its list entry alone when the details
    // fail.
    void movieDetailsFromTheLab_data()
    {
        QTest::addColumn<bool>("fails");
        QTest::newRow("details") << false;
        QTest::newRow("details fail") << true;
    }

    void movieDetailsFromTheLab()
    {
        QFETCH(bool, fails);
        Lab::Server lab(Lab::Options{.seed = 3});
        ScreenFixture f(ScreenFixture::Tolerate::missingPictures);
        MavuAPI::testing::setDeviceServiceBase(lab.start());
        if (fails)
            lab.setFault(QStringLiteral("get_vod_info"), Lab::Fault{.kind = Lab::Fault::Kind::status, .status = 500});
        TestSupport::await(f.store->start());
        TestSupport::await(f.store->enterBrowse());
        f.loadWindow(QStringLiteral("ContentView.qml"));
        QTRY_VERIFY_WITH_TIMEOUT(!f.store->latestMovies().isEmpty(), 10000);

        // The newest movie with a poster, a rating and a trailer.
        std::optional<MediaItem> chosen;
        for (const MediaItem &item : f.store->allVods()) {
            const Lab::Movie *movie = lab.catalogue().movie(item.id.toLongLong());
            if (movie && movie->trailer && movie->rating10 > 0 && movie->icon == Lab::Image::present && item.added().toLongLong() > 0
                && (!chosen || item.added().toLongLong() > chosen->added().toLongLong()))
                chosen = item;
        }
        QVERIFY(chosen);
        TestSupport::await(f.store->openDetail(*chosen));
        QQuickItem *screen = detailScreen(f);
        QVERIFY(screen);

        QStringList rows;
        for (const char *row : {"factReleaseDate", "ratingRow", "factDirector", "factAge", "factLength", "factGenre", "factCast"}) {
            if (ScreenFixture::shown(f.find(QLatin1String(row))))
                rows.append(QLatin1String(row));
        }
        // The lab leaves some facts out on purpose (no plot, no age): those rows are absent too.
        const VodInfo info = f.store->vodInfo().value_or(VodInfo());
        QStringList expected{"factReleaseDate", "ratingRow"};
        for (const auto &[row, text] : {std::pair{"factDirector", info.director}, {"factAge", info.age},
                                        {"factLength", info.runtime}, {"factCast", info.cast}}) {
            if (!text.isEmpty())
                expected.append(QLatin1String(row));
        }
        QCOMPARE(rows, expected);
        if (fails)
            QCOMPARE(expected.size(), 2);
        else
            QVERIFY(!info.director.isEmpty() && !info.cast.isEmpty());
        QCOMPARE(ScreenFixture::shown(f.find(QStringLiteral("plot"))), !info.plot.isEmpty());
        QCOMPARE(ScreenFixture::shown(f.find(QStringLiteral("trailerButton"))), !fails);
        QVERIFY(ScreenFixture::shown(f.find(QStringLiteral("playButton"))));

        if (const QString shot = shotName(fails ? QStringLiteral("movie-failed") : QStringLiteral("movie")); !shot.isEmpty())
            saveWindow(f, screen, shot);
    }

    // The lab's XMLTV guide imported, Live TV shown as the guide: the keyboard goes down to a
    // channel with an archive, back one programme, and Enter plays that programme from the
    // archive, at its own start.
    void guideGridPlaysAnArchivedProgramme()
    {
        Lab::Server lab(Lab::Options{.seed = 3});
        ScreenFixture f(ScreenFixture::Tolerate::missingPictures);
        MavuAPI::testing::setDeviceServiceBase(lab.start());
        f.store->guide()->setCacheFolder(f.folder.file(QStringLiteral("cache")));
        TestSupport::await(f.store->start());
        TestSupport::await(f.store->enterBrowse());
        TestSupport::await(f.store->guide()->import());
        QVERIFY(!f.store->guide()->hasFailure());
        f.store->setLiveGuide(true);
        f.loadWindow(QStringLiteral("ContentView.qml"));
        f.click(f.find(QStringLiteral("menuLive")));
        GuideGridModel *grid = f.store->guide()->grid();
        QTRY_VERIFY_WITH_TIMEOUT(grid->count() > 0, 20000);
        QTRY_VERIFY(ScreenFixture::shown(f.find(QStringLiteral("guideView"))));

        int row = -1;
        for (int i = 0; i < grid->count() && row < 0; ++i) {
            const MediaItem &channel = grid->channels().at(i);
            if (channel.tvArchive && !channel.epgChannelId.isEmpty())
                row = i;
        }
        QVERIFY2(row >= 0 && row < 40, "the lab's first category has a channel with an archive near the top");
        // The guide takes the keyboard once shown; from the categories, Right leads into it.
        // A Right that reached the grid itself would step a programme on, so it is sent only
        // while the categories hold the focus.
        QTest::qWait(100);
        if (f.focusedName() != QLatin1String("guideRows"))
            f.key(Qt::Key_Right);
        QTRY_COMPARE(f.focusedName(), QStringLiteral("guideRows"));
        QCOMPARE(grid->focusTime() / 1800, QDateTime::currentSecsSinceEpoch() / 1800); // still at now
        for (int i = 0; i < row; ++i)
            f.key(Qt::Key_Down);
        QCOMPARE(grid->focusRow(), row);
        QTRY_VERIFY(grid->hasFocusedProgram());
        f.key(Qt::Key_Left);
        QTRY_COMPARE(grid->enterText(), QStringLiteral("Play from the archive"));
        const GuideProgram past = grid->focusedProgram();
        const MediaItem channel = grid->channels().at(row);
        if (const QString shot = shotName(QStringLiteral("guide")); !shot.isEmpty()) {
            QTRY_VERIFY(!grid->focusedDescription().isEmpty());
            QTest::qWait(600);
            QVERIFY(f.ownWindow->grabWindow().save(shot));
        }

        f.key(Qt::Key_Return);
        QTRY_COMPARE(f.store->nowPlaying().value_or(MediaItem()).id, channel.id);
        const QUrl address = f.store->nowPlayingURL().value_or(QUrl());
        const QString start = AppStore::catchupStartText(past.toEpgProgram(channel.epgChannelId));
        QVERIFY2(address.path().contains(QStringLiteral("/timeshift/")) && address.path().contains(QLatin1Char('/') + start + QLatin1Char('/')),
                 qPrintable(address.toString()));
        QTRY_VERIFY(ScreenFixture::shown(f.find(QStringLiteral("guideView"))));
        if (const QString shot = shotName(QStringLiteral("guide-catchup")); !shot.isEmpty()) {
            QTest::qWait(1500);
            QVERIFY(f.ownWindow->grabWindow().save(shot));
        }
    }
};

QTEST_MAIN(TestEndToEndScreens)
#include "tst_endtoend_screens.moc"
