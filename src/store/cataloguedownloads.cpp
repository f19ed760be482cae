#include "cataloguedownloads.h"

#include "store/appstore_p.h"
#include "store/emission.h"

#include <QPointer>

class CatalogueDownloads::Download : public QObject
{
    Q_OBJECT

public:
    Playlist playlist;
    quint64 generation = 0;
    std::shared_ptr<Network::Cancellation> cancellation = std::make_shared<Network::Cancellation>();
    std::optional<Result<QList<MediaItem>>> result;

Q_SIGNALS:
    void finished();
};

CatalogueDownloads::~CatalogueDownloads()
{
    renew();
}

QCoro::Task<Result<QList<MediaItem>>> CatalogueDownloads::fetch(Playlist playlist, Section section)
{
    std::shared_ptr<Download> download = m_inFlight[size_t(section)];
    if (!download || download->playlist != playlist || download->generation != m_generation) {
        download = std::make_shared<Download>();
        download->playlist = playlist;
        download->generation = m_generation;
        m_inFlight[size_t(section)] = download;
        ++m_started;
        AppStoreDetail::startTask(run(download, section));
    }
    // A download that could not even be sent has its answer already.
    if (!download->result)
        co_await nextEmission(download.get(), &Download::finished);
    co_return download->result.value_or(Failure{Failure::Kind::cancelled});
}

QCoro::Task<> CatalogueDownloads::run(std::shared_ptr<Download> download, Section section)
{
    QPointer<CatalogueDownloads> self(this);
    const Network::Options options{.cancellation = download->cancellation};
    auto request = AppStoreDetail::catalogueRequest(download->playlist, section, options);
    Result<QList<MediaItem>> result = co_await request;
    if (self && m_inFlight[size_t(section)] == download)
        m_inFlight[size_t(section)].reset();
    download->result = std::move(result);
    Q_EMIT download->finished();
}

void CatalogueDownloads::renew()
{
    ++m_generation;
    for (std::shared_ptr<Download> &download : m_inFlight) {
        if (download)
            download->cancellation->cancel();
        download.reset();
    }
}

#include "cataloguedownloads.moc"
