#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Lab::DeviceService {

// The device service attaches the lab's own playlist to every device identifier and offers the
// words of the user interface in English, German and Croatian.
QByteArray playlistInformation(const QString &deviceId, const QString &playlistAddress, qint64 expiresAt);
// Four themes whose backgrounds the lab serves under "/images/themes/".
QByteArray appSettings(const QString &base);

// Every word key the player looks up, so that tests can check that each language has them all.
QStringList wordKeys();

} // namespace Lab::DeviceService
