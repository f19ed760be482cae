#include "favoritemark.h"

void FavoriteMark::setStore(AppStore *store)
{
    if (m_store == store)
        return;
    if (m_store)
        disconnect(m_store, nullptr, this, nullptr);
    m_store = store;
    if (m_store)
        connect(m_store, &AppStore::favoritesChanged, this, &FavoriteMark::update);
    Q_EMIT storeChanged();
    update();
}

void FavoriteMark::setItem(const MediaItem &item)
{
    if (m_item == item)
        return;
    m_item = item;
    Q_EMIT itemChanged();
    update();
}

void FavoriteMark::update()
{
    const bool favorite = m_store && m_store->isFavorite(m_item);
    if (favorite == m_favorite)
        return;
    m_favorite = favorite;
    Q_EMIT favoriteChanged();
}
