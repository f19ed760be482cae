#pragma once

#include <QString>

#include <optional>

// Catch-up start texts ("yyyy-MM-dd:HH-mm") made from a guide entry's start, and moved on
// by whole minutes for a later point inside the same programme.
namespace CatchupText {

// `count` user-perceived characters starting at character `from` (counted from 0); nothing
// when the text holds fewer than from + count characters.
std::optional<QString> characterSpan(const QString &text, qsizetype from, qsizetype count);

// The first `count` characters, or the whole text when it is shorter.
QString leading(const QString &text, qsizetype count);

// "2024-05-01 20:15:00" → "2024-05-01:20-15"; a start of another shape is carried as it is
// (the address builder refuses what cannot be a path segment).
QString startText(const QString &programStart);

// The start text `offset` minutes later (or earlier). Nothing when the time part is not two
// numbers of a clock (hours 0–23, minutes 0–59), the offset is beyond ten thousand years, or
// the result leaves the calendar; a date that does not read keeps its text while the time
// still wraps round the day.
std::optional<QString> shifted(const QString &startText, qint64 offset);

} // namespace CatchupText
