// The full guide's place in the store: what the guide is told, and the two ways the guide
// grid starts playback.
#include "appstore.h"

#include "store/guidegridmodel.h"
#include "store/preferences.h"

#include <QPointer>

void AppStore::wireGuide()
{
    m_guide = new ProgramGuide(this);
    m_guide->setLanguage(m_languageCode);
    m_guide->setChannelSource([this] { return liveCatalogue(); });
    QObject::connect(this, &AppStore::playlistChanged, m_guide, [this] { m_guide->setPlaylist(m_playlist); });
    QObject::connect(this, &AppStore::languageCodeChanged, m_guide, [this] { m_guide->setLanguage(m_languageCode); });
    // Connecting (or starting with a known playlist) ends on the home screen.
    QObject::connect(this, &AppStore::phaseChanged, m_guide, [this] {
        if (m_phase == Phase::home && m_playlist)
            m_guide->connected();
    });
    GuideGridModel *grid = m_guide->grid();
    m_liveGuide = m_preferences->liveGuide();
    // The grid holds the rows of the live list only while it is shown: a hidden grid neither
    // keeps programmes nor reads them again after an import.
    const auto feedGrid = [this, grid] {
        const bool shown = m_liveGuide && m_phase == Phase::section && m_section == Section::live;
        grid->setChannels(shown ? filteredItems() : QList<MediaItem>());
    };
    QObject::connect(this, &AppStore::filteredItemsChanged, grid, feedGrid);
    QObject::connect(this, &AppStore::liveGuideChanged, grid, feedGrid);
    QObject::connect(this, &AppStore::sectionChanged, grid, feedGrid);
    QObject::connect(this, &AppStore::phaseChanged, grid, feedGrid);
    QObject::connect(grid, &GuideGridModel::playRequested, this, [this](const MediaItem &channel) { runPlay(channel); });
    QObject::connect(grid, &GuideGridModel::catchupRequested, this, &AppStore::playGuideCatchup);
}

void AppStore::setLiveGuide(bool shown)
{
    if (assign(m_liveGuide, shown, &AppStore::liveGuideChanged))
        m_preferences->setLiveGuide(shown);
}

QCoro::Task<QList<MediaItem>> AppStore::liveCatalogue()
{
    if (!m_playlist)
        co_return QList<MediaItem>();
    // The live section's catalogue, shared with the section while either downloads it. The
    // guide is an extra: without the catalogue it shows no channels.
    QPointer<AppStore> self(this);
    auto load = loadCatalogue(Section::live);
    co_await load;
    if (!self)
        co_return QList<MediaItem>();
    // A plain list's guide address comes with the list itself, not with a kept copy of it.
    if (m_playlist && m_playlist->isM3u()) {
        auto ready = ensureM3u();
        co_await ready;
        if (!self)
            co_return QList<MediaItem>();
    }
    co_return allLive();
}

void AppStore::playGuideCatchup(const MediaItem &channel, const EpgProgram &program)
{
    if (!m_playlist || !channel.isLive())
        return;
    if (m_playlist->isM3u() ? !m3uArchiveAddress(channel.id, qint64(program.startTs), qint64(program.stopTs))
                            : !catchupURL(*m_playlist, channel, 1, catchupStartText(program)))
        return;
    const Batch batch(this);
    if (!m_nowPlaying || m_nowPlaying->id != channel.id) {
        setNowPlaying(channel);
        setNowPlayingEpisode(std::nullopt);
        setEpgNowNext({});
    }
    playCatchup(program);
}
