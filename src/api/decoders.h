#pragma once

#include "api/jsonread.h"
#include "api/mavuapi.h"

// Decoders from one parsed answer to records. Pure functions: the requests run them on a
// worker thread, the benchmarks and tests call them directly.
namespace MavuAPI::decode {

// A list answer: an array of objects, or nothing.
std::optional<simdjson::dom::array> objectRows(const JsonRead::Field &root);

QList<Category> categories(const JsonRead::Field &root);
QList<MediaItem> streams(const JsonRead::Field &root, MediaItem::Kind kind);
// A whole section's answer straight from its bytes: a large top-level array is cut into runs of
// whole rows (none under `minimumPart` bytes) parsed and decoded on as many threads. Nothing
// when the body is not such an array or a run does not stand on its own; the whole parse then
// decides (and says why it refuses). The body is written to while parsing, and restored.
std::optional<QList<MediaItem>> streamsInParts(QByteArray &body, MediaItem::Kind kind, qsizetype minimumPart = 4 << 20);
VodInfo vodInfo(const JsonRead::Field &root);
SeriesInfo seriesInfo(const JsonRead::Field &root);
std::optional<qint64> playlistExpiry(const JsonRead::Field &root);
AccountStatus accountStatus(const JsonRead::Field &root);
// An object whose "user_info" holds "auth" reading as 0: how panels refuse an account, with
// any status and for any action.
bool refusesCredentials(const JsonRead::Field &root);

QList<EpgProgram> programs(const JsonRead::Field &root);
EpgProgram program(const JsonRead::Field &entry);
// The text decoded when it is strict Base64 of valid UTF-8; otherwise the text unchanged.
QString unwrapBase64(const QString &text);

DeviceStatus deviceStatus(const JsonRead::Field &root);
QList<Theme> themes(const JsonRead::Field &root);

} // namespace MavuAPI::decode
