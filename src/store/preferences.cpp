#include "preferences.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

QString sectionSuffix(Section section)
{
    switch (section) {
    case Section::live:
        return QStringLiteral("live");
    case Section::movies:
        return QStringLiteral("vod");
    case Section::series:
        return QStringLiteral("series");
    }
    return {};
}

constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Makes the file (and its folder) before QSettings does, so that it is never readable by
// others, not even for a moment; later saves keep the permissions of the file they replace.
void prepareFile(const QString &filePath)
{
    const QFileInfo info(filePath);
    QDir().mkpath(info.absolutePath());
    if (!info.exists()) {
        QFile file(filePath);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            file.setPermissions(ownerOnly);
    } else if ((info.permissions() & ~(ownerOnly | QFileDevice::ReadUser | QFileDevice::WriteUser)) != 0) {
        QFile::setPermissions(filePath, ownerOnly);
    }
}

} // namespace

QString Preferences::favoritesKey(Section section)
{
    return QStringLiteral("mavu.fav.") + sectionSuffix(section);
}

QString Preferences::recentsKey(Section section)
{
    return QStringLiteral("mavu.recent.") + sectionSuffix(section);
}

QString Preferences::hiddenKey(Section section)
{
    return QStringLiteral("mavu.hide.") + sectionSuffix(section);
}

QString Preferences::defaultFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/mavu/mavu.ini");
}

Preferences::Preferences(const QString &filePath)
{
    prepareFile(filePath);
    m_settings = std::make_unique<QSettings>(filePath, QSettings::IniFormat);
}

Preferences::~Preferences() = default;

QString Preferences::filePath() const
{
    return m_settings->fileName();
}

void Preferences::write(const QString &key, const QVariant &value)
{
    m_settings->setValue(key, value);
    m_settings->sync();
}

std::optional<QString> Preferences::text(QLatin1String key) const
{
    const QVariant value = m_settings->value(key);
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return value.toString();
}

int Preferences::integer(QLatin1String key) const
{
    bool ok = false;
    const int result = m_settings->value(key).toInt(&ok);
    return ok ? result : 0;
}

QStringList Preferences::texts(const QString &key) const
{
    const QVariant value = m_settings->value(key);
    // The INI format gives a one-element list back as a plain text.
    if (value.typeId() == QMetaType::QStringList || value.typeId() == QMetaType::QString)
        return value.toStringList();
    return {};
}

std::optional<QMap<QString, QString>> Preferences::playlistDictionary() const
{
    m_settings->beginGroup(playlistKey);
    const QStringList keys = m_settings->childKeys();
    QMap<QString, QString> dictionary;
    bool allTexts = !keys.isEmpty();
    for (const QString &key : keys) {
        const QVariant value = m_settings->value(key);
        allTexts = allTexts && value.typeId() == QMetaType::QString;
        dictionary.insert(key, value.toString());
    }
    m_settings->endGroup();
    if (!allTexts)
        return std::nullopt;
    return dictionary;
}

void Preferences::setPlaylistDictionary(const QMap<QString, QString> &dictionary)
{
    m_settings->remove(playlistKey);
    m_settings->beginGroup(playlistKey);
    for (auto it = dictionary.cbegin(); it != dictionary.cend(); ++it)
        m_settings->setValue(it.key(), it.value());
    m_settings->endGroup();
    m_settings->sync();
}

int Preferences::themeIndex() const
{
    return integer(themeKey);
}

void Preferences::setThemeIndex(int index)
{
    write(themeKey, index);
}

int Preferences::liveSortIndex() const
{
    return integer(liveSortIndexKey);
}

void Preferences::setLiveSortIndex(int index)
{
    write(liveSortIndexKey, index);
}

QString Preferences::language() const
{
    return text(languageKey).value_or(defaultLanguage);
}

void Preferences::setLanguage(const QString &code)
{
    write(languageKey, code);
}

QString Preferences::pin() const
{
    return text(pinKey).value_or(defaultPin);
}

void Preferences::setPin(const QString &pin)
{
    write(pinKey, pin);
}

QStringList Preferences::favorites(Section section) const
{
    return texts(favoritesKey(section));
}

void Preferences::setFavorites(Section section, const QStringList &ids)
{
    write(favoritesKey(section), ids);
}

QStringList Preferences::recents(Section section) const
{
    return texts(recentsKey(section));
}

void Preferences::setRecents(Section section, const QStringList &ids)
{
    write(recentsKey(section), ids);
}

QStringList Preferences::hidden(Section section) const
{
    return texts(hiddenKey(section));
}

void Preferences::setHidden(Section section, const QStringList &ids)
{
    write(hiddenKey(section), ids);
}

std::optional<QString> Preferences::deviceMac() const
{
    return text(deviceMacKey);
}

void Preferences::setDeviceMac(const QString &mac)
{
    write(deviceMacKey, mac);
}

std::optional<QRect> Preferences::windowGeometry() const
{
    const QVariant value = m_settings->value(windowGeometryKey);
    if (value.typeId() != QMetaType::QRect || !value.toRect().isValid())
        return std::nullopt;
    return value.toRect();
}

void Preferences::setWindowGeometry(const QRect &geometry)
{
    write(windowGeometryKey, geometry);
}

bool Preferences::windowFullScreen() const
{
    const QVariant value = m_settings->value(windowFullScreenKey);
    // The INI format gives a truth value back as text.
    return value.typeId() == QMetaType::Bool ? value.toBool() : value.toString() == QLatin1String("true");
}

void Preferences::setWindowFullScreen(bool fullScreen)
{
    write(windowFullScreenKey, fullScreen);
}
