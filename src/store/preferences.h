#pragma once

#include "model/enums.h"

#include <QMap>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class QSettings;

// Everything the player remembers between runs, one typed accessor per key. Values are
// written the moment they change. Reading a key that is missing, or that holds a value of
// another kind, gives the default. The file is readable by its owner only: it holds the
// provider password.
//
// A save that fails (full disk, read-only folder) keeps every value in memory and is tried
// again, with everything not yet written, on the next change. A file that cannot be read as a
// whole is kept aside as "<file>.damaged"; the keys that could still be read carry over into a
// fresh file, everything else starts at its default.
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
    static constexpr QLatin1String liveGuideKey{"mavu.live.guideView"};
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

    // False from a failed save until a later one succeeds.
    bool saved() const { return m_saved; }
    // Told whenever saved() changes.
    void setSaveListener(std::function<void(bool saved)> listener) { m_saveListener = std::move(listener); }
    // The damaged file kept aside at start, if there was one.
    std::optional<QString> damagedCopy() const { return m_damagedCopy; }

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

    // Whether Live TV showed the guide grid in place of the channel list.
    bool liveGuide() const;
    void setLiveGuide(bool shown);

private:
    std::optional<QString> text(QLatin1String key) const;
    int integer(QLatin1String key) const;
    bool flag(QLatin1String key) const;
    QStringList texts(const QString &key) const;
    void write(const QString &key, const QVariant &value);
    void save();
    void setAside(const QString &filePath);

    std::unique_ptr<QSettings> m_settings;
    bool m_saved = true;
    std::function<void(bool)> m_saveListener;
    std::optional<QString> m_damagedCopy;
};
