#pragma once

#include "api/jsonread.h"
#include "api/mavuapi.h"
#include "api/network.h"

#include <memory>

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

// A section's answer decoded in runs of whole rows while it still arrives: each run of about
// `runBytes` is decoded on a helper thread as soon as it is whole, so that at the last byte only
// the last runs are left. Nothing reaches the caller before finish() has the whole body and every
// run stood on its own; a cut answer is never handed out in part.
//
// A body that settled (its length was given) is decoded where it lies: each run's first and last
// byte, the commas around its rows, are made its brackets while it is parsed, and every one is put
// back before stop(), abandon() or finish() returns; nothing is read past the body's end (the last
// run is copied out). Otherwise each run is copied out.
class RowRuns final : public Network::BodyWatcher
{
public:
    explicit RowRuns(MediaItem::Kind kind, qsizetype runBytes = 2 << 20);
    ~RowRuns() override;

    void begin() override;
    bool settled() override;
    void received(QByteArrayView body) override;
    // Stops the runs' threads without waiting for them; finish() then hands out nothing.
    void stop() override;

    // The records of the whole `body` (the one received), in order, once every run is decoded.
    // Nothing when no answer was watched, the body is not a top-level array of objects, a run
    // does not stand on its own, or it holds too many rows; the whole parse then decides.
    std::optional<QList<MediaItem>> finish(QByteArrayView body);
    // Runs not yet begun are dropped: the answer failed or is no longer wanted.
    void abandon();

    struct State;

private:
    void cut(QByteArrayView body);
    void queue(QByteArrayView body, qsizetype open, qsizetype end, bool close, bool inPlace);

    std::shared_ptr<State> m_state;
    const MediaItem::Kind m_kind;
    const qsizetype m_runBytes;
    bool m_watched = false;
    bool m_notArray = false;
    bool m_inPlace = false;
    qsizetype m_runStart = -1; // the byte before the next run's first row: "[" or a comma
    qsizetype m_searchFrom = 0;
};

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
