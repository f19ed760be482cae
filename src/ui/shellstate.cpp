#include "shellstate.h"

bool ShellState::coversWithPlayer(bool hasURL, const std::optional<MediaItem> &nowPlaying, bool playsCatchup)
{
    if (!hasURL)
        return false;
    return !nowPlaying || nowPlaying->kind != MediaItem::Kind::live || playsCatchup;
}

void ShellState::setStore(AppStore *store)
{
    if (m_store == store)
        return;
    if (m_store)
        disconnect(m_store, nullptr, this, nullptr);
    m_store = store;
    if (m_store) {
        // The store announces one operation's fields together, so each of these sees them all.
        for (const auto signal : {&AppStore::nowPlayingURLChanged, &AppStore::nowPlayingChanged,
                                  &AppStore::catchupURLBuilderChanged})
            connect(m_store, signal, this, &ShellState::follow);
    }
    Q_EMIT storeChanged();
    follow();
}

void ShellState::follow()
{
    const bool covers = m_store
        && coversWithPlayer(m_store->nowPlayingURL().has_value(), m_store->nowPlaying(), m_store->hasCatchupURLBuilder());
    if (covers) {
        const QUrl url = m_store->qmlNowPlayingURL();
        if (m_playerURL != url) {
            m_playerURL = url;
            Q_EMIT playerURLChanged();
        }
        // The title is the one at the time the player appears; the screen follows later
        // changes of the store's title itself.
        if (!m_playerLoaded) {
            if (m_playerTitle != m_store->nowPlayingTitle()) {
                m_playerTitle = m_store->nowPlayingTitle();
                Q_EMIT playerTitleChanged();
            }
            m_playerLoaded = true;
            Q_EMIT playerLoadedChanged();
        }
    }
    if (m_covers != covers) {
        m_covers = covers;
        Q_EMIT coversWithPlayerChanged();
    }
}

void ShellState::playerFadedOut()
{
    if (m_covers || !m_playerLoaded)
        return;
    m_playerLoaded = false;
    Q_EMIT playerLoadedChanged();
}
