#include "watchpositions.h"

#include "api/diagnostics.h"
#include "store/ownerfile.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <algorithm>
#include <iterator>

namespace {

constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
constexpr int fileVersion = 1;

QJsonObject toJson(const WatchEntry &entry)
{
    QJsonObject object{
        {QStringLiteral("kind"), entry.kind},
        {QStringLiteral("id"), entry.streamId},
        {QStringLiteral("ext"), entry.containerExt},
        {QStringLiteral("title"), entry.title},
        {QStringLiteral("poster"), entry.poster},
        {QStringLiteral("position"), entry.positionMs},
        {QStringLiteral("length"), entry.lengthMs},
        {QStringLiteral("saved"), entry.savedAtMs},
    };
    if (entry.isEpisode()) {
        object.insert(QStringLiteral("series"), entry.seriesId);
        object.insert(QStringLiteral("show"), entry.showName);
        object.insert(QStringLiteral("season"), entry.season);
        object.insert(QStringLiteral("episode"), entry.episodeNum);
    }
    return object;
}

std::optional<WatchEntry> fromJson(const QJsonValue &value)
{
    if (!value.isObject())
        return std::nullopt;
    const QJsonObject o = value.toObject();
    WatchEntry entry;
    entry.kind = o.value(QStringLiteral("kind")).toString();
    entry.streamId = o.value(QStringLiteral("id")).toString();
    if ((entry.kind != WatchEntry::movieKind && entry.kind != WatchEntry::episodeKind) || entry.streamId.isEmpty())
        return std::nullopt;
    const QJsonValue position = o.value(QStringLiteral("position"));
    if (!position.isDouble() || position.toDouble() < 0)
        return std::nullopt;
    entry.positionMs = qint64(position.toDouble());
    entry.lengthMs = std::max<qint64>(0, qint64(o.value(QStringLiteral("length")).toDouble()));
    entry.savedAtMs = qint64(o.value(QStringLiteral("saved")).toDouble());
    entry.containerExt = o.value(QStringLiteral("ext")).toString();
    entry.title = o.value(QStringLiteral("title")).toString();
    entry.poster = o.value(QStringLiteral("poster")).toString();
    entry.seriesId = o.value(QStringLiteral("series")).toString();
    entry.showName = o.value(QStringLiteral("show")).toString();
    entry.season = qint64(o.value(QStringLiteral("season")).toDouble());
    entry.episodeNum = qint64(o.value(QStringLiteral("episode")).toDouble());
    if (entry.isEpisode() && entry.seriesId.isEmpty())
        return std::nullopt;
    return entry;
}

// Keeps an unreadable file beside the new one, for whoever wants to look into it: moved when
// nothing in it could be read, copied when its readable entries stay in use.
void keepAside(const QString &path, bool move)
{
    const QString aside = path + QStringLiteral(".damaged");
    QFile::remove(aside);
    if (!(move ? QFile::rename(path, aside) : QFile::copy(path, aside)))
        qCWarning(lcStore) << "could not keep the damaged positions file aside";
    else
        QFile::setPermissions(aside, ownerOnly);
}

} // namespace

double WatchEntry::progress() const
{
    if (lengthMs <= 0)
        return 0;
    return std::clamp(double(positionMs) / double(lengthMs), 0.0, 1.0);
}

QString WatchEntry::caption() const
{
    if (!isEpisode())
        return title;
    const QString where = QStringLiteral("S%1 E%2").arg(season).arg(episodeNum);
    return showName.isEmpty() ? where : showName + QStringLiteral(" · ") + where;
}

WatchPositions::WatchPositions(QObject *parent)
    : QObject(parent)
    , m_clock([] { return QDateTime::currentMSecsSinceEpoch(); })
    , m_model(new WatchEntryListModel(QByteArrayLiteral("entry"), this))
{
}

QString WatchPositions::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/positions.json");
}

void WatchPositions::setPath(const QString &path)
{
    m_path = path;
    m_entries.clear();
    load();
    changedEntries();
}

void WatchPositions::setPlaylist(const std::optional<Playlist> &playlist)
{
    std::optional<QString> key;
    if (playlist)
        key = playlistKey(*playlist);
    if (key == m_key)
        return;
    m_key = key;
    changedEntries();
}

QString WatchPositions::playlistKey(const Playlist &playlist)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(playlist.host.toUtf8());
    hash.addData(QByteArrayView("\n"));
    hash.addData(playlist.username.toUtf8());
    return QString::fromLatin1(hash.result().left(12).toHex());
}

bool WatchPositions::worthKeeping(qint64 positionMs, qint64 lengthMs) const
{
    if (positionMs < m_thresholds.shortestMs)
        return false;
    if (lengthMs <= 0) // a length not known yet says nothing about the end
        return true;
    return positionMs <= lengthMs * m_thresholds.finishedFraction && lengthMs - positionMs >= m_thresholds.tailMs;
}

void WatchPositions::record(WatchEntry entry)
{
    if (!m_key || entry.streamId.isEmpty())
        return;
    QList<WatchEntry> &list = m_entries[*m_key];
    const auto same = [&](const WatchEntry &e) { return e.kind == entry.kind && e.streamId == entry.streamId; };
    const bool had = list.removeIf(same) > 0;
    if (worthKeeping(entry.positionMs, entry.lengthMs)) {
        entry.savedAtMs = now();
        list.append(std::move(entry));
        trim();
    } else if (!had) {
        return;
    }
    if (list.isEmpty())
        m_entries.remove(*m_key);
    save();
    changedEntries();
}

void WatchPositions::remove(const QString &kind, const QString &streamId)
{
    if (!m_key)
        return;
    const auto it = m_entries.find(*m_key);
    if (it == m_entries.end())
        return;
    if (it->removeIf([&](const WatchEntry &e) { return e.kind == kind && e.streamId == streamId; }) == 0)
        return;
    if (it->isEmpty())
        m_entries.erase(it);
    save();
    changedEntries();
}

std::optional<WatchEntry> WatchPositions::find(const QString &kind, const QString &streamId) const
{
    if (!m_key)
        return std::nullopt;
    for (const WatchEntry &entry : m_entries.value(*m_key)) {
        if (entry.kind == kind && entry.streamId == streamId)
            return entry;
    }
    return std::nullopt;
}

double WatchPositions::progressOf(const QString &kind, const QString &streamId) const
{
    const auto entry = find(kind, streamId);
    return entry ? entry->progress() : 0.0;
}

double WatchPositions::progressOfItem(const MediaItem &item) const
{
    return item.kind == MediaItem::Kind::movie ? progressOf(WatchEntry::movieKind, item.id) : 0.0;
}

double WatchPositions::progressOfEpisode(const Episode &episode) const
{
    return progressOf(WatchEntry::episodeKind, episode.id);
}

QList<WatchEntry> WatchPositions::entries() const
{
    QList<WatchEntry> list = m_key ? m_entries.value(*m_key) : QList<WatchEntry>();
    std::stable_sort(list.begin(), list.end(),
                     [](const WatchEntry &a, const WatchEntry &b) { return a.savedAtMs > b.savedAtMs; });
    return list;
}

qint64 WatchPositions::now()
{
    // Strictly increasing, so that two saves within one millisecond still order.
    m_lastStamp = std::max(m_clock(), m_lastStamp + 1);
    return m_lastStamp;
}

void WatchPositions::trim()
{
    qsizetype total = 0;
    for (const QList<WatchEntry> &list : std::as_const(m_entries))
        total += list.size();
    while (total > limit) {
        // The oldest of every playlist goes first: the file stays small whatever is connected.
        QList<WatchEntry> *oldestList = nullptr;
        qsizetype oldestIndex = -1;
        for (QList<WatchEntry> &list : m_entries) {
            for (qsizetype i = 0; i < list.size(); ++i) {
                if (!oldestList || list[i].savedAtMs < (*oldestList)[oldestIndex].savedAtMs) {
                    oldestList = &list;
                    oldestIndex = i;
                }
            }
        }
        oldestList->removeAt(oldestIndex);
        --total;
    }
    for (auto it = m_entries.begin(); it != m_entries.end();)
        it = it->isEmpty() ? m_entries.erase(it) : std::next(it);
}

void WatchPositions::changedEntries()
{
    m_model->replace(entries());
    ++m_revision;
    Q_EMIT changed();
}

void WatchPositions::load()
{
    if (m_path.isEmpty())
        return;
    QFile file(m_path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcStore) << "positions file cannot be read; starting without positions";
        return;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    file.close();
    const QJsonObject root = document.object();
    if (error.error != QJsonParseError::NoError || !document.isObject()
        || root.value(QStringLiteral("version")).toInt() != fileVersion
        || !root.value(QStringLiteral("playlists")).isObject()) {
        qCWarning(lcStore) << "positions file damaged; kept aside, starting without positions";
        keepAside(m_path, true);
        return;
    }
    bool skipped = false;
    const QJsonObject playlists = root.value(QStringLiteral("playlists")).toObject();
    for (auto it = playlists.begin(); it != playlists.end(); ++it) {
        QList<WatchEntry> list;
        const QJsonArray array = it.value().toArray();
        skipped |= !it.value().isArray();
        for (const QJsonValue &value : array) {
            if (auto entry = fromJson(value))
                list.append(*std::move(entry));
            else
                skipped = true;
        }
        if (!list.isEmpty())
            m_entries.insert(it.key(), list);
        for (const WatchEntry &entry : std::as_const(list))
            m_lastStamp = std::max(m_lastStamp, entry.savedAtMs);
    }
    // The next save drops what could not be read: a copy of the whole stays for inspection.
    if (skipped) {
        qCWarning(lcStore) << "positions file partly damaged; its readable entries kept, the file kept aside";
        keepAside(m_path, false);
    }
}

bool WatchPositions::save()
{
    if (m_path.isEmpty())
        return true;
    QJsonObject playlists;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        QJsonArray array;
        for (const WatchEntry &entry : it.value())
            array.append(toJson(entry));
        playlists.insert(it.key(), array);
    }
    const QByteArray bytes = QJsonDocument(QJsonObject{{QStringLiteral("version"), fileVersion},
                                                       {QStringLiteral("playlists"), playlists}})
                                 .toJson(QJsonDocument::Compact);
    const bool written = writeOwnerOnlyFile(m_path, bytes);
    if (written != !m_saveFailed)
        qCWarning(lcStore) << (written ? "positions saved again" : "positions could not be saved; tried again later");
    m_saveFailed = !written;
    return written;
}
