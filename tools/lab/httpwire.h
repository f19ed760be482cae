#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

// The few pieces of HTTP/1.1 that a server answering on a raw socket needs: the head of an
// answer, the one byte range a player asks for when it seeks, and a form-style query.
namespace HttpWire {

using Header = std::pair<QByteArray, QByteArray>;
using HeaderList = QList<Header>;

QByteArray reasonPhrase(int status);

// "HTTP/1.1 …" up to the blank line. Without a length the body runs until the connection
// closes, and the head says so ("Connection: close").
QByteArray head(int status, const QByteArray &contentType, std::optional<qint64> length,
                const HeaderList &extra = {});

// What to send of a resource of `size` bytes for a "Range" header (empty: no header).
// A header that is not one well-formed byte range is ignored, as HTTP allows.
struct Range
{
    enum class Kind { whole, partial, unsatisfiable };
    Kind kind = Kind::whole;
    qint64 from = 0;
    qint64 to = -1; // inclusive; -1 for an empty resource
    qint64 length() const { return to - from + 1; }
    // "bytes FROM-TO/SIZE", or "bytes */SIZE" when unsatisfiable.
    QByteArray contentRange(qint64 size) const;
};
Range range(const QByteArray &header, qint64 size);

// "a=1&b=x+y" into names and values as a typical server stack reads a form query: "+" is a
// blank, then percent-decoding as UTF-8; an item without "=" has an empty value. Every item
// is kept, also an empty one, so that a recorded query shows exactly what was sent.
QList<std::pair<QString, QString>> parseQuery(const QByteArray &rawQuery);

// A request's path and query as the routes read them. The path is split at "/" before each
// segment is percent-decoded, so an encoded "/" (or "..") stays one segment's text and never
// changes the path's shape; empty segments count, as an account with an empty password has
// "//" in its stream addresses.
struct Target
{
    QStringList segments;
    QString path; // "/" + the decoded segments, for reports
    QList<std::pair<QString, QString>> query;
};
Target target(const QByteArray &encodedPath, const QByteArray &encodedQuery);

} // namespace HttpWire
