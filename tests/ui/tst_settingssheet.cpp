// The settings sheet over a store against the fake server: what its rows say, its pages and
// what they change in the store, and the keyboard.
#include "screenfixture.h"

#include <QBuffer>
#include <QImage>
#include <QQmlExpression>
#include <QSignalSpy>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

QByteArray statusWith(const QString &base)
{
    return R"({"urls":[")" + base.toUtf8() + R"(/get.php?username=user&password=pass"],"languages":[]})";
}

QByteArray png()
{
    QImage image(64, 36, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QByteArray categories(const QStringList &names, int firstId = 1)
{
    QByteArray rows = "[";
    for (int i = 0; i < names.size(); ++i)
        rows += (i ? "," : "") + QByteArray(R"({"category_id":")") + QByteArray::number(firstId + i) + R"(","category_name":")"
                + names[i].toUtf8() + R"("})";
    return rows + "]";
}

QString textOf(QQuickItem *item, const char *part)
{
    QObject *child = item->findChild<QObject *>(QLatin1String(part));
    if (!child)
        qFatal("no %s", part);
    return child->property("text").toString();
}

QStringList names(const QList<Category> &list)
{
    QStringList out;
    for (const Category &category : list)
        out.append(category.name);
    return out;
}

} // namespace

class TestSettingsSheet : public QObject
{
    Q_OBJECT

    // A store started against the fake device service, with the given themes.
    static void startStore(ScreenFixture &f, const QByteArray &themes = "[]", bool attached = true)
    {
        f.server.on(f.devicePath("playlist_information"),
                    FakeServer::Reply::json(attached ? statusWith(f.server.base()) : QByteArray("{}")));
        f.server.on(f.devicePath("get_app_setting"), FakeServer::Reply::json(R"({"themes":)" + themes + "}"));
        TestSupport::await(f.store->start());
        QCOMPARE(f.store->hasPlaylist(), attached);
    }

    static QQuickItem *stack(ScreenFixture &f) { return f.find(QStringLiteral("settingsStack")); }

    static QQuickItem *page(ScreenFixture &f)
    {
        return stack(f)->property("currentItem").value<QQuickItem *>();
    }

    // The page shown once the stack has come to rest.
    static QString pageName(ScreenFixture &f)
    {
        QQuickItem *current = page(f);
        return current && !stack(f)->property("busy").toBool() ? current->objectName() : QString();
    }

    static QString detail(ScreenFixture &f, const char *row)
    {
        QQuickItem *label = f.find(QLatin1String(row))->findChild<QQuickItem *>(QStringLiteral("rowDetail"));
        return label->isVisible() ? label->property("text").toString() : QString();
    }

    // Clicks a row of the first page and waits for its page.
    static void open(ScreenFixture &f, const char *row, const char *expected)
    {
        QQuickItem *button = f.find(QLatin1String(row));
        button->forceActiveFocus(); // scrolls it into the page
        f.click(button);
        QTRY_COMPARE(pageName(f), QLatin1String(expected));
    }

    // The rows of a list page, in order, by the name they show.
    static QStringList shownChoices(QQuickItem *list, const char *part = "choiceName")
    {
        QStringList shown;
        const int count = list->property("count").toInt();
        for (int i = 0; i < count; ++i) {
            QQuickItem *row = nullptr;
            QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, row), Q_ARG(int, i));
            shown.append(row ? textOf(row, part) : QStringLiteral("?"));
        }
        return shown;
    }

    // The names of the rows that carry a visible check mark.
    static QStringList checkedChoices(QQuickItem *list)
    {
        QStringList checked;
        for (QQuickItem *mark : ScreenFixture::findAll(list, QStringLiteral("choiceCheck"))) {
            if (mark->isVisible())
                checked.append(textOf(mark->parentItem(), "choiceName"));
        }
        return checked;
    }

private Q_SLOTS:
    void initTestCase() { useSoftwareRendering(); }

    // The palette's opacity variants of the plain colours the pages use for lines and tracks.
    void paletteOpacityOfPlainColours_data()
    {
        QTest::addColumn<QString>("expression");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("white") << R"(MavuColor.alpha("white", 0.5))" << QColor::fromRgbF(1, 1, 1, 0.5);
        QTest::newRow("black") << R"(MavuColor.alpha("black", 0.4))" << QColor::fromRgbF(0, 0, 0, 0.4);
        QTest::newRow("a palette colour") << R"(MavuColor.alpha(MavuColor.amber, 0.7))" << QColor::fromRgbF(246 / 255.0, 196 / 255.0, 69 / 255.0, 0.7);
    }

    void paletteOpacityOfPlainColours()
    {
        QFETCH(QString, expression);
        QFETCH(QColor, colour);
        ScreenFixture f;
        QQuickItem *sheet = f.load(QStringLiteral("MavuSettingsSheet.qml"));
        QQmlExpression evaluate(f.engine.contextForObject(sheet), sheet, expression);
        const QColor shown = evaluate.evaluate().value<QColor>();
        QVERIFY2(!evaluate.hasError(), qPrintable(evaluate.error().toString()));
        QCOMPARE(shown.rgba(), colour.rgba());
    }

    void rowDetails_data()
    {
        QTest::addColumn<int>("themeIndex");
        QTest::addColumn<int>("liveSort");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("themeDetail");
        QTest::addColumn<QString>("sortDetail");
        QTest::addColumn<QString>("languageDetail");
        QTest::newRow("defaults") << 0 << 0 << "en" << "Dusk" << "Default" << "EN";
        QTest::newRow("second theme, A-Z") << 1 << 1 << "de" << "Dawn" << "A-Z" << "DE";
        QTest::newRow("theme out of range, sort above 2") << 2 << 5 << "hr" << "" << "Z-A" << "HR";
        QTest::newRow("negative theme") << -1 << 2 << "pt-br" << "" << "Z-A" << "PT-BR";
    }

    void rowDetails()
    {
        QFETCH(int, themeIndex);
        QFETCH(int, liveSort);
        QFETCH(QString, language);
        ScreenFixture f;
        startStore(f, R"([{"name":"Dusk","url":""},{"name":"Dawn","url":""}])");
        f.store->setThemeIndex(themeIndex);
        f.store->setLiveSortIndex(liveSort);
        f.store->setLanguageCode(language);
        f.load(QStringLiteral("MavuSettingsSheet.qml"));
        QTEST(detail(f, "rowTheme"), "themeDetail");
        QTEST(detail(f, "rowLiveSort"), "sortDetail");
        QTEST(detail(f, "rowLanguage"), "languageDetail");
        for (const char *row : {"rowParental", "rowHideLive", "rowHideMovies", "rowHideSeries", "rowAccount", "rowRefresh",
                                "rowChangePlaylist"})
            QCOMPARE(detail(f, row), QString());
        QCOMPARE(f.find(QStringLiteral("settingsTitle"))->property("text").toString(), QStringLiteral("Settings"));
    }

    void noThemesNoDetail()
    {
        ScreenFixture f;
        startStore(f);
        f.load(QStringLiteral("MavuSettingsSheet.qml"));
        QCOMPARE(detail(f, "rowTheme"), QString());
    }

    void accountPage_data()
    {
        QTest::addColumn<bool>("attached");
        QTest::newRow("with a playlist") << true;
        QTest::newRow("without") << false;
    }

    void accountPage()
    {
        QFETCH(bool, attached);
        ScreenFixture f;
        startStore(f, "[]", attached);
        f.load(QStringLiteral("MavuSettingsSheet.qml"));
        open(f, "rowAccount", "accountView");
        QCOMPARE(f.find(QStringLiteral("settingsTitle"))->property("text").toString(), QStringLiteral("Account"));
        QQuickItem *mac = f.find(QStringLiteral("accountMac"));
        QCOMPARE(mac->property("text").toString(), QString::fromLatin1(ScreenFixture::mac));
        QCOMPARE(mac->property("font").value<QFont>().family(), QStringLiteral("DejaVu Sans Mono"));
        QCOMPARE(f.find(QStringLiteral("accountPlaylist"))->property("text").toString(),
                 attached ? f.server.base() : QStringLiteral("—"));
    }

    // What was typed, in the order of the fields; the message shown, or "saved".
    void parentalPin_data()
    {
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("pin");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("default PIN changed") << "729304" << "2468" << "2468" << "saved";
        QTest::newRow("wrong current, short and mismatched") << "123456" << "12" << "34" << "Current PIN is wrong.";
        QTest::newRow("three characters") << "729304" << "123" << "456" << "PIN must be at least 4 digits.";
        QTest::newRow("empty confirmation") << "729304" << "2468" << "" << "PINs don't match.";
    }

    void parentalPin()
    {
        QFETCH(QString, current);
        QFETCH(QString, pin);
        QFETCH(QString, confirm);
        QFETCH(QString, outcome);
        ScreenFixture f;
        startStore(f);
        f.load(QStringLiteral("MavuSettingsSheet.qml"));
        open(f, "rowParental", "parentalControlView");
        QQuickItem *save = f.find(QStringLiteral("savePin"));
        QQuickItem *error = f.find(QStringLiteral("pinError"));
        QVERIFY(!save->isEnabled());
        QVERIFY(!error->isVisible());
        QCOMPARE(f.focusedName(), QStringLiteral("currentPin")); // typing starts at once

        const QList<std::pair<const char *, QString>> typing{{"currentPin", current}, {"newPin", pin}, {"confirmPin", confirm}};
        for (const auto &[field, text] : typing) {
            f.find(QLatin1String(field))->forceActiveFocus();
            f.type(text);
        }
        QVERIFY(save->isEnabled()); // the confirmation does not gate the button
        f.click(save);

        if (outcome == QLatin1String("saved")) {
            QTRY_COMPARE(pageName(f), QStringLiteral("settingsRootPage"));
            QCOMPARE(f.store->parentalPIN(), pin);
            // Stored at once: a store made now starts with it.
            QCOMPARE(AppStore(f.preferences).parentalPIN(), pin);
        } else {
            QVERIFY(error->isVisible());
            QCOMPARE(error->property("text").toString(), outcome);
            QCOMPARE(pageName(f), QStringLiteral("parentalControlView"));
            QCOMPARE(f.store->parentalPIN(), QStringLiteral("729304"));
            // What was typed stays.
            for (const auto &[field, text] : typing)
                QCOMPARE(f.find(QLatin1String(field))->property("text").toString(), text);
        }
    }

    // Return in a field saves; the message changes with each attempt; Backspace in a field
    // deletes a character instead of going back.
    void pinByKeyboard()
    {
        ScreenFixture f;
        startStore(f);
        f.load(QStringLiteral("MavuSettingsSheet.qml"));
        open(f, "rowParental", "parentalControlView");
        f.type(QStringLiteral("729304"));
        f.key(Qt::Key_Tab);
        f.type(QStringLiteral("13579"));
        f.key(Qt::Key_Return);
        QCOMPARE(f.find(QStringLiteral("pinError"))->property("text").toString(), QStringLiteral("PINs don't match."));
        f.key(Qt::Key_Tab);
        QCOMPARE(f.focusedName(), QStringLiteral("confirmPin"));
        f.type(QStringLiteral("135799"));
        f.key(Qt::Key_Backspace);
        QCOMPARE(pageName(f), QStringLiteral("parentalControlView"));
        QCOMPARE(f.find(QStringLiteral("confirmPin"))->property("text").toString(), QStringLiteral("13579"));
        f.key(Qt::Key_Return);
        QTRY_COMPARE(pageName(f), QStringLiteral("settingsRootPage"));
        QCOMPARE(f.store->parentalPIN(), QStringLiteral("13579"));
        QCOMPARE(f.focusedName(), QStringLiteral("rowParental"));

        // Opened again, the page starts empty.
        open(f, "rowParental", "parentalControlView");
        for (const char *field : {"currentPin", "newPin", "confirmPin"})
            QCOMPARE(f.find(QLatin1String(field))->property("text").toString(), QString());
        QVERIFY(!f.find(QStringLiteral("pinError"))->isVisible());
        QCOMPARE(f.focusedName(), QStringLiteral("currentPin"));
        QSignalSpy dismissed(f.root, SIGNAL(dismissed()));
        f.key(Qt::Key_Escape); // also from a field
        QCOMPARE(dismissed.size(), 1);
    }

    // Hiding takes effect on the open section at once, and on a section opened later; showing
    // brings the category back. The home rows are not cut by category.
    void hideAndShowCategories_data()
    {
        QTest::addColumn<bool>("sectionOpen");
        QTest::newRow("section open") << true;
        QTest::newRow("section opened afterwards") << false;
    }

    void hideAndShowCategories()
    {
        QFETCH(bool, sectionOpen);
        ScreenFixture f;
        startStore(f);
        f.server.onAction(QStringLiteral("get_vod_categories"), FakeServer::Reply::json(categories({"Action", "Drama", "Comedy"})));
        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(
            R"([{"stream_id":1,"name":"Heat","category_id":"1","added":"1"},{"stream_id":2,"name":"Tears","category_id":"2","added":"2"}])"));
        TestSupport::await(f.store->enterBrowse());
        QCOMPARE(f.store->latestMovies().size(), 2);
        if (sectionOpen)
            TestSupport::await(f.store->openSection(Section::movies));
        const QStringList all{"Favorites", "Recently Viewed", "Action", "Drama", "Comedy"};
        const auto column = [&] {
            if (!sectionOpen)
                TestSupport::await(f.store->openSection(Section::movies));
            const QStringList shown = names(f.store->categories());
            if (!sectionOpen)
                f.store->goHome();
            return shown;
        };
        QCOMPARE(column(), all);

        f.load(QStringLiteral("MavuSettingsSheet.qml"));
        open(f, "rowHideMovies", "hideCategoriesView");
        QCOMPARE(f.find(QStringLiteral("settingsTitle"))->property("text").toString(), QStringLiteral("Hide Categories"));
        QQuickItem *list = f.find(QStringLiteral("categoryList"));
        QTRY_VERIFY(list->isVisible());
        QCOMPARE(shownChoices(list, "categoryName"), QStringList({"Action", "Drama", "Comedy"}));

        QQuickItem *drama = ScreenFixture::findAll(list, QStringLiteral("category_2")).value(0);
        QVERIFY(drama && drama->property("checked").toBool());
        f.click(drama);
        QVERIFY(!drama->property("checked").toBool());
        QCOMPARE(f.store->hiddenCategoryIDs(Section::movies), QStringList{"2"});
        QTRY_COMPARE(column(), QStringList({"Favorites", "Recently Viewed", "Action", "Comedy"}));
        QCOMPARE(f.store->latestMovies().size(), 2); // the home rows are not cut by category

        // Space turns the focused switch: Comedy hidden as well, then Drama shown again.
        f.key(Qt::Key_Space);
        QVERIFY(drama->property("checked").toBool());
        f.key(Qt::Key_Down);
        f.key(Qt::Key_Space);
        QCOMPARE(f.focused()->objectName(), QStringLiteral("category_3"));
        QVERIFY(!f.focused()->property("checked").toBool());
        QCOMPARE(f.store->hiddenCategoryIDs(Section::movies), QStringList{"3"});
        QTRY_COMPARE(column(), QStringList({"Favorites", "Recently Viewed", "Action", "Drama"}));
        // Other sections are untouched.
        QVERIFY(f.store->hiddenCategoryIDs(Section::live).isEmpty());
        QVERIFY(f.store->hiddenCategoryIDs(Section::series).isEmpty());
    }

    // The page shows what is hidden already, when it arrives, and says so when there is nothing.
    void categoriesPageStates()
    {
        ScreenFixture f;
        startStore(f);
        f.store->setHidden({QStringLiteral("11")}, Section::live);
        FakeServer::Reply live = FakeServer::Reply::json(categories({"News", "Sports"}, 10));
        live.delay = std::chrono::milliseconds(300);
        f.server.onAction(QStringLiteral("get_live_categories"), live);
        f.server.onAction(QStringLiteral("get_series_categories"), FakeServer::Reply::json("[]"));
        f.load(QStringLiteral("MavuSettingsSheet.qml"));
        open(f, "rowHideLive", "hideCategoriesView");
        QVERIFY(f.find(QStringLiteral("categoriesSpinner"))->isVisible());
        QVERIFY(!f.find(QStringLiteral("noCategories"))->isVisible());
        QQuickItem *list = f.find(QStringLiteral("categoryList"));
        QTRY_VERIFY(list->isVisible());
        QVERIFY(!f.find(QStringLiteral("categoriesSpinner"))->isVisible());
        QVERIFY(ScreenFixture::findAll(list, QStringLiteral("category_10")).value(0)->property("checked").toBool());
        QVERIFY(!ScreenFixture::findAll(list, QStringLiteral("category_11")).value(0)->property("checked").toBool());

        QSignalSpy dismissed(f.root, SIGNAL(dismissed()));
        f.key(Qt::Key_Backspace);
        QTRY_COMPARE(pageName(f), QStringLiteral("settingsRootPage"));
        open(f, "rowHideSeries", "hideCategoriesView");
        QTRY_VERIFY(f.find(QStringLiteral("noCategories"))->isVisible());
        QCOMPARE(f.find(QStringLiteral("noCategories"))->property("text").toString(), QStringLiteral("No categories."));
        QVERIFY(!f.find(QStringLiteral("categoriesSpinner"))->isVisible());
        QVERIFY(dismissed.isEmpty());
    }

    // A slow answer for one section arriving while the page of another waits must not land there.
    void staleAnswerForAnotherSection()
    {
        ScreenFixture f;
        startStore(f);
        FakeServer::Reply live = FakeServer::Reply::json(categories({"News"}, 10));
        live.delay = std::chrono::milliseconds(1000);
        FakeServer::Reply movies = FakeServer::Reply::json(categories({"Action"}, 20));
        movies.delay = std::chrono::milliseconds(2000);
        f.server.onAction(QStringLiteral("get_live_categories"), live);
        f.server.onAction(QStringLiteral("get_vod_categories"), movies);
        QSignalSpy answers(f.store.get(), &AppStore::allCategoriesLoaded);
        f.load(QStringLiteral("MavuSettingsSheet.qml"));
        open(f, "rowHideLive", "hideCategoriesView");
        f.key(Qt::Key_Backspace);
        QTRY_COMPARE(pageName(f), QStringLiteral("settingsRootPage"));
        open(f, "rowHideMovies", "hideCategoriesView");
        QVERIFY(answers.isEmpty()); // the live page's answer is still to come
        QTRY_COMPARE_WITH_TIMEOUT(answers.size(), 1, 5000);
        QCOMPARE(answers.first().first().value<Mavu::Section>(), Section::live);
        QVERIFY(f.find(QStringLiteral("categoriesSpinner"))->isVisible());
        QQuickItem *list = f.find(QStringLiteral("categoryList"));
        QTRY_VERIFY_WITH_TIMEOUT(list->isVisible(), 5000);
        QCOMPARE(shownChoices(list, "categoryName"), QStringList{"Action"});
    }

    void livesortPage()
    {
        ScreenFixture f;
        startStore(f);
        f.store->setLiveSortIndex(5);
        f.load(QStringLiteral("MavuSettingsSheet.qml"));
        QCOMPARE(detail(f, "rowLiveSort"), QStringLiteral("Z-A"));
        open(f, "rowLiveSort", "liveSortView");
        QQuickItem *list = f.find(QStringLiteral("liveSortList"));
        QCOMPARE(shownChoices(list), QStringList({"Default", "A-Z", "Z-A"}));
        QCOMPARE(checkedChoices(list), QStringList()); // 5 is none of them
        f.click(ScreenFixture::findAll(list, QStringLiteral("liveSort1")).value(0));
        QCOMPARE(f.store->liveSortIndex(), 1);
        QCOMPARE(checkedChoices(list), QStringList{"A-Z"});
        QCOMPARE(pageName(f), QStringLiteral("liveSortView")); // the page stays
        f.click(f.find(QStringLiteral("settingsBack")));
        QTRY_COMPARE(pageName(f), QStringLiteral("settingsRootPage"));
        QCOMPARE(detail(f, "rowLiveSort"), QStringLiteral("A-Z"));
    }

    void languagePage()
    {
        ScreenFixture f;
        startStore(f);
        f.store->setLanguageCode(QStringLiteral("xx")); // set by someone else, not in the list
        f.load(QStringLiteral("MavuSettingsSheet.qml"));
        open(f, "rowLanguage", "languageView");
        QCOMPARE(f.find(QStringLiteral("settingsTitle"))->property("text").toString(), QStringLiteral("Language"));
        QQuickItem *list = f.find(QStringLiteral("languageList"));
        QCOMPARE(shownChoices(list), QStringList({"English", "Hrvatski", "Deutsch", "Français", "Español", "Italiano",
                                                  "Português", "Nederlands", "Türkçe", "العربية", "Русский"}));
        QCOMPARE(checkedChoices(list), QStringList());
        for (QQuickItem *ring : ScreenFixture::findAll(list, QStringLiteral("focusRing")))
            QVERIFY(!ring->isVisible()); // opened by a click: no ring
        f.click(ScreenFixture::findAll(list, QStringLiteral("language_de")).value(0));
        QCOMPARE(f.store->languageCode(), QStringLiteral("de"));
        QCOMPARE(checkedChoices(list), QStringList{"Deutsch"});
        f.key(Qt::Key_Left, Qt::AltModifier);
        QTRY_COMPARE(pageName(f), QStringLiteral("settingsRootPage"));
        QCOMPARE(detail(f, "rowLanguage"), QStringLiteral("DE"));
    }

    // Tiles in the store's order, the chosen one marked, a tile without picture shows the
    // wordmark, pictures spin until they arrive; choosing marks at once.
    void themePage()
    {
        ScreenFixture f;
        FakeServer::Reply picture;
        picture.contentType = "image/png";
        picture.body = png();
        picture.delay = std::chrono::milliseconds(400);
        f.server.on(QStringLiteral("/dusk.png"), picture);
        const QByteArray themes = QStringLiteral(R"([{"name":"Dusk","url":"%1/dusk.png"},{"name":"Plain","url":""}])")
                                      .arg(f.server.base()).toUtf8();
        startStore(f, themes);
        f.store->setThemeIndex(7);
        f.load(QStringLiteral("MavuSettingsSheet.qml"));
        open(f, "rowTheme", "themeView");
        QQuickItem *grid = f.find(QStringLiteral("themeGrid"));
        QVERIFY(grid->isVisible());
        QTRY_COMPARE(ScreenFixture::findAll(grid, QStringLiteral("themeName")).size(), 2);
        QCOMPARE(grid->property("columns").toInt(), 2);
        QQuickItem *dusk = ScreenFixture::findAll(grid, QStringLiteral("theme0")).value(0);
        QQuickItem *plain = ScreenFixture::findAll(grid, QStringLiteral("theme1")).value(0);
        QCOMPARE(textOf(dusk, "themeName"), QStringLiteral("Dusk"));
        QCOMPARE(textOf(plain, "themeName"), QStringLiteral("Plain"));
        const auto part = [](QQuickItem *tile, const char *name) {
            return ScreenFixture::shown(tile->findChild<QQuickItem *>(QLatin1String(name)));
        };
        const auto border = [](QQuickItem *tile) {
            return tile->findChild<QObject *>(QStringLiteral("themeBorder"))->property("border").value<QObject *>()->property("width").toReal();
        };

        QVERIFY(part(dusk, "themeSpinner") && !part(dusk, "themeWordmark"));
        QVERIFY(part(plain, "themeWordmark") && !part(plain, "themeSpinner"));
        QVERIFY(!part(dusk, "themeCheck") && !part(plain, "themeCheck")); // 7 is no tile
        QCOMPARE(border(dusk), 1.0);
        QTRY_COMPARE(dusk->findChild<QObject *>(QStringLiteral("themeImage"))->property("status").toInt(), 1); // Ready
        QVERIFY(!part(dusk, "themeSpinner"));

        f.click(plain);
        QCOMPARE(f.store->themeIndex(), 1);
        QVERIFY(part(plain, "themeCheck") && !part(dusk, "themeCheck"));
        QCOMPARE(border(plain), 3.0);
        QCOMPARE(border(dusk), 1.0);
        f.key(Qt::Key_Backspace);
        QTRY_COMPARE(pageName(f), QStringLiteral("settingsRootPage"));
        QCOMPARE(detail(f, "rowTheme"), QStringLiteral("Plain"));
    }

    void themesNotYetLoaded()
    {
        ScreenFixture f;
        f.load(QStringLiteral("MavuSettingsSheet.qml"));
        open(f, "rowTheme", "themeView");
        QVERIFY(f.find(QStringLiteral("themesLoading"))->isVisible());
        QVERIFY(!f.find(QStringLiteral("themeGrid"))->isVisible());
        startStore(f, R"([{"name":"Dusk","url":""}])");
        QVERIFY(!f.find(QStringLiteral("themesLoading"))->isVisible());
        QTRY_COMPARE(ScreenFixture::findAll(f.find(QStringLiteral("themeGrid")), QStringLiteral("themeName")).size(), 1);
    }

    // Chosen on the pages, kept by the next run.
    void choicesSurviveARestart()
    {
        ScreenFixture f;
        startStore(f, R"([{"name":"Dusk","url":""},{"name":"Dawn","url":""}])");
        f.load(QStringLiteral("MavuSettingsSheet.qml"));
        open(f, "rowTheme", "themeView");
        QTRY_VERIFY(!ScreenFixture::findAll(f.root, QStringLiteral("theme1")).isEmpty());
        f.click(ScreenFixture::findAll(f.root, QStringLiteral("theme1")).value(0));
        f.key(Qt::Key_Backspace);
        QTRY_COMPARE(pageName(f), QStringLiteral("settingsRootPage"));
        open(f, "rowLanguage", "languageView");
        f.click(ScreenFixture::findAll(f.root, QStringLiteral("language_hr")).value(0));

        AppStore next(f.preferences);
        TestSupport::await(next.start());
        QCOMPARE(next.themeIndex(), 1);
        QCOMPARE(next.languageCode(), QStringLiteral("hr"));
    }

    // The sheet goes at once; the refresh finishes afterwards and its results reach the store.
    void refreshClosesAtOnce()
    {
        ScreenFixture f;
        startStore(f);
        f.server.onAction(QStringLiteral("get_vod_streams"), FakeServer::Reply::json(R"([{"stream_id":1,"name":"Old","added":"1"}])"));
        TestSupport::await(f.store->enterBrowse());
        QCOMPARE(f.store->latestMovies().value(0).name, QStringLiteral("Old"));

        FakeServer::Reply fresh = FakeServer::Reply::json(R"([{"stream_id":2,"name":"New","added":"2"}])");
        fresh.delay = std::chrono::milliseconds(400);
        f.server.onAction(QStringLiteral("get_vod_streams"), fresh);
        f.load(QStringLiteral("MavuSettingsSheet.qml"));
        QSignalSpy dismissed(f.root, SIGNAL(dismissed()));
        f.click(f.find(QStringLiteral("rowRefresh")));
        QCOMPARE(dismissed.size(), 1);
        QVERIFY(f.store->loadingHome());
        QTRY_COMPARE(f.store->latestMovies().value(0).name, QStringLiteral("New"));
        QVERIFY(!f.store->loadingHome());
    }

    // The check screen comes with its way back, which the keyboard reaches at once.
    void changePlaylistGoesToTheCheckScreen()
    {
        ScreenFixture f;
        startStore(f);
        TestSupport::await(f.store->enterBrowse());
        f.loadWindow(QStringLiteral("ContentView.qml"));
        f.click(f.find(QStringLiteral("menuSettings")));
        QTRY_COMPARE(pageName(f), QStringLiteral("settingsRootPage"));
        QQuickItem *row = f.find(QStringLiteral("rowChangePlaylist"));
        row->forceActiveFocus(); // scrolled into the page
        f.click(row);
        QCOMPARE(f.store->phase(), AppStore::Phase::check);
        QVERIFY(f.store->checkCanGoBack());
        QVERIFY(f.store->hasPlaylist()); // nothing is dropped until another playlist connects
        QTRY_VERIFY(ScreenFixture::shown(f.find(QStringLiteral("backButton"))));
        f.key(Qt::Key_Escape);
        QCOMPARE(f.store->phase(), AppStore::Phase::home);
        QTRY_VERIFY(ScreenFixture::shown(f.find(QStringLiteral("menuSettings"))));
    }

    // Each opening starts on the first page with nothing typed, whatever was left open.
    void madeAnewEachTime()
    {
        ScreenFixture f;
        startStore(f);
        f.load(QStringLiteral("HomeView.qml"));
        QQuickItem *sheet = f.find(QStringLiteral("settingsSheet"));
        f.click(f.find(QStringLiteral("menuSettings")));
        QTRY_VERIFY(ScreenFixture::shown(sheet));
        open(f, "rowParental", "parentalControlView");
        f.type(QStringLiteral("1234"));
        f.click(f.find(QStringLiteral("settingsDone")));
        QVERIFY(!ScreenFixture::shown(sheet));

        f.click(f.find(QStringLiteral("menuSettings")));
        QTRY_COMPARE(pageName(f), QStringLiteral("settingsRootPage"));
        QCOMPARE(stack(f)->property("depth").toInt(), 1);
        QVERIFY(!f.find(QStringLiteral("settingsBack"))->isVisible());
        open(f, "rowParental", "parentalControlView");
        QCOMPARE(f.find(QStringLiteral("currentPin"))->property("text").toString(), QString());
    }

    // Opened from the keyboard: the first row has the focus and its ring; the arrows and Tab
    // go through the rows, Tab stays in the sheet, Return opens, Backspace comes back to the
    // same row, Escape closes from a page and the home card takes the focus again.
    void keyboard()
    {
        ScreenFixture f;
        startStore(f);
        f.load(QStringLiteral("HomeView.qml"));
        for (int i = 0; i < 4; ++i)
            f.key(Qt::Key_Tab);
        QCOMPARE(f.focusedName(), QStringLiteral("menuSettings"));
        f.key(Qt::Key_Return);
        QTRY_COMPARE(f.focusedName(), QStringLiteral("rowParental"));
        const auto ring = [&] { return f.focused()->findChild<QQuickItem *>(QStringLiteral("focusRing"))->isVisible(); };
        QVERIFY(ring());

        const QStringList rows{"rowParental", "rowHideLive", "rowHideMovies", "rowHideSeries", "rowAccount",
                               "rowTheme",    "rowRefresh",  "rowLiveSort",   "rowChangePlaylist", "rowLanguage"};
        for (int i = 1; i < rows.size(); ++i) {
            f.key(Qt::Key_Down);
            QCOMPARE(f.focusedName(), rows[i]);
            QVERIFY(ring());
        }
        f.key(Qt::Key_Down);
        QCOMPARE(f.focusedName(), QStringLiteral("rowLanguage"));
        // The last row has scrolled into the panel.
        QQuickItem *panel = f.find(QStringLiteral("settingsPanel"));
        const QRectF inPanel = f.focused()->mapRectToItem(panel, QRectF(0, 0, f.focused()->width(), f.focused()->height()));
        QVERIFY2(inPanel.bottom() <= panel->height(), qPrintable(QString::number(inPanel.bottom())));
        f.key(Qt::Key_Tab);
        QCOMPARE(f.focusedName(), QStringLiteral("settingsDone")); // Tab stays inside the sheet
        f.key(Qt::Key_Tab);
        QCOMPARE(f.focusedName(), QStringLiteral("rowParental"));
        f.key(Qt::Key_Backtab);
        f.key(Qt::Key_Backtab);
        QCOMPARE(f.focusedName(), QStringLiteral("rowLanguage"));
        f.key(Qt::Key_Up);
        QCOMPARE(f.focusedName(), QStringLiteral("rowChangePlaylist"));
        f.key(Qt::Key_Down);

        // Into the language list at the chosen language, down one, chosen with Return.
        f.key(Qt::Key_Return);
        QTRY_COMPARE(pageName(f), QStringLiteral("languageView"));
        QCOMPARE(f.focusedName(), QStringLiteral("language_en"));
        QVERIFY(ring());
        f.key(Qt::Key_Down);
        QCOMPARE(f.focusedName(), QStringLiteral("language_hr"));
        f.key(Qt::Key_Space);
        QCOMPARE(f.store->languageCode(), QStringLiteral("hr"));
        f.key(Qt::Key_Backspace);
        QTRY_COMPARE(pageName(f), QStringLiteral("settingsRootPage"));
        QCOMPARE(f.focusedName(), QStringLiteral("rowLanguage"));
        QTRY_VERIFY(ScreenFixture::shown(f.focused())); // the page has come back in full
        QVERIFY(ring());
        QCOMPARE(detail(f, "rowLanguage"), QStringLiteral("HR"));
        f.key(Qt::Key_Backspace); // nothing further back
        QCOMPARE(f.focusedName(), QStringLiteral("rowLanguage"));

        f.key(Qt::Key_Up);
        f.key(Qt::Key_Up);
        f.key(Qt::Key_Enter);
        QTRY_COMPARE(pageName(f), QStringLiteral("liveSortView"));
        f.key(Qt::Key_Escape);
        QVERIFY(!ScreenFixture::shown(f.find(QStringLiteral("settingsSheet"))));
        QCOMPARE(f.focusedName(), QStringLiteral("menuSettings"));
    }
};

QTEST_MAIN(TestSettingsSheet)
#include "tst_settingssheet.moc"
