// Guide and catch-up: the archive of the live channel playing, grouped by day, and the
// timeshift addresses of a past programme and of later points inside it.
#include "appstore.h"

#include "store/appstore_p.h"
#include "store/catchuptext.h"
#include "store/listmodels.h"

#include <QDateTime>
#include <QPointer>

#include <algorithm>
#include <cmath>

using namespace AppStoreDetail;

namespace {

QString dayOf(const EpgProgram &program)
{
    return CatchupText::leading(program.start, 10);
}

// Whole minutes of a programme, at least one.
qint64 durationMinutes(const EpgProgram &program)
{
    const double minutes = std::trunc((program.stopTs - program.startTs) / 60);
    if (!std::isfinite(minutes) || minutes < 1)
        return 1;
    return minutes < 1e12 ? qint64(minutes) : qint64(1e12);
}

} // namespace

QString AppStore::catchupStartText(const EpgProgram &program)
{
    return CatchupText::startText(program.start);
}

QCoro::Task<> AppStore::openCatchup()
{
    if (!m_playlist || !m_nowPlaying || !m_nowPlaying->isLive() || !m_nowPlaying->tvArchive)
        co_return;
    const MediaItem channel = *m_nowPlaying;
    {
        const Batch batch(this);
        setCatchupOpen(true);
        setLoadingCatchup(true);
        m_failures->clear(Failures::Place::catchup);
    }

    QPointer<AppStore> self(this);
    Result<QList<EpgProgram>> answer;
    if (m_playlist->isM3u()) {
        // A plain list's archive is what the imported guide holds for the channel.
        auto read = m3uArchivePrograms(channel);
        answer = co_await read;
    } else {
        auto request = MavuAPI::fullEPG(*m_playlist, channel.id);
        answer = co_await request;
    }
    if (!self)
        co_return;
    if (!answer) {
        const Batch batch(this);
        setCatchupPrograms({});
        setCatchupDays({});
        setSelectedCatchupDay(std::nullopt);
        setLoadingCatchup(false);
        recordFailure(Failures::Place::catchup, answer.failure());
        co_return;
    }
    const QList<EpgProgram> &guide = *answer;

    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000;
    const double windowHours = double(std::max<qint64>(channel.archiveDays, 1)) * 24;
    QList<EpgProgram> past;
    for (const EpgProgram &program : guide) {
        const double ageHours = (now - program.startTs) / 3600;
        if (ageHours >= 0 && ageHours < windowHours)
            past.append(program);
    }
    std::stable_sort(past.begin(), past.end(),
                     [](const EpgProgram &a, const EpgProgram &b) { return a.startTs < b.startTs; });
    QStringList days;
    for (const EpgProgram &program : std::as_const(past))
        days.append(dayOf(program));
    days.removeDuplicates();
    days.sort();

    const Batch batch(this);
    setCatchupPrograms(std::move(past));
    setCatchupDays(days);
    setSelectedCatchupDay(days.isEmpty() ? std::nullopt : std::optional<QString>(days.last()));
    setLoadingCatchup(false);
}

QList<EpgProgram> AppStore::catchupDayPrograms() const
{
    return m_catchupDayPrograms;
}

void AppStore::updateCatchupDayPrograms()
{
    QList<EpgProgram> programs;
    if (m_selectedCatchupDay) {
        for (const EpgProgram &program : std::as_const(m_catchupPrograms)) {
            if (dayOf(program) == *m_selectedCatchupDay)
                programs.append(program);
        }
    }
    if (assign(m_catchupDayPrograms, std::move(programs), &AppStore::catchupDayProgramsChanged))
        m_catchupDayProgramsModel->replace(m_catchupDayPrograms);
}

void AppStore::playCatchup(const EpgProgram &program)
{
    if (!m_playlist || !m_nowPlaying || !m_nowPlaying->isLive())
        return;
    const MediaItem channel = *m_nowPlaying;
    if (m_playlist->isM3u()) {
        playM3uCatchup(channel, program);
        return;
    }
    const qint64 minutes = durationMinutes(program);
    const QString startText = catchupStartText(program);
    const auto url = catchupURL(*m_playlist, channel, minutes, startText);
    if (!url)
        return;

    const Batch batch(this);
    setNowPlayingTitle(channel.name + QStringLiteral(" — ") + program.title);
    setCatchupDurationSec(double(minutes) * 60);
    // Holds the store weakly and reads its playlist at call time.
    setCatchupURLBuilder([self = QPointer<AppStore>(this), channel, startText, minutes,
                          first = *url](int offset) -> std::optional<QUrl> {
        if (!self || !self->m_playlist)
            return std::nullopt;
        if (offset == 0)
            return first;
        const auto shifted = CatchupText::shifted(startText, offset);
        if (!shifted)
            return std::nullopt;
        const qint64 remaining = std::max<qint64>(minutes - offset, 1);
        return catchupURL(*self->m_playlist, channel, remaining, *shifted);
    });
    setNowPlayingURL(url);
}

QUrl AppStore::buildCatchupURL(int minutes) const
{
    if (!m_catchupURLBuilder)
        return {};
    return m_catchupURLBuilder(minutes).value_or(QUrl());
}
