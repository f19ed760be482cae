// Guide and catch-up: the archive of the live channel playing, grouped by day, and the
// timeshift addresses of a past programme and of later points inside it.
#include "appstore.h"

#include "api/jsonread.h"
#include "store/appstore_p.h"
#include "store/listmodels.h"

#include <QDateTime>
#include <QPointer>
#include <QTextBoundaryFinder>

#include <algorithm>
#include <cmath>

using namespace AppStoreDetail;

namespace {

// `count` user-perceived characters starting at character `from` (counted from 0); nothing
// when the text holds fewer than from + count characters.
std::optional<QString> characterSpan(const QString &text, qsizetype from, qsizetype count)
{
    const bool simple = std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80 && c != u'\r'; });
    if (simple) {
        if (text.size() < from + count)
            return std::nullopt;
        return text.mid(from, count);
    }
    QList<qsizetype> starts{0};
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype at = finder.toNextBoundary(); at >= 0; at = finder.toNextBoundary())
        starts.append(at);
    if (starts.size() - 1 < from + count)
        return std::nullopt;
    return text.mid(starts.at(from), starts.at(from + count) - starts.at(from));
}

// The first `count` characters, or the whole text when it is shorter.
QString leading(const QString &text, qsizetype count)
{
    return characterSpan(text, 0, count).value_or(text);
}

QString dayOf(const EpgProgram &program)
{
    return leading(program.start, 10);
}

// Whole minutes of a programme, at least one.
qint64 durationMinutes(const EpgProgram &program)
{
    const double minutes = std::trunc((program.stopTs - program.startTs) / 60);
    if (!std::isfinite(minutes) || minutes < 1)
        return 1;
    return minutes < 1e12 ? qint64(minutes) : qint64(1e12);
}

QString twoDigits(qint64 value)
{
    return QString::asprintf("%02lld", static_cast<long long>(value));
}

const QString dayFormat = QStringLiteral("yyyy-MM-dd");

// The start text moved on by `offset` minutes: "date:HH-mm" read apart, added to and written
// again; one day boundary at most.
std::optional<QString> shiftedStartText(const QString &startText, qint64 offset)
{
    const QStringList pieces = startText.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (pieces.size() != 2)
        return std::nullopt;
    QString date = pieces.at(0);
    QList<qint64> numbers;
    for (const QString &piece : pieces.at(1).split(QLatin1Char('-'), Qt::SkipEmptyParts)) {
        if (const auto number = JsonRead::integer(piece))
            numbers.append(*number);
    }
    if (numbers.size() != 2)
        return std::nullopt;
    qint64 total = 0;
    if (__builtin_mul_overflow(numbers.at(0), qint64(60), &total) || __builtin_add_overflow(total, numbers.at(1), &total)
        || __builtin_add_overflow(total, offset, &total))
        return std::nullopt;
    if (total >= 1440) {
        // A calendar day, not 86,400 seconds: the day the clocks go back has 25 hours.
        const QDate day = QDate::fromString(date, dayFormat);
        if (day.isValid())
            date = day.addDays(1).toString(dayFormat);
        total -= 1440;
    }
    return date + QLatin1Char(':') + twoDigits(total / 60) + QLatin1Char('-') + twoDigits(total % 60);
}

} // namespace

QString AppStore::catchupStartText(const EpgProgram &program)
{
    QString time = characterSpan(program.start, 11, 5).value_or(program.start);
    time.replace(QLatin1Char(':'), QLatin1Char('-'));
    return leading(program.start, 10) + QLatin1Char(':') + time;
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
    auto request = MavuAPI::fullEPG(*m_playlist, channel.id);
    const Result<QList<EpgProgram>> answer = co_await request;
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
        const auto shifted = shiftedStartText(startText, offset);
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
