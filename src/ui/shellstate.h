#pragma once

#include "model/records.h"
#include "qmlregistration.h"
#include "store/appstore.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <optional>

// The window's routing decisions that are not a plain store field: whether the full-window
// player covers the screen of the phase, and what the player layer holds while it fades in and
// out. The layer keeps the address and title it was shown with until its fade-out has ended, so
// nothing else starts playing behind the fade. One per engine, over the store of the run.
class ShellState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(AppStore *store READ store WRITE setStore NOTIFY storeChanged FINAL)
    Q_PROPERTY(bool coversWithPlayer READ coversWithPlayer NOTIFY coversWithPlayerChanged FINAL)
    Q_PROPERTY(bool playerLoaded READ playerLoaded NOTIFY playerLoadedChanged FINAL)
    Q_PROPERTY(QUrl playerURL READ playerURL NOTIFY playerURLChanged FINAL)
    Q_PROPERTY(QString playerTitle READ playerTitle NOTIFY playerTitleChanged FINAL)

public:
    explicit ShellState(AppStore *store, QObject *parent = nullptr)
        : QObject(parent)
    {
        setStore(store);
    }

    // With an address to play, the player covers everything unless a live channel plays
    // normally: that one stays in the Live TV screen's own pane. Its catch-up covers.
    static bool coversWithPlayer(bool hasURL, const std::optional<MediaItem> &nowPlaying, bool playsCatchup);

    // Not default-constructible, so that QML makes the singleton through this.
    static ShellState *create(QQmlEngine *, QJSEngine *) { return new ShellState(AppStoreForeign::instance); }

    AppStore *store() const { return m_store; }
    void setStore(AppStore *store);
    bool coversWithPlayer() const { return m_covers; }
    bool playerLoaded() const { return m_playerLoaded; }
    QUrl playerURL() const { return m_playerURL; }
    QString playerTitle() const { return m_playerTitle; }

    // The player layer has faded out completely: it may be unloaded unless it covers again.
    Q_INVOKABLE void playerFadedOut();

Q_SIGNALS:
    void storeChanged();
    void coversWithPlayerChanged();
    void playerLoadedChanged();
    void playerURLChanged();
    void playerTitleChanged();

private:
    void follow();

    QPointer<AppStore> m_store;
    bool m_covers = false;
    bool m_playerLoaded = false;
    QUrl m_playerURL;
    QString m_playerTitle;
};
