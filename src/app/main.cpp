#include "imagecache.h"
#include "qmlregistration.h"
#include "store/appstore.h"
#include "store/preferences.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QQuickStyle>
#include <QUrl>

#include <memory>

// The screens and the playback types are linked in statically.
Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("mavu"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("MAVU"));
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    // The one store of the run; every screen sees this instance.
    AppStore store(std::make_shared<Preferences>());
    AppStoreForeign::instance = &store;

    ImageCacheFactory imageCache;
    QQmlApplicationEngine engine;
    engine.setNetworkAccessManagerFactory(&imageCache);
    QObject::connect(&engine, &QQmlApplicationEngine::objectCreationFailed, &app,
                     [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    // Qt 6.4 has no loadFromModule: the module's files live under this resource path.
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/Mavu/ContentView.qml")));
    return app.exec();
}
