#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <optional>

class QAbstractSocket;
class QTcpSocket;

namespace Lab {

// Where the bytes of a body come from: asked for at most `max` further bytes; an empty answer
// ends the body.
using BodySource = std::function<QByteArray(qint64 max)>;

struct SendOptions
{
    // Hang up after this many bytes of body: bodies cut off in the middle, streams that break.
    std::optional<qint64> stopAfter;
    // Send no faster than this (live streams play at their own rate), after a first burst.
    qint64 bytesPerSecond = 0;
    qint64 burst = 0;
    // The body has no length: the connection closes when it ends.
    bool closeAtEnd = false;
};

// Sends one answer on a socket as the socket drains, so that neither a 60 MB catalogue nor an
// endless live stream ever sits whole in the socket's buffer. Owned by the socket: when the
// client goes away, the transfer goes with it.
class Transfer : public QObject
{
    Q_OBJECT

public:
    static void start(QTcpSocket *socket, const QByteArray &head, BodySource body, SendOptions options = {});

private:
    Transfer(QTcpSocket *socket, BodySource body, SendOptions options);
    void pump();
    void finish(bool hangUp);

    // The base class: the socket says it disconnected while it is being destroyed, when it is no
    // longer a QTcpSocket.
    QPointer<QAbstractSocket> m_socket;
    BodySource m_body;
    SendOptions m_options;
    qint64 m_sent = 0;
    QElapsedTimer m_clock;
    QTimer m_pace;
    bool m_done = false;
};

// Pieces sent one after the other (pre-written answers), in chunks.
BodySource piecesSource(QList<QByteArray> pieces);
// Bytes [from, from + length) of a file.
BodySource fileSource(const QString &path, qint64 from, qint64 length);

} // namespace Lab
