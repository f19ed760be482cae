// The document reader and every decoder on arbitrary bytes. The first byte picks the decoder,
// the rest is the answer.
#include "api/decoders.h"
#include "api/jsondocument.h"

#include <ctime>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

qsizetype decodeOne(uint8_t which, const JsonRead::Field &root)
{
    using namespace MavuAPI::decode;
    switch (which % 11) {
    case 0:
        return categories(root).size();
    case 1:
        return streams(root, MediaItem::Kind::live).size();
    case 2:
        return streams(root, MediaItem::Kind::movie).size();
    case 3:
        return streams(root, MediaItem::Kind::series).size();
    case 4: {
        const MavuAPI::SeriesInfo info = seriesInfo(root);
        return info.seasons.size() + info.episodes.size();
    }
    case 5:
        return vodInfo(root).plot.isEmpty() ? 0 : 1;
    case 6:
        return programs(root).size();
    case 7:
        return programs(JsonRead::member(root, "epg_listings")).size();
    case 8:
        return playlistExpiry(root) ? 1 : 0;
    case 9: {
        const MavuAPI::DeviceStatus status = deviceStatus(root);
        return status.languages.size() + (status.playlist ? 1 : 0);
    }
    default:
        return themes(root).size();
    }
}

// The processor time spent: wall time counts whatever else the machine runs, and a busy
// machine made a 361-byte answer look like half a second of work.
double cpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const double start = cpuSeconds();
    const QByteArray body(reinterpret_cast<const char *>(data) + 1, qsizetype(size - 1));
    JsonDocument document;
    if (!document.parse(body))
        return 0;
    const qsizetype rows = decodeOne(data[0], JsonRead::Field(document.root()));
    // Every row needs at least "{}" of the answer.
    if (rows > qsizetype(size / 2) + 1) {
        std::fprintf(stderr, "%lld rows from %zu bytes\n", static_cast<long long>(rows), size);
        std::abort();
    }
    // Linear work: well under a second per megabyte (plus a fixed start), even under the sanitizers.
    const double seconds = cpuSeconds() - start;
    if (seconds > 0.25 + 1.0 * double(size) / 1e6) {
        std::fprintf(stderr, "%.3f s for %zu bytes\n", seconds, size);
        std::abort();
    }
    return 0;
}
