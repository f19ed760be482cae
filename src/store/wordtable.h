#pragma once

#include <QHash>
#include <QObject>
#include <QString>

// The words of the chosen language with the lookup every worded text goes through. A value, so
// that QML reads it as a property: a binding over `AppStore.words.t(key, fallback)` is evaluated
// again whenever the words change.
class WordTable
{
    Q_GADGET

public:
    WordTable() = default;
    explicit WordTable(QHash<QString, QString> words)
        : m_words(std::move(words))
    {
    }

    // The word for `key` without blanks and line breaks around it, or `fallback` when there is
    // no such word or it is blank.
    Q_INVOKABLE QString t(const QString &key, const QString &fallback) const;

    const QHash<QString, QString> &words() const { return m_words; }
    bool operator==(const WordTable &) const = default;

private:
    QHash<QString, QString> m_words;
};
