#include "transfer.h"

#include <QFile>
#include <QTcpSocket>

#include <memory>

namespace Lab {

namespace {

// Big enough that a catalogue crosses loopback in a few hundred writes, small enough that an
// endless stream never piles up: the socket's own buffer stays below the high-water mark.
constexpr qint64 chunkSize = 1024 * 1024;
constexpr qint64 highWater = 4 * 1024 * 1024;
// A body made as it is sent (the gzipped guide) is made for at most this long per turn of the
// event loop: the lab shares its thread with the player in the tests and in the fault matrix.
constexpr qint64 sliceMs = 10;

} // namespace

void Transfer::start(QTcpSocket *socket, const QByteArray &head, BodySource body, SendOptions options)
{
    if (!socket)
        return;
    // A kernel buffer that holds several chunks keeps the socket writing while the loop is busy.
    socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, int(highWater));
    socket->write(head);
    auto *transfer = new Transfer(socket, std::move(body), options);
    transfer->pump();
}

Transfer::Transfer(QTcpSocket *socket, BodySource body, SendOptions options)
    : QObject(socket)
    , m_socket(socket)
    , m_body(std::move(body))
    , m_options(options)
{
    m_clock.start();
    connect(socket, &QTcpSocket::bytesWritten, this, &Transfer::pump);
    // A client that hung up (a picture past its size limit, a cancelled download) ends the
    // transfer at once: the rest of a large body is never made for nobody.
    connect(socket, &QTcpSocket::errorOccurred, this, [this] { finish(false); });
    connect(socket, &QTcpSocket::disconnected, this, [this] { finish(false); });
    if (m_options.bytesPerSecond > 0) {
        m_pace.setInterval(50);
        connect(&m_pace, &QTimer::timeout, this, &Transfer::pump);
        m_pace.start();
    }
}

void Transfer::pump()
{
    if (m_done || !m_socket)
        return;
    if (!m_body) {
        finish(false);
        return;
    }
    QElapsedTimer slice;
    slice.start();
    // A closed socket takes no bytes and never drains: writing on would make the body for nothing.
    while (m_socket->state() == QAbstractSocket::ConnectedState && m_socket->bytesToWrite() < highWater) {
        if (slice.elapsed() >= sliceMs) {
            QTimer::singleShot(0, this, &Transfer::pump);
            return;
        }
        qint64 allowed = chunkSize;
        if (m_options.bytesPerSecond > 0) {
            const qint64 due = m_options.burst + m_options.bytesPerSecond * m_clock.elapsed() / 1000;
            allowed = std::min(allowed, due - m_sent);
            if (allowed <= 0)
                return; // the pace timer comes back
        }
        if (m_options.stopAfter)
            allowed = std::min(allowed, *m_options.stopAfter - m_sent);
        if (allowed <= 0) {
            finish(true);
            return;
        }
        const QByteArray chunk = m_body(allowed);
        if (chunk.isEmpty()) {
            finish(m_options.closeAtEnd);
            return;
        }
        m_socket->write(chunk);
        m_sent += chunk.size();
    }
}

void Transfer::finish(bool hangUp)
{
    if (m_done)
        return;
    m_done = true;
    m_pace.stop();
    if (hangUp && m_socket)
        m_socket->disconnectFromHost(); // after what is buffered has gone out
    deleteLater();
}

BodySource piecesSource(QList<QByteArray> pieces)
{
    struct State
    {
        QList<QByteArray> pieces;
        qsizetype piece = 0;
        qint64 offset = 0;
    };
    auto state = std::make_shared<State>(State{std::move(pieces)});
    return [state](qint64 max) -> QByteArray {
        while (state->piece < state->pieces.size()) {
            const QByteArray &current = state->pieces[state->piece];
            if (state->offset >= current.size()) {
                ++state->piece;
                state->offset = 0;
                continue;
            }
            if (state->offset == 0 && current.size() <= max) {
                ++state->piece;
                return current; // shared, not copied
            }
            const qint64 length = std::min(max, current.size() - state->offset);
            // Borrowed, not copied: the socket copies it at once, and the pieces outlive that.
            QByteArray part = QByteArray::fromRawData(current.constData() + state->offset, qsizetype(length));
            state->offset += length;
            return part;
        }
        return {};
    };
}

BodySource fileSource(const QString &path, qint64 from, qint64 length)
{
    auto file = std::make_shared<QFile>(path);
    if (!file->open(QIODevice::ReadOnly) || !file->seek(from))
        return [](qint64) { return QByteArray(); };
    auto left = std::make_shared<qint64>(length);
    return [file, left](qint64 max) -> QByteArray {
        if (*left <= 0)
            return {};
        QByteArray chunk = file->read(std::min(max, *left));
        *left -= chunk.size();
        return chunk;
    };
}

} // namespace Lab
