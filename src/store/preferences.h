#pragma once

#include "model/enums.h"

#include <QMap>
#include <QRect>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class QSettings;

// Everything the player remembers between runs, one typed accessor per key. Values are
// written the moment they change. Reading a key that is missing, or that holds a value of
// another kind, gives the default. The file is readable by its owner only: it holds the
// provider password.
class Preferences
{
public:
    static constexpr QLatin1String playlistKey{"mavu.playlist"};
    static constexpr QLatin1String themeKey{"mavu.theme"};
    static constexpr QLatin1String liveSortIndexKey{"mavu.liveSortIndex"};
    static constexpr QLatin1String languageKey{"mavu.language"};
    static constexpr QLatin1String pinKey{"mavu.pin"};
    static constexpr QLatin1String deviceMacKey{"mavu.device.mac"};
    static constexpr QLatin1String windowGeometryKey{"mavu.window.geometry"};
    static constexpr QLatin1String windowFullScreenKey{"mavu.window.fullScreen"};
    static QString favoritesKey(Section section);
    static QString recentsKey(Section section);
    static QString hiddenKey(Section section);

    static constexpr QLatin1String defaultLanguage{"en"};
    static constexpr QLatin1String defaultPin{"729304"};

    // The user's file in the XDG config folder.
    static QString defaultFilePath();

    explicit Preferences(const QString &filePath = defaultFilePath());
    ~Preferences();
    Preferences(const Preferences &) = delete;
    Preferences &operator=(const Preferences &) = delete;

    QString filePath() const;

    // The manually connected playlist: "host", "user", "pass" (kept as entered).
    std::optional<QMap<QString, QString>> playlistDictionary() const;
    void setPlaylistDictionary(const QMap<QString, QString> &dictionary);

    int themeIndex() const;
    void setThemeIndex(int index);
    int liveSortIndex() const;
    void setLiveSortIndex(int index);
    QString language() const;
    void setLanguage(const QString &code);
    QString pin() const;
    void setPin(const QString &pin);

    QStringList favorites(Section section) const;
    void setFavorites(Section section, const QStringList &ids);
    QStringList recents(Section section) const;
    void setRecents(Section section, const QStringList &ids);
    QStringList hidden(Section section) const;
    void setHidden(Section section, const QStringList &ids);

    std::optional<QString> deviceMac() const;
    void setDeviceMac(const QString &mac);

    // The main window's frame when neither maximised nor full screen, and whether it filled the
    // screen when the program ended.
    std::optional<QRect> windowGeometry() const;
    void setWindowGeometry(const QRect &geometry);
    bool windowFullScreen() const;
    void setWindowFullScreen(bool fullScreen);

private:
    std::optional<QString> text(QLatin1String key) const;
    int integer(QLatin1String key) const;
    QStringList texts(const QString &key) const;
    void write(const QString &key, const QVariant &value);

    std::unique_ptr<QSettings> m_settings;
};
