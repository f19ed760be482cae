#include "testmedia.h"

#include "player/vlcinstance.h"
#include "support/fakeserver.h"

#include <QDirIterator>
#include <QTcpServer>

namespace TestMedia {

QString folder()
{
    return QStringLiteral(MAVU_TEST_MEDIA);
}

void serve(FakeServer &server)
{
    const QString root = folder();
    QDirIterator files(root, {"*.ts", "*.mp4", "*.m3u8"}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        const QByteArray type = path.endsWith(".m3u8") ? "application/vnd.apple.mpegurl"
                                : path.endsWith(".mp4") ? "video/mp4"
                                                        : "video/mp2t";
        server.on(path.mid(root.size()), FakeServer::Reply::file(path, type));
    }
}

QUrl refusedUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QUrl(QStringLiteral("http://127.0.0.1:%1/live/1.ts").arg(port));
}

void useDummyAudio()
{
    VlcInstance::testing::addArgument("--aout=dummy");
}

} // namespace TestMedia
