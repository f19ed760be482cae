#include "preferences.h"

#include "api/diagnostics.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
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

constexpr QFileDevice::Permissions ownerOnlyFolder = ownerOnly | QFileDevice::ExeOwner;

// How long a save may take before what it left beside the file counts as left behind.
constexpr qint64 staleAfterSeconds = 60;

// Makes the file (and its folder) before QSettings does, created owner-only so that it is
// never readable by others, not even for a moment; later saves (written beside it and renamed
// over it) keep the permissions of the file they replace. A folder made here is owner-only
// too, so that nothing a save leaves in it is readable by others either.
void prepareFile(const QString &filePath)
{
    const QFileInfo info(filePath);
    const QDir folder = info.absoluteDir();
    if (!folder.exists()) {
        QDir().mkpath(QFileInfo(folder.absolutePath()).absolutePath());
        folder.mkdir(folder.absolutePath(), ownerOnlyFolder);
    }
    if (!info.exists()) {
        QFile file(filePath);
        [[maybe_unused]] const bool made = file.open(QIODevice::WriteOnly | QIODevice::NewOnly, ownerOnly);
    } else if ((info.permissions() & ~(ownerOnly | QFileDevice::ReadUser | QFileDevice::WriteUser)) != 0) {
        QFile::setPermissions(filePath, ownerOnly);
    }
}

// A save writes the whole file anew beside the old one ("mavu.ini.XXXXXX") and renames it over;
// a save killed on the way leaves that copy, password and all, and a kill while a stale lock
// is cleared leaves "mavu.ini.lock.rmlock" files. Each start removes those older than any save
// still in progress, so that they never pile up.
void removeLeftovers(const QString &filePath)
{
    const QFileInfo info(filePath);
    const QRegularExpression leftover(u'^' + QRegularExpression::escape(info.fileName())
                                      + QStringLiteral("\\.([A-Za-z0-9]{6}|lock(\\.rmlock)+)$"));
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-staleAfterSeconds);
    const QFileInfoList entries = info.absoluteDir().entryInfoList({info.fileName() + QStringLiteral(".*")},
                                                                 QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        if (!leftover.match(entry.fileName()).hasMatch() || entry.lastModified() >= before)
            continue;
        if (QFile::remove(entry.filePath()))
            qCInfo(lcStore).noquote() << "removed" << entry.fileName() << "left by an unfinished save";
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
    removeLeftovers(filePath);
    m_settings = std::make_unique<QSettings>(filePath, QSettings::IniFormat);
    // Saving every value atomically is what keeps the file whole when the program is killed.
    m_settings->setAtomicSyncRequired(true);
    // Groups are parsed when first read: read them all now so that damage anywhere shows.
    [[maybe_unused]] const QStringList keys = m_settings->allKeys();
    if (m_settings->status() == QSettings::FormatError)
        setAside(filePath);
}

void Preferences::setAside(const QString &filePath)
{
    QMap<QString, QVariant> readable;
    for (const QString &key : m_settings->allKeys()) {
        const QVariant value = m_settings->value(key);
        if (value.isValid())
            readable.insert(key, value);
    }
    m_settings.reset();

    const QString copy = filePath + QStringLiteral(".damaged");
    QFile::remove(copy);
    if (!QFile::rename(filePath, copy)) {
        qCWarning(lcStore).noquote() << "the settings file is damaged and could not be kept aside as" << copy;
        m_settings = std::make_unique<QSettings>(filePath, QSettings::IniFormat);
        return;
    }
    m_damagedCopy = copy;
    prepareFile(filePath);
    m_settings = std::make_unique<QSettings>(filePath, QSettings::IniFormat);
    m_settings->setAtomicSyncRequired(true);
    for (auto it = readable.cbegin(); it != readable.cend(); ++it)
        m_settings->setValue(it.key(), it.value());
    save();
    qCWarning(lcStore).noquote() << "the settings file was damaged and is kept as" << copy << "; carried over"
                                 << readable.size() << "readable keys:" << readable.keys().join(QLatin1Char(' '));
}

// QSettings reports only the first error it met, so once a save failed its status stays an
// error for good. A retry therefore goes through a fresh QSettings on the same file that is
// given every value the old one holds (written or not) and whose own status tells the outcome.
void Preferences::save()
{
    if (!m_saved) {
        auto fresh = std::make_unique<QSettings>(m_settings->fileName(), QSettings::IniFormat);
        fresh->setAtomicSyncRequired(true);
        const QStringList keys = m_settings->allKeys();
        for (const QString &key : fresh->allKeys()) {
            if (!keys.contains(key))
                fresh->remove(key);
        }
        for (const QString &key : keys)
            fresh->setValue(key, m_settings->value(key));
        m_settings = std::move(fresh);
    }
    m_settings->sync();
    const bool saved = m_settings->status() == QSettings::NoError;
    if (saved == m_saved)
        return;
    m_saved = saved;
    if (!saved)
        qCWarning(lcStore).noquote() << "could not save the settings to" << m_settings->fileName();
    if (m_saveListener)
        m_saveListener(saved);
}

Preferences::~Preferences() = default;

QString Preferences::filePath() const
{
    return m_settings->fileName();
}

void Preferences::write(const QString &key, const QVariant &value)
{
    m_settings->setValue(key, value);
    save();
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
    save();
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

bool Preferences::flag(QLatin1String key) const
{
    const QVariant value = m_settings->value(key);
    // The INI format gives a truth value back as text.
    return value.typeId() == QMetaType::Bool ? value.toBool() : value.toString() == QLatin1String("true");
}

bool Preferences::windowFullScreen() const
{
    return flag(windowFullScreenKey);
}

void Preferences::setWindowFullScreen(bool fullScreen)
{
    write(windowFullScreenKey, fullScreen);
}

bool Preferences::liveGuide() const
{
    return flag(liveGuideKey);
}

void Preferences::setLiveGuide(bool shown)
{
    write(liveGuideKey, shown);
}
