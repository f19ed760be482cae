#include "jsonout.h"

namespace Lab {

namespace {

void appendHex4(QByteArray &out, unsigned value)
{
    static constexpr char hex[] = "0123456789abcdef";
    out += "\\u";
    out += hex[(value >> 12) & 0xF];
    out += hex[(value >> 8) & 0xF];
    out += hex[(value >> 4) & 0xF];
    out += hex[value & 0xF];
}

} // namespace

void JsonOut::appendText(QByteArray &out, QStringView value)
{
    out += '"';
    for (const QChar ch : value) {
        const char16_t c = ch.unicode();
        switch (c) {
        case u'"': out += "\\\""; break;
        case u'\\': out += "\\\\"; break;
        case u'/': out += "\\/"; break;
        case u'\n': out += "\\n"; break;
        case u'\r': out += "\\r"; break;
        case u'\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7F)
                appendHex4(out, c); // UTF-16 units: surrogate pairs come out as two escapes
            else
                out += char(c);
        }
    }
    out += '"';
}

void JsonOut::separate()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_depth > 0) {
        if (!m_first[size_t(m_depth)])
            m_out += ',';
        m_first[size_t(m_depth)] = false;
    }
}

JsonOut &JsonOut::open(char bracket)
{
    separate();
    m_out += bracket;
    ++m_depth;
    Q_ASSERT(m_depth < int(m_first.size()));
    m_first[size_t(m_depth)] = true;
    return *this;
}

JsonOut &JsonOut::close(char bracket)
{
    --m_depth;
    m_out += bracket;
    return *this;
}

JsonOut &JsonOut::key(const char *name)
{
    separate();
    m_out += '"';
    m_out += name;
    m_out += "\":";
    m_afterKey = true;
    return *this;
}

JsonOut &JsonOut::text(QStringView value)
{
    separate();
    appendText(m_out, value);
    return *this;
}

JsonOut &JsonOut::text(QLatin1StringView ascii)
{
    separate();
    m_out += '"';
    for (const char c : ascii) {
        if (c == '/')
            m_out += "\\/";
        else if (c == '"' || c == '\\')
            (m_out += '\\') += c;
        else if (uchar(c) < 0x20 || uchar(c) >= 0x7F)
            appendHex4(m_out, uchar(c));
        else
            m_out += c;
    }
    m_out += '"';
    return *this;
}

JsonOut &JsonOut::number(qint64 value)
{
    separate();
    m_out += QByteArray::number(value);
    return *this;
}

JsonOut &JsonOut::decimal(double value, int decimals)
{
    separate();
    m_out += QByteArray::number(value, 'f', decimals);
    return *this;
}

JsonOut &JsonOut::boolean(bool value)
{
    separate();
    m_out += value ? "true" : "false";
    return *this;
}

JsonOut &JsonOut::null()
{
    separate();
    m_out += "null";
    return *this;
}

JsonOut &JsonOut::raw(QByteArrayView json)
{
    separate();
    m_out += json;
    return *this;
}

} // namespace Lab
