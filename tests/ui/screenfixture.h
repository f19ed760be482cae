#pragma once

// One screen of the program in an offscreen window, over a store on private preferences that
// talks to a fake server playing both the provider and the device service. Any warning while
// the screen lives (a failed binding, a type error, a missing property) fails the test.

#include "api/mavuapi.h"
#include "desktop/mediasession.h"
#include "api/network.h"
#include "qmlregistration.h"
#include "store/appstore.h"
#include "store/preferences.h"
#include "support/fakeserver.h"
#include "support/testsupport.h"

#include <QQmlComponent>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtTest>
#include <QtQml/qqmlextensionplugin.h>

#include <memory>

// The player screen registers with the desktop's media session.
Q_IMPORT_QML_PLUGIN(Mavu_DesktopPlugin)

class ScreenFixture
{
public:
    static constexpr const char *mac = "AA:BB:CC:DD:EE:FF";

    // What a test may see go wrong without failing: nothing, also pictures that do not load
    // (a provider's missing posters, which the screens answer with their placeholder), or any
    // picture that fails in any way (a test of broken picture servers).
    enum class Tolerate { nothing, missingPictures, brokenPictures };

    explicit ScreenFixture(Tolerate tolerate = Tolerate::nothing)
    {
        // Until the end of the test function that made this fixture.
        // Qt's own note when a reply that already failed is aborted again is not a screen's fault.
        const QString pictures = tolerate == Tolerate::missingPictures ? QStringLiteral("(?!.*QQuickImage: Error transferring .* Not Found)")
                                 // Qt's HTTP parts may read a socket that a looping redirect
                                 // already closed; they say so and go on (seen once in many runs).
                                 : tolerate == Tolerate::brokenPictures ? QStringLiteral("(?!.*QQuickImage: )(?!QIODevice::read \\(QTcpSocket\\): device not open)")
                                                                        : QString();
        QTest::failOnWarning(QRegularExpression(QStringLiteral("^") + pictures
                                                + QStringLiteral("(?!QNetworkReplyImplPrivate::error: Internal problem)")));
        server.start();
        MavuAPI::testing::setDeviceServiceBase(server.base());
        preferences = std::make_shared<Preferences>(folder.file(QStringLiteral("mavu.ini")));
        preferences->setDeviceMac(QString::fromLatin1(mac));
        store = std::make_unique<AppStore>(preferences);
        AppStoreForeign::instance = store.get();
        session = std::make_unique<MediaSession>(*store);
        MediaSession::setQmlInstance(session.get());
        window.resize(1200, 760);
    }

    ~ScreenFixture()
    {
        if (ownWindow)
            delete ownWindow; // with its content
        else
            delete root;
        AppStoreForeign::instance = nullptr;
    }

    QString devicePath(const char *request) const
    {
        return QStringLiteral("/api/%1/%2/macos").arg(QLatin1String(request), QLatin1String(mac));
    }

    Playlist playlist() const { return Playlist{server.base(), QStringLiteral("user"), QStringLiteral("pass")}; }

    // Starts the store against the fake device service, which attaches the fake provider.
    void startAttached()
    {
        server.on(devicePath("playlist_information"),
                  FakeServer::Reply::json(R"({"urls":[")" + server.base().toUtf8() + R"(/get.php?username=user&password=pass"]})"));
        TestSupport::await(store->start());
    }

    // Loads a component of the Mavu module ("CheckView.qml") as the window's only content,
    // with the keyboard focus.
    QQuickItem *load(const QString &file, const QVariantMap &properties = {})
    {
        QObject *object = create(file, properties);
        root = qobject_cast<QQuickItem *>(object);
        root->setParentItem(window.contentItem());
        root->setSize(QSizeF(window.size()));
        root->setFocus(true);
        show(&window);
        return root;
    }

    // Loads a window of the Mavu module ("ContentView.qml") in place of the test window.
    QQuickWindow *loadWindow(const QString &file)
    {
        ownWindow = qobject_cast<QQuickWindow *>(create(file, {}));
        if (!ownWindow)
            qFatal("%s is not a window", qPrintable(file));
        root = ownWindow->contentItem();
        show(ownWindow);
        return ownWindow;
    }

    // The window the screen is in.
    QQuickWindow *shownWindow() { return ownWindow ? ownWindow : &window; }

    // The item with the keyboard focus, and its objectName ("" for none).
    QQuickItem *focused() { return shownWindow()->activeFocusItem(); }
    QString focusedName() { return focused() ? focused()->objectName() : QString(); }

    void key(Qt::Key key, Qt::KeyboardModifiers modifiers = {})
    {
        QTest::keyClick(shownWindow(), key, modifiers);
    }

    // Types Latin-1 text into whatever has the keyboard focus.
    void type(const QString &text)
    {
        for (const QChar c : text)
            QTest::keyClick(shownWindow(), c.toLatin1());
    }

    template<typename T = QQuickItem>
    T *find(const QString &name) const
    {
        const QObject *scope = ownWindow ? static_cast<QObject *>(ownWindow) : root;
        T *item = scope->findChild<T *>(name);
        if (!item)
            qFatal("no item named %s", qPrintable(name));
        return item;
    }

    // Every item of that name below `from` in the visual tree (list delegates included, which
    // are not QObject children of their view).
    static QList<QQuickItem *> findAll(QQuickItem *from, const QString &name)
    {
        QList<QQuickItem *> found;
        for (QQuickItem *child : from->childItems()) {
            if (child->objectName() == name)
                found.append(child);
            found += findAll(child, name);
        }
        return found;
    }

    // Visible on screen: the item and all its parents.
    static bool shown(const QQuickItem *item)
    {
        for (; item; item = item->parentItem()) {
            if (!item->isVisible() || item->opacity() == 0)
                return false;
        }
        return true;
    }

    void click(QQuickItem *item)
    {
        // Positioners and lists lay their children out when the window next polishes: let it.
        QTest::qWait(50);
        const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
        QTest::mouseClick(item->window(), Qt::LeftButton, {}, centre.toPoint());
    }

    TestSupport::TempFolder folder;
    FakeServer server;
    std::shared_ptr<Preferences> preferences;
    std::unique_ptr<AppStore> store;
    std::unique_ptr<MediaSession> session; // goes before the store it reads
    QQmlEngine engine;
    QQuickWindow window;
    QQuickWindow *ownWindow = nullptr;
    QQuickItem *root = nullptr;

private:
    QObject *create(const QString &file, const QVariantMap &properties)
    {
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Mavu/") + file));
        if (!component.isReady())
            qFatal("cannot load %s: %s", qPrintable(file), qPrintable(component.errorString()));
        QObject *object = component.createWithInitialProperties(properties);
        if (!object)
            qFatal("cannot load %s: %s", qPrintable(file), qPrintable(component.errorString()));
        return object;
    }

    static void show(QQuickWindow *shown)
    {
        shown->show();
        shown->requestActivate();
        if (!QTest::qWaitForWindowActive(shown))
            qFatal("the test window was not activated");
    }
};

// Qt Quick in tests draws with the software renderer: no GPU on the test machines.
inline void useSoftwareRendering()
{
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}
