#include "playermenumodel.h"

QStringList PlayerMenuModel::aspectNames()
{
    return {QStringLiteral("Default"), QStringLiteral("Fill"), QStringLiteral("16:9"),
            QStringLiteral("16:10"),   QStringLiteral("4:3"),  QStringLiteral("3:2")};
}

QList<PlayerMenuModel::Entry> PlayerMenuModel::entries(Kind kind, const QList<PlayerController::Track> &tracks)
{
    QList<Entry> list;
    if (kind == Kind::Aspect) {
        for (const QString &name : aspectNames())
            list.append({name, -1, true});
        return list;
    }
    if (tracks.isEmpty())
        return {{kind == Kind::Audio ? QStringLiteral("No audio tracks") : QStringLiteral("No subtitles"), -1, false}};
    for (const PlayerController::Track &track : tracks)
        list.append({track.name, track.index, true});
    return list;
}

void PlayerMenuModel::setController(PlayerController *controller)
{
    if (m_controller == controller)
        return;
    if (m_controller)
        disconnect(m_controller, nullptr, this, nullptr);
    m_controller = controller;
    if (m_controller)
        connect(m_controller, &PlayerController::tracksChanged, this, &PlayerMenuModel::refresh);
    Q_EMIT controllerChanged();
    refresh();
}

void PlayerMenuModel::setKind(Kind kind)
{
    if (m_kind == kind)
        return;
    m_kind = kind;
    Q_EMIT kindChanged();
    refresh();
}

void PlayerMenuModel::refresh()
{
    QList<PlayerController::Track> tracks;
    if (m_controller && m_kind != Kind::Aspect)
        tracks = m_kind == Kind::Audio ? m_controller->audioTrackList() : m_controller->subtitleTrackList();
    QList<Entry> next = entries(m_kind, tracks);
    if (next == m_entries)
        return;
    const int before = count();
    beginResetModel();
    m_entries = std::move(next);
    endResetModel();
    if (count() != before)
        Q_EMIT countChanged();
}

int PlayerMenuModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : count();
}

QVariant PlayerMenuModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Entry &entry = m_entries.at(index.row());
    switch (role) {
    case NameRole:
        return entry.name;
    case ChoosableRole:
        return entry.choosable;
    default:
        return {};
    }
}

QHash<int, QByteArray> PlayerMenuModel::roleNames() const
{
    return {{NameRole, QByteArrayLiteral("name")}, {ChoosableRole, QByteArrayLiteral("choosable")}};
}

void PlayerMenuModel::choose(int row)
{
    if (row < 0 || row >= count() || !m_controller || !m_entries.at(row).choosable)
        return;
    const Entry &entry = m_entries.at(row);
    switch (m_kind) {
    case Kind::Audio:
        m_controller->selectAudioTrack(entry.track);
        break;
    case Kind::Subtitles:
        m_controller->selectSubtitleTrack(entry.track);
        break;
    case Kind::Aspect:
        m_controller->setAspect(entry.name);
        break;
    }
}
