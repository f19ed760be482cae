#include "resumestate.h"

#include <QCoreApplication>

ResumeState::ResumeState(QObject *parent)
    : QObject(parent)
{
    m_saveTimer.setInterval(saveIntervalMs);
    m_noticeTimer.setInterval(noticeMs);
    m_noticeTimer.setSingleShot(true);
    connect(&m_saveTimer, &QTimer::timeout, this, [this] {
        if (m_controller && m_controller->isPlaying())
            save();
    });
    connect(&m_noticeTimer, &QTimer::timeout, this, &ResumeState::dismissNotice);
    // The screens are not taken down in order when the program ends: the position goes first.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &ResumeState::save);
}

void ResumeState::setController(PlayerController *controller)
{
    if (m_controller == controller)
        return;
    if (m_controller)
        disconnect(m_controller, nullptr, this, nullptr);
    m_controller = controller;
    if (m_controller) {
        connect(m_controller, &PlayerController::isPlayingChanged, this, [this] {
            if (!m_controller->isPlaying())
                save(); // paused, ended or broken off
        });
    }
    Q_EMIT controllerChanged();
}

void ResumeState::setStore(AppStore *store)
{
    if (m_store == store)
        return;
    if (m_store)
        disconnect(m_store, nullptr, this, nullptr);
    m_store = store;
    if (m_store) {
        // Leaving the player (or another episode chosen) changes the address first, while the
        // player still holds the one being left.
        connect(m_store, &AppStore::nowPlayingURLChanged, this, [this] {
            if (m_url && m_store->qmlNowPlayingURL() != *m_url)
                save();
        });
    }
    Q_EMIT storeChanged();
}

void ResumeState::setTiming(int saveEveryMs, int noticeForMs)
{
    m_saveTimer.setInterval(saveEveryMs);
    m_noticeTimer.setInterval(noticeForMs);
}

void ResumeState::play(const QUrl &url)
{
    if (!m_controller || !m_store || (m_url && *m_url == url))
        return;
    save();
    dismissNotice();
    m_url = url;
    m_subject = m_store->nowPlayingWatchEntry();
    qint64 startMs = 0;
    if (m_subject) {
        if (const auto kept = m_store->positions()->find(m_subject->kind, m_subject->streamId)) {
            startMs = kept->positionMs;
            showNotice(QStringLiteral("Resumed at ") + PlayerController::hms(double(startMs) / 1000.0));
        }
        m_saveTimer.start();
    } else {
        m_saveTimer.stop();
    }
    m_controller->play(url, m_store->hasCatchupURLBuilder(), startMs);
}

void ResumeState::startOver()
{
    if (m_controller)
        m_controller->seek(0);
    dismissNotice();
}

void ResumeState::dismissNotice()
{
    m_noticeTimer.stop();
    if (!m_noticeShown)
        return;
    m_noticeShown = false;
    Q_EMIT noticeChanged();
}

void ResumeState::showNotice(const QString &text)
{
    m_noticeText = text;
    m_noticeShown = true;
    m_noticeTimer.start();
    Q_EMIT noticeChanged();
}

void ResumeState::save()
{
    if (!m_subject || !m_controller || !m_store)
        return;
    const MediaPlayer &player = m_controller->player();
    WatchEntry entry = *m_subject;
    entry.lengthMs = player.length();
    switch (player.state()) {
    case MediaPlayer::State::Ended:
        entry.positionMs = entry.lengthMs; // watched to the end: nothing to resume
        break;
    case MediaPlayer::State::Playing:
    case MediaPlayer::State::Paused:
    case MediaPlayer::State::Buffering:
    case MediaPlayer::State::TrackAdded:
        if (player.time() <= 0)
            return;
        entry.positionMs = player.time();
        break;
    default:
        return;
    }
    m_store->positions()->record(entry);
}
