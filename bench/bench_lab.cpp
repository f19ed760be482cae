// The large lab catalogue end to end: making it, then each whole-section request of the player
// (HTTP over loopback, parsing and decoding) against decoding the same bytes already in memory,
// the baseline that shows what the transfer adds.
#include "benchsupport.h"

#include "api/decoders.h"
#include "api/jsondocument.h"
#include "api/mavuapi.h"
#include "api/network.h"
#include "labserver.h"

#include <QCoreApplication>
#include <QCoroTask>

namespace {

template<typename T>
T wait(QCoro::Task<T> &&task)
{
    return QCoro::waitFor(std::move(task));
}

QByteArray joined(const QList<QByteArray> &pieces)
{
    QByteArray all;
    for (const QByteArray &piece : pieces)
        all += piece;
    return all;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Lab::Server lab({.preset = Lab::Preset::large});
    const double made = Bench::bestMs(1, [&] { lab.start(); });
    const Playlist playlist{lab.base(), lab.username(), lab.password()};
    std::printf("mavu-lab, large preset: %zu channels, %zu movies, %zu shows\n", lab.catalogue().live().size(),
                lab.catalogue().movies().size(), lab.catalogue().shows().size());
    Bench::row("catalogue made and written", QStringLiteral("%1 ms").arg(made, 0, 'f', 0));

    const struct
    {
        const char *label;
        Lab::Kind kind;
        MediaItem::Kind itemKind;
        MavuAPI::Answer<QList<MediaItem>> (*request)(Playlist, std::optional<QString>, Network::Options);
    } sections[] = {
        {"get_live_streams", Lab::Kind::live, MediaItem::Kind::live, &MavuAPI::liveStreams},
        {"get_vod_streams", Lab::Kind::movie, MediaItem::Kind::movie, &MavuAPI::vodStreams},
        {"get_series", Lab::Kind::series, MediaItem::Kind::series, &MavuAPI::series},
    };
    for (const auto &section : sections) {
        const QByteArray body = joined(lab.catalogue().streamsAnswer(section.kind, std::nullopt));
        const double megabytes = body.size() / 1e6;
        qsizetype rows = 0;
        const auto request = [&] { rows = wait(section.request(playlist, std::nullopt, {})).valueOr({}).size(); };
        // In turns with the way before (each body copied out of Qt's pieces), under the same load.
        double requested = 1e300, copied = 1e300;
        for (int i = 0; i < 3; ++i) {
            requested = std::min(requested, Bench::bestMs(1, request));
            Network::testing::setBorrowBodies(false);
            copied = std::min(copied, Bench::bestMs(1, request));
            Network::testing::setBorrowBodies(true);
        }
        const double decoded = Bench::bestMs(3, [&] {
            JsonDocument document;
            document.parse(body);
            MavuAPI::decode::streams(document.root(), section.itemKind);
        });
        std::printf("%s: %lld rows, %.1f MB\n", section.label, qlonglong(rows), megabytes);
        Bench::row("  request, over loopback", QStringLiteral("%1 ms, %2 MB/s").arg(requested, 0, 'f', 0).arg(megabytes / requested * 1000, 0, 'f', 0));
        Bench::row("  before: copied out of Qt's pieces", QStringLiteral("%1 ms, %2 MB/s").arg(copied, 0, 'f', 0).arg(megabytes / copied * 1000, 0, 'f', 0));
        Bench::row("  decoding alone (baseline)", QStringLiteral("%1 ms").arg(decoded, 0, 'f', 0));
        Bench::row("  the transfer adds", QStringLiteral("%1 ms").arg(requested - decoded, 0, 'f', 0));
    }
    return 0;
}
