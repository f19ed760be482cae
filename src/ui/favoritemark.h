#pragma once

#include "model/records.h"
#include "store/appstore.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

// Whether one item is among the user's favourites, as a property a binding follows: the
// store answers the question but only says when to ask it again.
class FavoriteMark : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(AppStore *store READ store WRITE setStore NOTIFY storeChanged FINAL)
    Q_PROPERTY(MediaItem item READ item WRITE setItem NOTIFY itemChanged FINAL)
    Q_PROPERTY(bool favorite READ favorite NOTIFY favoriteChanged FINAL)

public:
    using QObject::QObject;

    AppStore *store() const { return m_store; }
    void setStore(AppStore *store);
    MediaItem item() const { return m_item; }
    void setItem(const MediaItem &item);
    bool favorite() const { return m_favorite; }

Q_SIGNALS:
    void storeChanged();
    void itemChanged();
    void favoriteChanged();

private:
    void update();

    QPointer<AppStore> m_store;
    MediaItem m_item;
    bool m_favorite = false;
};
