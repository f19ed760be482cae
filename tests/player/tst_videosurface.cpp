#include "testmedia.h"

#include "player/controlledvideoview.h"
#include "player/playercontroller.h"
#include "player/videoframesink.h"
#include "player/vlcplayerview.h"
#include "support/fakeserver.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>
#include <QtTest>

Q_IMPORT_QML_PLUGIN(Mavu_CorePlugin)

namespace {

constexpr int timeoutMs = 30000;

bool isDark(QRgb pixel)
{
    return qMax(qRed(pixel), qMax(qGreen(pixel), qBlue(pixel))) < 24;
}

// Where the picture lies in a grab: the bounds of every pixel that is not black.
QRect pictureBounds(const QImage &grab)
{
    const QImage image = grab.convertToFormat(QImage::Format_RGB32);
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (isDark(line[x]))
                continue;
            left = qMin(left, x);
            right = qMax(right, x);
            top = qMin(top, y);
            bottom = qMax(bottom, y);
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

bool near(const QRect &actual, const QRectF &expected)
{
    const int slack = 3; // the edges are filtered
    return qAbs(actual.left() - expected.left()) <= slack && qAbs(actual.top() - expected.top()) <= slack
           && qAbs(actual.right() + 1 - expected.right()) <= slack
           && qAbs(actual.bottom() + 1 - expected.bottom()) <= slack;
}

} // namespace

// The surfaces draw libVLC's pictures into a real scene.
class TestVideoSurface : public QObject
{
    Q_OBJECT

    FakeServer *m_server = nullptr;

    QUrl address(const QString &path) const { return QUrl(m_server->base() + path); }

private Q_SLOTS:
    void initTestCase()
    {
        TestMedia::useDummyAudio();
        m_server = new FakeServer(this);
        m_server->start();
        TestMedia::serve(*m_server);
    }

    void fittedRect_data()
    {
        QTest::addColumn<QSizeF>("bounds");
        QTest::addColumn<double>("aspect");
        QTest::addColumn<QRectF>("rect");
        QTest::newRow("wide picture, square item") << QSizeF(400, 400) << 16.0 / 9 << QRectF(0, 87.5, 400, 225);
        QTest::newRow("narrow picture, wide item") << QSizeF(400, 200) << 1.0 << QRectF(100, 0, 200, 200);
        QTest::newRow("exact fit") << QSizeF(160, 90) << 16.0 / 9 << QRectF(0, 0, 160, 90);
        QTest::newRow("unknown aspect fills") << QSizeF(300, 100) << 0.0 << QRectF(0, 0, 300, 100);
        QTest::newRow("empty item") << QSizeF(0, 100) << 1.5 << QRectF(0, 0, 0, 100);
    }

    void fittedRect()
    {
        QFETCH(QSizeF, bounds);
        QFETCH(double, aspect);
        QTEST(VideoSurface::fittedRect(bounds, aspect), "rect");
    }

    void parseAspect_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("aspect");
        QTest::newRow("16:9") << "16:9" << 16.0 / 9;
        QTest::newRow("screen size") << "1440:900" << 1.6;
        QTest::newRow("decimal") << "2.35:1" << 2.35;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("a name") << "Default" << 0.0;
        QTest::newRow("zero height") << "4:0" << 0.0;
        QTest::newRow("negative") << "-4:3" << 0.0;
        QTest::newRow("three parts") << "1:2:3" << 0.0;
    }

    void parseAspect()
    {
        QFETCH(QString, text);
        QFETCH(double, aspect);
        QVERIFY(qAbs(VideoFrameSink::parseAspect(text) - aspect) < 1e-9);
    }

    void blackUntilThePictureShows()
    {
        QQuickWindow window;
        window.resize(320, 240);
        PlayerController controller;
        ControlledVideoView surface(window.contentItem());
        surface.setSize(QSizeF(320, 240));
        surface.setController(&controller);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(pictureBounds(window.grabWindow()).isNull());

        controller.play(address(QStringLiteral("/clip.ts")), false);
        QTRY_VERIFY_WITH_TIMEOUT(!pictureBounds(window.grabWindow()).isNull(), timeoutMs);
        QVERIFY(controller.player().videoFrames()->counters().taken > 0);

        controller.shutdown(); // a stopped player shows black again
        QTRY_VERIFY_WITH_TIMEOUT(pictureBounds(window.grabWindow()).isNull(), timeoutMs);
    }

    void pictureFitsTheItem_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("aspects"); // applied in order
        QTest::addColumn<QSizeF>("size");
        QTest::addColumn<QRectF>("picture");
        // clip.ts is 320 x 180, which libVLC pads to 320 x 194; anamorphic.ts is 240 x 180 with 4:3 pixels.
        QTest::newRow("16:9 in a square") << "/clip.ts" << QStringList() << QSizeF(400, 400) << QRectF(0, 87.5, 400, 225);
        QTest::newRow("4:3 pixels shown at 16:9") << "/anamorphic.ts" << QStringList() << QSizeF(400, 400)
                                                  << QRectF(0, 87.5, 400, 225);
        QTest::newRow("forced 4:3") << "/clip.ts" << QStringList{"4:3"} << QSizeF(400, 400) << QRectF(0, 50, 400, 300);
        QTest::newRow("forced 1:1 in a wide item") << "/clip.ts" << QStringList{"1:1"} << QSizeF(400, 200)
                                                   << QRectF(100, 0, 200, 200);
        QTest::newRow("Default after a forced ratio") << "/clip.ts" << QStringList{"4:3", "Default"} << QSizeF(400, 400)
                                                      << QRectF(0, 87.5, 400, 225);
    }

    void pictureFitsTheItem()
    {
        QFETCH(QString, path);
        QFETCH(QStringList, aspects);
        QFETCH(QSizeF, size);
        QFETCH(QRectF, picture);
        QQuickWindow window;
        window.resize(size.toSize());
        PlayerController controller;
        ControlledVideoView surface(window.contentItem());
        surface.setSize(size);
        surface.setController(&controller);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        for (const QString &aspect : aspects)
            controller.setAspect(aspect);
        controller.play(address(path), false);
        QRect bounds;
        const bool fits = QTest::qWaitFor([&] { return near(bounds = pictureBounds(window.grabWindow()), picture); },
                                          timeoutMs);
        QVERIFY2(fits, qPrintable(QStringLiteral("picture at %1,%2 %3x%4")
                                      .arg(bounds.x())
                                      .arg(bounds.y())
                                      .arg(bounds.width())
                                      .arg(bounds.height())));
        controller.shutdown();
    }

    void previewDrawsItsStream()
    {
        QQuickWindow window;
        window.resize(320, 180);
        VLCPlayerView preview(window.contentItem());
        preview.setSize(QSizeF(320, 180));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        preview.setUrl(address(QStringLiteral("/clip.mp4")));
        QTRY_VERIFY_WITH_TIMEOUT(near(pictureBounds(window.grabWindow()), QRectF(0, 0, 320, 180)), timeoutMs);
        // An MP4 tells its visible size up front: libVLC converts without scaling.
        QVERIFY(!preview.player().videoFrames()->counters().scaled);
    }

    void typesReachQml()
    {
        QQmlEngine engine;
        engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
        QQmlComponent component(&engine);
        component.setData("import QtQuick\nimport Mavu.Core\n"
                          "Item {\n"
                          "  property bool loading: true\n"
                          "  readonly property string formatted: controller.hms(3725)\n"
                          "  readonly property int audioCount: controller.audioTracks.length\n"
                          "  PlayerController { id: controller; objectName: \"controller\" }\n"
                          "  ControlledVideoView { objectName: \"surface\"; controller: controller }\n"
                          "  VLCPlayerView { objectName: \"preview\"; isBuffering: loading;\n"
                          "                  onIsBufferingChanged: loading = isBuffering }\n"
                          "}\n",
                          QUrl());
        std::unique_ptr<QObject> root(component.create());
        QVERIFY2(root, qPrintable(component.errorString()));
        QCOMPARE(root->property("formatted").toString(), QStringLiteral("1:02:05"));
        QCOMPARE(root->property("audioCount").toInt(), 0);
        auto *controller = root->findChild<PlayerController *>(QStringLiteral("controller"));
        auto *surface = root->findChild<ControlledVideoView *>(QStringLiteral("surface"));
        auto *preview = root->findChild<VLCPlayerView *>(QStringLiteral("preview"));
        QVERIFY(controller && surface && preview);
        QCOMPARE(surface->controller(), controller);
        QVERIFY(preview->isBuffering());
        preview->setIsBuffering(false); // as the preview reports it: the parent follows
        QCOMPARE(root->property("loading").toBool(), false);
    }
};

QTEST_MAIN(TestVideoSurface)
#include "tst_videosurface.moc"
