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

#include <limits>

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

    // Buffer layouts: rows padded to 32 bytes, row counts to 32, sizes beyond 32 bits refused.
    void pictureLayout_data()
    {
        QTest::addColumn<uint>("width");
        QTest::addColumn<uint>("height");
        QTest::addColumn<qulonglong>("pitch"); // 0: refused
        QTest::addColumn<qulonglong>("lines");
        QTest::addColumn<qulonglong>("bytes");
        QTest::newRow("1 x 1") << 1u << 1u << 32ull << 32ull << 1024ull;
        QTest::newRow("odd sizes") << 321u << 181u << 1312ull << 192ull << 251904ull;
        QTest::newRow("1080p as decoded") << 1920u << 1090u << 7680ull << 1120ull << 8601600ull;
        QTest::newRow("the largest") << 8192u << 8192u << 32768ull << 8192ull << 268435456ull;
        QTest::newRow("no width") << 0u << 720u << 0ull << 0ull << 0ull;
        QTest::newRow("no height") << 1280u << 0u << 0ull << 0ull << 0ull;
        QTest::newRow("one too wide") << 8193u << 1u << 0ull << 0ull << 0ull;
        QTest::newRow("one too tall") << 1u << 8193u << 0ull << 0ull << 0ull;
        QTest::newRow("a row of 2^32 bytes") << (1u << 30) << 1u << 0ull << 0ull << 0ull;
        QTest::newRow("2^32 pixels") << 65536u << 65536u << 0ull << 0ull << 0ull;
        QTest::newRow("the largest number") << std::numeric_limits<uint>::max() << std::numeric_limits<uint>::max() << 0ull << 0ull << 0ull;
    }

    void pictureLayout()
    {
        QFETCH(uint, width);
        QFETCH(uint, height);
        QFETCH(qulonglong, pitch);
        const std::optional<VideoFrameSink::Layout> layout = VideoFrameSink::layoutFor(width, height);
        QCOMPARE(layout.has_value(), pitch > 0);
        if (!layout)
            return;
        QCOMPARE(qulonglong(layout->pitch), pitch);
        QTEST(qulonglong(layout->lines), "lines");
        QTEST(qulonglong(layout->bytes), "bytes");
        QVERIFY(layout->pitch >= size_t(width) * 4 && layout->lines >= height);
    }

    // The format libVLC is told, and what a refusal reports.
    void formatNegotiation_data()
    {
        QTest::addColumn<uint>("width");
        QTest::addColumn<uint>("height");
        QTest::addColumn<uint>("pitch"); // 0: refused
        QTest::addColumn<uint>("lines");
        QTest::newRow("1080p as decoded") << 1920u << 1090u << 7680u << 1120u;
        QTest::newRow("the largest") << 8192u << 8192u << 32768u << 8192u;
        QTest::newRow("empty") << 0u << 0u << 0u << 0u;
        QTest::newRow("too wide") << 8200u << 64u << 0u << 0u;
        QTest::newRow("a row past 32 bits") << (1u << 30) << 4u << 0u << 0u;
    }

    void formatNegotiation()
    {
        QFETCH(uint, width);
        QFETCH(uint, height);
        QFETCH(uint, pitch);
        auto sink = std::make_shared<VideoFrameSink>();
        int failures = 0;
        sink->setFailureHandler([&failures] { ++failures; });
        char chroma[5] = {};
        unsigned w = width, h = height, pitches = 0, lines = 0;
        QCOMPARE(sink->configure(chroma, &w, &h, &pitches, &lines), pitch > 0 ? 1u : 0u);
        QCOMPARE(failures, pitch > 0 ? 0 : 1);
        QCOMPARE(sink->counters().refused, pitch > 0 ? quint64(0) : quint64(1));
        if (pitch == 0)
            return;
        QCOMPARE(QByteArray(chroma), QByteArray("RV32"));
        QCOMPARE(pitches, pitch);
        QTEST(lines, "lines");
        QCOMPARE(w, width);
        QCOMPARE(h, height);
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
