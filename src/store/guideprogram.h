#pragma once

#include "model/records.h"

#include <QList>
#include <QMetaType>
#include <QString>

// One programme of the full guide, as the guide database keeps it: times in seconds since
// 1970 and the offset of the clock the guide wrote them in, which catch-up addresses need.
class GuideProgram
{
    Q_GADGET
    Q_PROPERTY(QString title MEMBER title CONSTANT FINAL)
    Q_PROPERTY(QString desc MEMBER desc CONSTANT FINAL)
    Q_PROPERTY(qint64 start MEMBER start CONSTANT FINAL)
    Q_PROPERTY(qint64 stop MEMBER stop CONSTANT FINAL)
    Q_PROPERTY(int offsetMinutes MEMBER offsetMinutes CONSTANT FINAL)
    Q_PROPERTY(QString timeRange READ timeRange CONSTANT FINAL)

public:
    qint64 start = 0; // seconds since 1970
    qint64 stop = 0;
    int offsetMinutes = 0; // east of UTC
    QString title;
    QString desc; // filled when details are asked for

    friend bool operator==(const GuideProgram &, const GuideProgram &) = default;

    // "yyyy-MM-dd HH:mm:ss" of a time on the guide's own clock.
    QString clockText(qint64 secs) const;
    // "HH:mm ~ HH:mm" on the guide's own clock.
    QString timeRange() const;
    // The record the rest of the store speaks (catch-up, the detail of a programme); its id is
    // the guide's channel id followed by the start text.
    EpgProgram toEpgProgram(const QString &channelId) const;
};

// The programmes of several channels in one time window, in the order the channels were
// asked for; `generation` names the guide database they came from.
struct GuideWindow
{
    qint64 from = 0;
    qint64 to = 0;
    QList<QList<GuideProgram>> rows;
    quint64 generation = 0;
};

Q_DECLARE_METATYPE(GuideProgram)
