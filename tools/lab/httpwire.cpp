#include "httpwire.h"

namespace HttpWire {

namespace {

QString formDecode(QByteArray text)
{
    text.replace('+', ' ');
    return QString::fromUtf8(QByteArray::fromPercentEncoding(text));
}

std::optional<qint64> digits(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 18)
        return std::nullopt;
    qint64 value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 416: return "Range Not Satisfiable";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

QByteArray head(int status, const QByteArray &contentType, std::optional<qint64> length, const HeaderList &extra)
{
    QByteArray text = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status) + "\r\n";
    text += "Content-Type: " + contentType + "\r\n";
    if (length)
        text += "Content-Length: " + QByteArray::number(*length) + "\r\n";
    else
        text += "Connection: close\r\n";
    for (const auto &[name, value] : extra)
        text += name + ": " + value + "\r\n";
    text += "\r\n";
    return text;
}

QByteArray Range::contentRange(qint64 size) const
{
    if (kind == Kind::unsatisfiable)
        return "bytes */" + QByteArray::number(size);
    return "bytes " + QByteArray::number(from) + '-' + QByteArray::number(to) + '/' + QByteArray::number(size);
}

Range range(const QByteArray &header, qint64 size)
{
    Range whole;
    whole.to = size - 1;
    const QByteArray text = header.trimmed();
    if (!text.startsWith("bytes="))
        return whole;
    const QByteArrayView asked = QByteArrayView(text).sliced(6).trimmed();
    const qsizetype dash = asked.indexOf('-');
    if (dash < 0 || asked.contains(','))
        return whole; // several ranges at once: answered whole
    const QByteArrayView firstText = asked.first(dash).trimmed();
    const QByteArrayView lastText = asked.sliced(dash + 1).trimmed();

    Range result;
    result.kind = Range::Kind::partial;
    if (firstText.isEmpty()) { // the last N bytes
        const auto suffix = digits(lastText);
        if (!suffix)
            return whole;
        if (*suffix == 0 || size == 0) {
            result.kind = Range::Kind::unsatisfiable;
            return result;
        }
        result.from = qMax<qint64>(0, size - *suffix);
        result.to = size - 1;
        return result;
    }
    const auto first = digits(firstText);
    if (!first)
        return whole;
    std::optional<qint64> last;
    if (!lastText.isEmpty()) {
        last = digits(lastText);
        if (!last || *last < *first)
            return whole; // not a valid range: ignored
    }
    if (*first >= size) {
        result.kind = Range::Kind::unsatisfiable;
        return result;
    }
    result.from = *first;
    result.to = last ? qMin(*last, size - 1) : size - 1;
    return result;
}

QList<std::pair<QString, QString>> parseQuery(const QByteArray &rawQuery)
{
    QList<std::pair<QString, QString>> items;
    if (rawQuery.isEmpty())
        return items;
    for (const QByteArray &item : rawQuery.split('&')) {
        const qsizetype equals = item.indexOf('=');
        if (equals < 0)
            items.append({formDecode(item), QString()});
        else
            items.append({formDecode(item.left(equals)), formDecode(item.mid(equals + 1))});
    }
    return items;
}

Target target(const QByteArray &encodedPath, const QByteArray &encodedQuery)
{
    Target result;
    QList<QByteArray> pieces = encodedPath.split('/');
    if (pieces.first().isEmpty())
        pieces.removeFirst(); // before the leading "/"
    for (const QByteArray &piece : std::as_const(pieces))
        result.segments.append(QString::fromUtf8(QByteArray::fromPercentEncoding(piece)));
    result.path = QLatin1Char('/') + result.segments.join(QLatin1Char('/'));
    result.query = parseQuery(encodedQuery);
    return result;
}

} // namespace HttpWire
