#pragma once

#include "api/failure.h"
#include "api/m3ureader.h"
#include "api/network.h"
#include "model/playlist.h"

#include <QCoroTask>
#include <QObject>
#include <QUrl>

#include <memory>
#include <optional>

// The plain M3U list of a playlist, read once for all three sections: the list is fetched
// (or read from its file) and parsed off the GUI thread, and everyone asking while that runs
// shares the one load. A new generation drops what is in flight; its answer lands as cancelled.
class M3uSource : public QObject
{
    Q_OBJECT

public:
    using List = std::shared_ptr<const M3uCatalogue>;

    using QObject::QObject;
    ~M3uSource() override;

    // The parsed list of an M3U `playlist`: joins a load in flight for it in this generation,
    // or starts one. The cancellation, when given, stops this load (the connect form's Cancel).
    QCoro::Task<Result<List>> fetch(Playlist playlist, std::shared_ptr<Network::Cancellation> cancellation = {});

    void renew();
    quint64 generation() const { return m_generation; }
    int started() const { return m_started; }

    // Reads a whole list, gzipped or not: from a body, or from a file a piece at a time.
    static Result<List> parse(const QByteArray &body, const QUrl &base);
    static Result<List> readFile(const QString &path, qint64 maxBytes);

private:
    class Load;

    QCoro::Task<> run(std::shared_ptr<Load> load);

    std::shared_ptr<Load> m_inFlight;
    quint64 m_generation = 0;
    int m_started = 0;
};

// Archive addresses of an M3U entry that declares catch-up. `start` and `stop` are seconds
// since 1970; `now` is the clock the address is made at. Nothing for an entry without catch-up
// or of a kind not handled, or ("flussonic"/"fs") whose live address has no archive path beside it.
namespace M3uArchive {
std::optional<QUrl> address(const M3uStream &stream, qint64 start, qint64 stop, qint64 now);
// The template of `catchup-source` with {utc}, {start}, {utcend}, {end}, {duration}, {lutc},
// {now}, {offset}, {Y}, {m}, {d}, {H}, {M}, {S} (also written ${…}) filled in.
QString expand(const QString &pattern, qint64 start, qint64 stop, qint64 now);
} // namespace M3uArchive
