#include "urltext.h"

namespace UrlText {

QUrl parse(const QString &text)
{
    QUrl url(text, QUrl::StrictMode);
    return url;
}

QString encodeQuery(const QList<std::pair<QString, QString>> &items)
{
    QByteArray query;
    for (const auto &[name, value] : items) {
        if (!query.isEmpty())
            query += '&';
        query += QUrl::toPercentEncoding(name);
        query += '=';
        query += QUrl::toPercentEncoding(value);
    }
    return QString::fromLatin1(query);
}

QString encodePathText(const QString &text)
{
    // Everything except unreserved characters is encoded unless excluded here.
    static const QByteArray keep = QByteArrayLiteral("!$&'()*+,;=:@/");
    return QString::fromLatin1(QUrl::toPercentEncoding(text, keep));
}

} // namespace UrlText
