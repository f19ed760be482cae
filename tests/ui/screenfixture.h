#pragma once

// One screen of the program in an offscreen window, over a store on private preferences that
// talks to a fake server playing both the provider and the device service.

#include "api/mavuapi.h"
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

#include <memory>

class ScreenFixture
{
public:
    static constexpr const char *mac = "AA:BB:CC:DD:EE:FF";

    ScreenFixture()
    {
        server.start();
        MavuAPI::testing::setDeviceServiceBase(server.base());
        preferences = std::make_shared<Preferences>(folder.file(QStringLiteral("mavu.ini")));
        preferences->setDeviceMac(QString::fromLatin1(mac));
        store = std::make_unique<AppStore>(preferences);
        AppStoreForeign::instance = store.get();
        window.resize(1200, 760);
    }

    ~ScreenFixture()
    {
        delete root;
        AppStoreForeign::instance = nullptr;
    }

    QString devicePath(const char *request) const
    {
        return QStringLiteral("/api/%1/%2/macos").arg(QLatin1String(request), QLatin1String(mac));
    }

    Playlist playlist() const { return Playlist{server.base(), QStringLiteral("user"), QStringLiteral("pass")}; }

    // Loads a component of the Mavu module ("CheckView.qml") as the window's only content.
    QQuickItem *load(const QString &file, const QVariantMap &properties = {})
    {
        QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/qt/qml/Mavu/") + file));
        QObject *object = component.createWithInitialProperties(properties);
        if (!object)
            qFatal("cannot load %s: %s", qPrintable(file), qPrintable(component.errorString()));
        root = qobject_cast<QQuickItem *>(object);
        root->setParentItem(window.contentItem());
        root->setSize(QSizeF(window.size()));
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            qFatal("the test window was not exposed");
        return root;
    }

    template<typename T = QQuickItem>
    T *find(const QString &name) const
    {
        T *item = root->findChild<T *>(name);
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
        QTest::mouseClick(&window, Qt::LeftButton, {}, centre.toPoint());
    }

    TestSupport::TempFolder folder;
    FakeServer server;
    std::shared_ptr<Preferences> preferences;
    std::unique_ptr<AppStore> store;
    QQmlEngine engine;
    QQuickWindow window;
    QQuickItem *root = nullptr;
};

// Qt Quick in tests draws with the software renderer: no GPU on the test machines.
inline void useSoftwareRendering()
{
    QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
}
