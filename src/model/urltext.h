#pragma once

#include <QList>
#include <QString>
#include <QUrl>

#include <utility>

// Turning texts into addresses the way every request and stream address needs it.
namespace UrlText {

// Parses a whole address strictly: a text with characters that an address cannot hold
// (blanks, for one) gives an invalid QUrl rather than a silently repaired one.
QUrl parse(const QString &text);

// "name=value&…" with every name and value percent-encoded so that it arrives as exactly
// the text it was; "+" goes as %2B because many server stacks read a bare "+" as a blank.
QString encodeQuery(const QList<std::pair<QString, QString>> &items);

// Percent-encodes everything outside the URL path set (unreserved, sub-delimiters, ":", "@", "/").
QString encodePathText(const QString &text);

} // namespace UrlText
