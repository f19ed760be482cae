#include "tsclip.h"

#include <QFile>

#include <algorithm>

namespace Lab {

namespace {

constexpr qint64 wrap33 = qint64(1) << 33;

qint64 readTimestamp(const uchar *p)
{
    return (qint64(p[0] >> 1) & 0x7) << 30 | qint64(p[1]) << 22 | qint64(p[2] >> 1) << 15 | qint64(p[3]) << 7
           | qint64(p[4] >> 1);
}

void writeTimestamp(uchar *p, qint64 value)
{
    value &= wrap33 - 1;
    p[0] = uchar((p[0] & 0xF1) | ((value >> 29) & 0x0E));
    p[1] = uchar(value >> 22);
    p[2] = uchar(((value >> 14) & 0xFE) | 1);
    p[3] = uchar(value >> 7);
    p[4] = uchar(((value << 1) & 0xFE) | 1);
}

qint64 readPcrBase(const uchar *p)
{
    return qint64(p[0]) << 25 | qint64(p[1]) << 17 | qint64(p[2]) << 9 | qint64(p[3]) << 1 | qint64(p[4] >> 7);
}

void writePcrBase(uchar *p, qint64 base)
{
    base &= wrap33 - 1;
    p[0] = uchar(base >> 25);
    p[1] = uchar(base >> 17);
    p[2] = uchar(base >> 9);
    p[3] = uchar(base >> 1);
    p[4] = uchar((p[4] & 0x7F) | ((base & 1) << 7));
}

} // namespace

std::optional<TsClip> TsClip::fromBytes(QByteArray bytes)
{
    if (bytes.isEmpty() || bytes.size() % packetSize != 0)
        return std::nullopt;
    TsClip clip;
    clip.m_bytes = std::move(bytes);
    const auto *data = reinterpret_cast<const uchar *>(clip.m_bytes.constData());
    const qsizetype count = clip.m_bytes.size() / packetSize;
    clip.m_packets.resize(size_t(count));
    std::vector<qint64> videoTimes;

    for (qsizetype i = 0; i < count; ++i) {
        const uchar *p = data + i * packetSize;
        if (p[0] != 0x47)
            return std::nullopt;
        Packet &info = clip.m_packets[size_t(i)];
        info.pid = quint16((p[1] & 0x1F) << 8 | p[2]);
        const int control = (p[3] >> 4) & 0x3;
        info.payload = control & 0x1;
        if (info.payload)
            ++clip.m_payloadPackets[info.pid];
        int at = 4;
        if (control & 0x2) {
            const int length = p[4];
            if (length > 0 && (p[5] & 0x10) && length >= 7)
                info.pcrAt = 6;
            at = 5 + length;
        }
        const bool unitStart = p[1] & 0x40;
        if (!info.payload || !unitStart || at + 14 > packetSize)
            continue;
        const uchar *pes = p + at;
        if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1 || pes[3] < 0xBC)
            continue; // not the start of an audio or video frame
        const int flags = (pes[7] >> 6) & 0x3;
        if (flags & 0x2)
            info.ptsAt = qint8(at + 9);
        if (flags == 0x3 && at + 19 <= packetSize)
            info.dtsAt = qint8(at + 14);
        if ((pes[3] & 0xF0) == 0xE0 && info.ptsAt >= 0)
            videoTimes.push_back(readTimestamp(p + info.ptsAt));
    }

    // One frame after the last: the smallest step between frames, added to the span.
    std::sort(videoTimes.begin(), videoTimes.end());
    videoTimes.erase(std::unique(videoTimes.begin(), videoTimes.end()), videoTimes.end());
    if (videoTimes.size() < 2)
        return std::nullopt;
    qint64 step = videoTimes[1] - videoTimes[0];
    for (size_t i = 2; i < videoTimes.size(); ++i)
        step = std::min(step, videoTimes[i] - videoTimes[i - 1]);
    clip.m_period = videoTimes.back() - videoTimes.front() + step;
    return clip;
}

std::optional<TsClip> TsClip::load(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return fromBytes(file.readAll());
}

void TsClip::patch(char *packet, const Packet &info, qint64 round) const
{
    auto *p = reinterpret_cast<uchar *>(packet);
    if (info.payload) {
        const qint64 shift = round * m_payloadPackets.value(info.pid);
        p[3] = uchar((p[3] & 0xF0) | ((p[3] + shift) & 0x0F));
    }
    const qint64 offset = round * m_period;
    if (info.pcrAt >= 0)
        writePcrBase(p + info.pcrAt, readPcrBase(p + info.pcrAt) + offset);
    if (info.ptsAt >= 0)
        writeTimestamp(p + info.ptsAt, readTimestamp(p + info.ptsAt) + offset);
    if (info.dtsAt >= 0)
        writeTimestamp(p + info.dtsAt, readTimestamp(p + info.dtsAt) + offset);
}

QByteArray TsClip::bytes(qint64 round, qint64 offset, qint64 length) const
{
    offset = std::clamp<qint64>(offset, 0, size());
    length = std::clamp<qint64>(length, 0, size() - offset);
    if (round == 0)
        return m_bytes.mid(offset, length);
    // Patch whole packets, then cut out the bytes asked for.
    const qint64 first = offset / packetSize;
    const qint64 last = (offset + length + packetSize - 1) / packetSize;
    QByteArray out = m_bytes.mid(first * packetSize, (last - first) * packetSize);
    char *data = out.data();
    for (qint64 i = first; i < last; ++i)
        patch(data + (i - first) * packetSize, m_packets[size_t(i)], round);
    return out.mid(offset - first * packetSize, length);
}

} // namespace Lab
