#include "catchuptext.h"

#include <QDate>
#include <QStringList>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace CatchupText {

namespace {

const QString dayFormat = QStringLiteral("yyyy-MM-dd");
constexpr qint64 minutesPerDay = 1440;
constexpr qint64 maxOffset = qint64(10000) * 366 * minutesPerDay;

QString twoDigits(qint64 value)
{
    return QString::asprintf("%02lld", static_cast<long long>(value));
}

// One or two ASCII digits; nothing else passes (no sign, no blank, no other script's digits).
std::optional<int> clockNumber(const QString &text)
{
    if (text.isEmpty() || text.size() > 2)
        return std::nullopt;
    int value = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

} // namespace

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

QString leading(const QString &text, qsizetype count)
{
    return characterSpan(text, 0, count).value_or(text);
}

QString startText(const QString &programStart)
{
    QString time = characterSpan(programStart, 11, 5).value_or(programStart);
    time.replace(QLatin1Char(':'), QLatin1Char('-'));
    return leading(programStart, 10) + QLatin1Char(':') + time;
}

std::optional<QString> shifted(const QString &startText, qint64 offset)
{
    const QStringList pieces = startText.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    if (pieces.size() != 2)
        return std::nullopt;
    const QStringList clock = pieces.at(1).split(QLatin1Char('-'), Qt::SkipEmptyParts);
    if (clock.size() != 2)
        return std::nullopt;
    const auto hours = clockNumber(clock.at(0));
    const auto minutes = clockNumber(clock.at(1));
    if (!hours || !minutes || *hours > 23 || *minutes > 59)
        return std::nullopt;
    // Beyond the calendar's ten thousand years either way: refused alike for a date that reads
    // and one that does not, so a move that works can always be moved back.
    if (offset > maxOffset || offset < -maxOffset)
        return std::nullopt;
    const qint64 total = qint64(*hours) * 60 + *minutes + offset;
    // Whole days first (rounding down, so that an earlier point lands on the day before),
    // then the clock within the day.
    const qint64 days = total / minutesPerDay - (total % minutesPerDay < 0 ? 1 : 0);
    const qint64 clockMinutes = total - days * minutesPerDay;

    QString date = pieces.at(0);
    // A calendar day, not 86,400 seconds: the day the clocks go back has 25 hours.
    const QDate day = QDate::fromString(date, dayFormat);
    if (day.isValid() && days != 0) {
        const QDate moved = day.addDays(days);
        if (!moved.isValid() || moved.year() < 1 || moved.year() > 9999)
            return std::nullopt;
        date = moved.toString(dayFormat);
    }
    return date + QLatin1Char(':') + twoDigits(clockMinutes / 60) + QLatin1Char('-') + twoDigits(clockMinutes % 60);
}

} // namespace CatchupText
