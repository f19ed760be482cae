#pragma once

#include "model/enums.h"
#include "model/records.h"

#include <QObject>
#include <QQuickItem>
#include <QString>
#include <QUrl>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

// Small decisions the screens need, kept out of JavaScript, and the build settings they show.
class UiRules : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString attachAddress READ attachAddress CONSTANT FINAL)
    Q_PROPERTY(QString exampleHost READ exampleHost CONSTANT FINAL)

public:
    using QObject::QObject;

    // Where users attach a playlist to their device identifier (shown on the start screen).
    static QString attachAddress();
    // The host name in the server-address placeholder.
    static QString exampleHost();

    // The manual form's host: blanks and tabs trimmed from both ends, then one final "/" dropped.
    Q_INVOKABLE static QString manualHost(const QString &typed);

    // Scrolls `flickable` (a Flickable, or a ScrollView's) so that `item` and `margin` around it are in view,
    // moving no further than needed. Lists and columns between them are placed first: they place their
    // children once a frame, and a key can move the focus to a child not placed yet.
    Q_INVOKABLE static void reveal(QQuickItem *flickable, QQuickItem *item, qreal margin);
    // The manual form's user name: blanks and tabs trimmed from both ends.
    Q_INVOKABLE static QString manualUser(const QString &typed);

    // The provider account behind a provider's own M3U address typed into the M3U field, as
    // {host, user, pass}; an empty map for any other list.
    Q_INVOKABLE static QVariantMap providerOfM3u(const QString &typed);

    // The path of a file the file dialog chose.
    Q_INVOKABLE static QString localPath(const QUrl &file) { return file.toLocalFile(); }

    // The address of a remote picture, or an empty address when the text forms none.
    Q_INVOKABLE static QUrl imageUrl(const QString &text);

    // The check screen's status line: what to do next once a playlist is known, how to get
    // one once the device status says there is none, nothing while the status is awaited or
    // when it failed (the screen says that failure instead).
    Q_INVOKABLE static QString checkStatusLine(bool hasPlaylist, bool statusLoaded, bool statusFailed = false);

    // An episode's chip in the player: its title, or "E" and its number when it has none.
    Q_INVOKABLE static QString episodeLabel(const Episode &episode);

    // A section's title ("Live TV", "Movies", "TV Shows").
    Q_INVOKABLE static QString sectionTitle(Mavu::Section section);
};
