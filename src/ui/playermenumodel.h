#pragma once

#include "player/playercontroller.h"

#include <QAbstractListModel>
#include <QPointer>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

// The entries of one of the player's menus: the audio tracks, the subtitle tracks or the
// picture shapes. A track menu without tracks holds one entry that says so and does nothing.
class PlayerMenuModel : public QAbstractListModel
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(PlayerController *controller READ controller WRITE setController NOTIFY controllerChanged FINAL)
    Q_PROPERTY(Kind kind READ kind WRITE setKind NOTIFY kindChanged FINAL)
    Q_PROPERTY(int count READ count NOTIFY countChanged FINAL)

public:
    enum class Kind { Audio, Subtitles, Aspect };
    Q_ENUM(Kind)

    enum Role { NameRole = Qt::UserRole + 1, ChoosableRole };

    struct Entry
    {
        QString name;
        int track = -1; // the player's identifier of a track; -1 for an aspect or the empty entry
        bool choosable = true;
        bool operator==(const Entry &) const = default;
    };

    using QAbstractListModel::QAbstractListModel;

    // The shapes the aspect menu offers, in order, as PlayerController::setAspect names them.
    static QStringList aspectNames();
    // The entries of a menu of `kind` over these tracks (ignored for the aspect menu).
    static QList<Entry> entries(Kind kind, const QList<PlayerController::Track> &tracks);

    PlayerController *controller() const { return m_controller; }
    void setController(PlayerController *controller);
    Kind kind() const { return m_kind; }
    void setKind(Kind kind);
    int count() const { return int(m_entries.size()); }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    // Applies the entry at `row` to the player; nothing for an entry that is not choosable.
    Q_INVOKABLE void choose(int row);

Q_SIGNALS:
    void controllerChanged();
    void kindChanged();
    void countChanged();

private:
    void refresh();

    QPointer<PlayerController> m_controller;
    Kind m_kind = Kind::Audio;
    QList<Entry> m_entries;
};
