#pragma once

#include "model/playlist.h"

#include <QString>
#include <QUrl>

#include <optional>

// Addresses built from values a provider sends. Every provider value goes into its own path segment
// (or, for a trailer, is checked against the shape of an id), so that no value can move the address
// to another host, add or remove path levels, start a query or fragment, or reach libVLC as an option.
// Each builder answers nothing rather than a repaired address.
namespace StreamAddress {

// One path segment holding `value` exactly: percent-encoded outside the unreserved characters and
// the sub-delimiters, ":" and "@". Nothing for "." and "..", for control characters and, unless
// `mayBeEmpty`, for an empty value.
std::optional<QString> segment(const QString &value, bool mayBeEmpty = false);

// A container extension such as "mp4" or "m3u8": letters and digits only, 1 to 16 of them.
bool isExtension(const QString &text);

// "<host>/<kind>/<user>/<password>/<id>.<extension>".
std::optional<QUrl> stream(const Playlist &playlist, const QString &kind, const QString &streamId,
                           const QString &extension);

// "<host>/timeshift/<user>/<password>/<minutes>/<start>/<channel>.m3u8".
std::optional<QUrl> catchup(const Playlist &playlist, const QString &channelId, qint64 minutes,
                            const QString &startText);

// The account a stream address of the two forms above belongs to: its host (with any path
// prefix) and its user and password; nothing for any other address.
std::optional<Playlist> accountOf(const QUrl &stream);

// A video site's id: [A-Za-z0-9_-]{1,64}.
bool isTrailerId(const QString &text);

// The watch page of `videoId` on `siteOrigin` ("https://host[:port]"); nothing for anything not an id.
std::optional<QUrl> trailer(const QString &siteOrigin, const QString &videoId);

// A picture or theme address from a provider or the device service: http(s) with a host only, so
// that no local file, resource or inline data can be shown in its place.
std::optional<QUrl> webPicture(const QString &text);

} // namespace StreamAddress
