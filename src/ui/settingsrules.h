#pragma once

#include "model/records.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

// The settings pages' decisions: what each row of the root page shows at its right, the steps
// of saving a new parental PIN, the hidden set after one switch, and the theme grid's columns.
class SettingsRules : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QStringList liveSortOptions READ liveSortOptions CONSTANT FINAL)
    Q_PROPERTY(QString defaultPin READ defaultPin CONSTANT FINAL)

public:
    using QObject::QObject;

    static constexpr int minimumPinLength = 4;

    // The live orderings by index: "Default", "A-Z", "Z-A".
    static QStringList liveSortOptions();
    static QString defaultPin();

    // The chosen theme's name, or nothing when the index is outside the list.
    static QString themeDetail(const QList<Theme> &themes, int index);
    Q_INVOKABLE static QString themeDetail(const QVariantList &themes, int index);
    // The ordering's name; an index above the last counts as the last, one below the first
    // as the first.
    Q_INVOKABLE static QString liveSortDetail(int index);
    // The language code in capitals.
    Q_INVOKABLE static QString languageDetail(const QString &code);
    // The connected playlist's host, or a dash when there is none.
    Q_INVOKABLE static QString accountPlaylist(bool hasPlaylist, const QString &host);

    // Saving is offered once both the current and the new PIN hold something.
    Q_INVOKABLE static bool canSavePin(const QString &current, const QString &pin);
    // Why the typed PINs cannot be saved, the first failing test first; empty when they can.
    Q_INVOKABLE static QString pinSaveError(const QString &current, const QString &stored, const QString &pin,
                                            const QString &confirm);

    // The hidden set after a category's switch went to `shown`: without its id when shown,
    // with it (once) when hidden; the other ids keep their order.
    Q_INVOKABLE static QStringList withShown(const QStringList &hidden, const QString &id, bool shown);

    // How many theme tiles fit side by side: at least one, each at least `minimum` wide.
    Q_INVOKABLE static int gridColumns(qreal available, qreal minimum, qreal spacing);
};
