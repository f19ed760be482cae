#pragma once

#include "catalogue.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace Lab {

struct Programme
{
    qint64 id = 0;
    qint64 start = 0; // seconds since 1970
    qint64 stop = 0;
    QString title;
    QString description;
};

// The programme guide, made up on the spot relative to the current time: every channel with a
// guide runs a fixed grid of three-hour blocks, each cut into programmes by a pattern drawn
// for that block, so that any moment of any day has the same programme for a given seed.
namespace Guide {

// The programmes of `channel` that overlap [from, to), oldest first.
QList<Programme> programmes(const Catalogue &catalogue, const LiveChannel &channel, qint64 from, qint64 to);

// "get_short_epg": the programme on air and the ones after it, at most `limit`.
QByteArray shortEpgAnswer(const Catalogue &catalogue, const LiveChannel *channel, qint64 now, int limit);
// "get_simple_data_table": the channel's archive days back (a quarter day for channels
// without archive) and six hours ahead.
QByteArray dataTableAnswer(const Catalogue &catalogue, const LiveChannel *channel, qint64 now);

// Local date and time as panels write them: "yyyy-MM-dd HH:mm:ss".
QString localText(qint64 secs);
// A catch-up start text ("yyyy-MM-dd:HH-mm", local time) as seconds since 1970.
std::optional<qint64> catchupStart(const QString &text);

} // namespace Guide

} // namespace Lab
