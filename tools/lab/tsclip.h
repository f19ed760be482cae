#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <optional>
#include <vector>

namespace Lab {

// A short MPEG transport stream clip that can be played over and over as one unbroken stream.
// Repetition n is the clip with every timestamp (PCR, PTS, DTS) moved on by n clip lengths and
// every continuity counter carried on, so a player sees neither a jump back in time nor lost
// packets at the seams. Live channels repeat it for as long as they are watched; catch-up
// segments are single repetitions.
class TsClip
{
public:
    static constexpr int packetSize = 188;
    static constexpr qint64 clockRate = 90000;

    static std::optional<TsClip> fromBytes(QByteArray bytes);
    static std::optional<TsClip> load(const QString &path);

    qint64 size() const { return m_bytes.size(); }
    // Length of one repetition in 90 kHz ticks: from the first video frame to one frame after the last.
    qint64 periodTicks() const { return m_period; }
    double seconds() const { return double(m_period) / clockRate; }
    // Bytes that make one second of the clip.
    qint64 bytesPerSecond() const { return qint64(double(m_bytes.size()) / seconds()); }

    // `length` bytes from `offset` of repetition `round` (both multiples of the packet size are
    // cheapest but not required).
    QByteArray bytes(qint64 round, qint64 offset, qint64 length) const;
    QByteArray repetition(qint64 round) const { return bytes(round, 0, size()); }

private:
    struct Packet
    {
        quint16 pid = 0;
        qint8 pcrAt = -1; // byte offsets inside the packet; -1 when absent
        qint8 ptsAt = -1;
        qint8 dtsAt = -1;
        bool payload = false;
    };

    void patch(char *packet, const Packet &info, qint64 round) const;

    QByteArray m_bytes;
    std::vector<Packet> m_packets;
    QHash<quint16, int> m_payloadPackets; // per PID, for carrying continuity counters on
    qint64 m_period = 0;
};

} // namespace Lab
