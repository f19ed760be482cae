#pragma once

#include "catalogue.h"
#include "transfer.h"

#include <QByteArray>

#include <memory>

namespace Lab::Xmltv {

// The whole programme guide as an XMLTV document ("/xmltv.php"): a <channel> element for
// every channel with a guide id, then each channel's programmes over [from, to), the same
// programmes "get_simple_data_table" lists, written the way real guides write them (local
// offsets, several titles by language, entities, CDATA, extras the player ignores).
//
// Written piece by piece, one channel at a time, so that a guide of gigabytes never sits in
// memory.
class Writer
{
public:
    Writer(std::shared_ptr<const Catalogue> catalogue, qint64 from, qint64 to);

    // The next piece (a channel's programmes, or a few hundred channel elements), at least
    // `max` bytes unless the document ends; empty after the end.
    QByteArray next(qint64 max);

private:
    void writeChannels(QByteArray &out, qint64 max);
    void writeProgrammes(QByteArray &out, const LiveChannel &channel);

    std::shared_ptr<const Catalogue> m_catalogue;
    qint64 m_from;
    qint64 m_to;
    enum class Part { head, channels, programmes, tail, done };
    Part m_part = Part::head;
    size_t m_channel = 0;
};

// Byte length of the document Writer(catalogue, from, to) writes.
qint64 size(std::shared_ptr<const Catalogue> catalogue, qint64 from, qint64 to);

// The document as a body to send, plain or gzip-compressed as it goes.
BodySource source(std::shared_ptr<const Catalogue> catalogue, qint64 from, qint64 to);
BodySource gzipSource(std::shared_ptr<const Catalogue> catalogue, qint64 from, qint64 to);

// "YYYYMMDDhhmmss +hhmm" in the lab's local time.
QByteArray timeText(qint64 secs);

} // namespace Lab::Xmltv
