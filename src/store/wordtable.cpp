#include "wordtable.h"

QString WordTable::t(const QString &key, const QString &fallback) const
{
    const auto it = m_words.constFind(key);
    if (it == m_words.cend())
        return fallback;
    const QString word = it->trimmed();
    return word.isEmpty() ? fallback : word;
}
