#include "guideprogram.h"

#include <QDateTime>
#include <QTimeZone>

QString GuideProgram::clockText(qint64 secs) const
{
    // The wall clock of that offset, read as if it were UTC.
    const QDateTime clock = QDateTime::fromSecsSinceEpoch(secs + qint64(offsetMinutes) * 60, QTimeZone::utc());
    return clock.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString GuideProgram::timeRange() const
{
    return clockText(start).mid(11, 5) + QStringLiteral(" ~ ") + clockText(stop).mid(11, 5);
}

EpgProgram GuideProgram::toEpgProgram(const QString &channelId) const
{
    EpgProgram program;
    program.start = clockText(start);
    program.end = clockText(stop);
    program.id = channelId + program.start;
    program.title = title;
    program.desc = desc;
    program.startTs = double(start);
    program.stopTs = double(stop);
    return program;
}
