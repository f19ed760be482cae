#pragma once

#include <QByteArray>
#include <QUrl>

#include <optional>

// The HTTP headers a playlist entry asks its stream to be opened with (a plain M3U list's
// user agent and referrer), by stream address. The store tells it what it is about to play;
// the player reads it wherever the address is opened (full window or a preview). Only these
// two reach libVLC, and only without control characters.
namespace StreamHeaders {

struct Headers
{
    QByteArray userAgent; // empty: the program's own
    QByteArray referrer;
    bool operator==(const Headers &) const = default;
};

// Empty headers forget the address.
void set(const QUrl &url, const Headers &headers);
std::optional<Headers> find(const QUrl &url);
void clear();

// The libVLC options of `headers`: ":http-user-agent=…" and ":http-referrer=…" for the values
// that are safe to hand over, nothing for the others.
QByteArrayList options(const Headers &headers);

} // namespace StreamHeaders
