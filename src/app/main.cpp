#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QUrl>

int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("MAVU"));
    QGuiApplication::setOrganizationName(QStringLiteral("mavu"));
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    QQmlApplicationEngine engine;
    QObject::connect(&engine, &QQmlApplicationEngine::objectCreationFailed, &app,
                     [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    // Qt 6.4 has no loadFromModule: the module's files live under this resource path.
    engine.load(QUrl(QStringLiteral("qrc:/qt/qml/Mavu/ContentView.qml")));
    return app.exec();
}
