#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <array>

namespace Lab {

// Writes JSON text the way the panels' PHP back ends do: "/" escaped as "\/" and every
// character beyond ASCII as a \u escape (surrogate pairs beyond the basic plane). Numbers that
// panels send either as numbers or as texts are written in whichever form the caller asks for.
class JsonOut
{
public:
    explicit JsonOut(QByteArray &out) : m_out(out) {}

    JsonOut &beginObject() { return open('{'); }
    JsonOut &endObject() { return close('}'); }
    JsonOut &beginArray() { return open('['); }
    JsonOut &endArray() { return close(']'); }

    JsonOut &key(const char *name);

    JsonOut &text(QStringView value);
    JsonOut &text(const char *ascii) { return text(QLatin1StringView(ascii)); }
    JsonOut &text(QLatin1StringView ascii);
    JsonOut &number(qint64 value);
    JsonOut &decimal(double value, int decimals);
    JsonOut &boolean(bool value);
    JsonOut &null();
    // The same integer as a JSON number or as a text holding its digits.
    JsonOut &integer(qint64 value, bool asText) { return asText ? text(QLatin1StringView(QByteArray::number(value))) : number(value); }
    // Already-written JSON, placed as one value.
    JsonOut &raw(QByteArrayView json);

    // The escaped form of one text, quotes included.
    static void appendText(QByteArray &out, QStringView value);

private:
    JsonOut &open(char bracket);
    JsonOut &close(char bracket);
    void separate();

    QByteArray &m_out;
    std::array<bool, 16> m_first{};
    int m_depth = 0;
    bool m_afterKey = false;
};

} // namespace Lab
