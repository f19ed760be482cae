#pragma once

#include "player/playercontroller.h"
#include "store/appstore.h"
#include "store/watchpositions.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

#include <optional>

// Keeps where a movie or an episode is while it plays (every ten seconds, on pause, when it is
// left or replaced, and when the program ends) and starts it again there next time, with a
// short notice that offers to start over instead.
class ResumeState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(PlayerController *controller READ controller WRITE setController NOTIFY controllerChanged FINAL)
    Q_PROPERTY(AppStore *store READ store WRITE setStore NOTIFY storeChanged FINAL)
    Q_PROPERTY(bool noticeShown READ noticeShown NOTIFY noticeChanged FINAL)
    // "Resumed at 41:12" while the notice shows.
    Q_PROPERTY(QString noticeText READ noticeText NOTIFY noticeChanged FINAL)

public:
    static constexpr int saveIntervalMs = 10000;
    static constexpr int noticeMs = 6000;

    explicit ResumeState(QObject *parent = nullptr);

    PlayerController *controller() const { return m_controller; }
    void setController(PlayerController *controller);
    AppStore *store() const { return m_store; }
    void setStore(AppStore *store);
    bool noticeShown() const { return m_noticeShown; }
    QString noticeText() const { return m_noticeText; }
    // Tests shorten the times.
    void setTiming(int saveEveryMs, int noticeForMs);

    // Plays `url` (what the store plays now) through the controller, where it was left.
    Q_INVOKABLE void play(const QUrl &url);
    // From the beginning after all.
    Q_INVOKABLE void startOver();
    Q_INVOKABLE void dismissNotice();
    // Keeps where playback is now; nothing while the player has no trustworthy clock (opening,
    // failed, stopped), so a position is never lost to a stream that did not play.
    Q_INVOKABLE void save();

Q_SIGNALS:
    void controllerChanged();
    void storeChanged();
    void noticeChanged();

private:
    void showNotice(const QString &text);

    QPointer<PlayerController> m_controller;
    QPointer<AppStore> m_store;
    std::optional<WatchEntry> m_subject; // what plays, as it is kept
    std::optional<QUrl> m_url;
    QTimer m_saveTimer;
    QTimer m_noticeTimer;
    bool m_noticeShown = false;
    QString m_noticeText;
};
