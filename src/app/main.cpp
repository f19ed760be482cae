#include "desktop/desktopintegration.h"
#include "imagecache.h"
#include "qmlregistration.h"
#include "starttiming.h"
#include "store/appstore.h"
#include "store/preferences.h"
#include "windowplacement.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QQmlApplicationEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QUrl>
#include <QWindow>

#include <memory>

// Screen warnings (a poster that failed to load, say) are for developers: off unless enabled
// with QT_LOGGING_RULES="mavu.qml.debug=true".
Q_LOGGING_CATEGORY(lcQml, "mavu.qml", QtWarningMsg)

// The screens and the playback types are linked in statically.
Q_IMPORT_QML_PLUGIN(MavuPlugin)
Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)
Q_IMPORT_QML_PLUGIN(Mavu_DesktopPlugin)

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("mavu"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("MAVU"));
    // The desktop matches the window to the installed entry and icon by this name.
    QGuiApplication::setDesktopFileName(DesktopIntegration::applicationId());
    QGuiApplication::setWindowIcon(DesktopIntegration::applicationIcon());
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    // The one store of the run; every screen sees this instance.
    const auto preferences = std::make_shared<Preferences>();
    AppStore store(preferences);
    AppStoreForeign::instance = &store;
    // Media keys and the desktop's media controls; the screen kept awake while a stream plays.
    DesktopIntegration desktop(store);
    MediaSession::setQmlInstance(&desktop.session());
    // The full guide is brought up to date after connecting when it is older than twelve hours.
    store.guide()->setAutomaticImport(true);
    // The library opens from the catalogues kept by the last run.
    store.setCatalogueCacheFolder(CatalogueCache::defaultFolder());
    // Where movies and episodes were left, kept across runs.
    store.positions()->setPath(WatchPositions::defaultPath());

    ImageCacheFactory imageCache;
    QQmlApplicationEngine engine;
    engine.setNetworkAccessManagerFactory(&imageCache);
    engine.setOutputWarningsToStandardError(false);
    QStringList warnings;
    QObject::connect(&engine, &QQmlEngine::warnings, &app, [&warnings](const QList<QQmlError> &list) {
        for (const QQmlError &warning : list) {
            qCDebug(lcQml).noquote() << warning.toString();
            warnings.append(warning.toString());
        }
    });
    // A program whose screens do not load says why, then ends.
    QObject::connect(&engine, &QQmlApplicationEngine::objectCreationFailed, &app, [&warnings] {
        qCritical("MAVU could not load its screens:\n%s", qPrintable(warnings.join(QLatin1Char('\n'))));
        QCoreApplication::exit(1);
    }, Qt::QueuedConnection);
    // Qt 6.4 has no loadFromModule: the module's files live under this resource path.
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/Mavu/ContentView.qml")));
    if (!engine.rootObjects().isEmpty()) {
        auto *window = qobject_cast<QWindow *>(engine.rootObjects().constFirst());
        desktop.session().setWindow(window);
        StartTiming::watchHomeRows(qobject_cast<QQuickWindow *>(window), &store);
        // Where the user left it, clamped to the screens there are now.
        WindowPlacement::remember(window, preferences);
    }
    return app.exec();
}
