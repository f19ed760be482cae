#include "diagnostics.h"

#include <QElapsedTimer>
#include <QStringList>

#include <atomic>
#include <QUrlQuery>

Q_LOGGING_CATEGORY(lcNetwork, "mavu.network", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDecode, "mavu.decode", QtWarningMsg)
Q_LOGGING_CATEGORY(lcStore, "mavu.store", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPlayer, "mavu.player", QtWarningMsg)
Q_LOGGING_CATEGORY(lcTiming, "mavu.timing", QtWarningMsg)

namespace Diagnostics {

namespace {

const QString mask = QStringLiteral("***");

// How many segments follow the credentials in a stream address of this kind: "<id>.<ext>", or
// for catch-up "<minutes>/<start>/<id>.m3u8"; -1 for a segment that names no stream kind.
int segmentsAfterCredentials(const QString &segment)
{
    if (segment == QLatin1String("live") || segment == QLatin1String("movie") || segment == QLatin1String("series"))
        return 1;
    if (segment == QLatin1String("timeshift"))
        return 3;
    return -1;
}

// The user name is one segment; the password may hold "/" and so be several. Everything
// between the kind and the stream's own segments is the account's: when a path prefix or a
// user name with "/" makes that ambiguous, more is masked, never less.
QString maskedPath(const QString &encodedPath)
{
    QStringList segments = encodedPath.split(QLatin1Char('/'));
    for (qsizetype kind = 0; kind < segments.size(); ++kind) {
        const int after = segmentsAfterCredentials(segments.at(kind));
        const qsizetype credentials = segments.size() - kind - 1 - after;
        if (after < 0 || credentials < 2)
            continue;
        segments.remove(kind + 1, credentials);
        segments.insert(kind + 1, mask);
        segments.insert(kind + 1, mask);
        break;
    }
    return segments.join(QLatin1Char('/'));
}

QString maskedQuery(const QString &encodedQuery)
{
    QStringList items = encodedQuery.split(QLatin1Char('&'));
    for (QString &item : items) {
        const qsizetype equals = item.indexOf(QLatin1Char('='));
        const QString name = QUrl::fromPercentEncoding(item.left(equals < 0 ? item.size() : equals).toLatin1());
        if (name.compare(QLatin1String("password"), Qt::CaseInsensitive) == 0
            || name.compare(QLatin1String("username"), Qt::CaseInsensitive) == 0)
            item = item.left(equals < 0 ? item.size() : equals) + QLatin1Char('=') + mask;
    }
    return items.join(QLatin1Char('&'));
}

} // namespace

QString maskedAddress(const QUrl &input)
{
    QUrl url = input;
    if (!url.userInfo().isEmpty())
        url.setUserInfo(mask);
    url.setPath(maskedPath(url.path(QUrl::FullyEncoded)), QUrl::TolerantMode);
    if (url.hasQuery())
        url.setQuery(maskedQuery(url.query(QUrl::FullyEncoded)), QUrl::TolerantMode);
    return url.toString(QUrl::FullyEncoded);
}

QString requestName(const QUrl &url)
{
    const QString action = QUrlQuery(url).queryItemValue(QStringLiteral("action"), QUrl::FullyDecoded);
    if (!action.isEmpty())
        return action;
    if (url.path().endsWith(QLatin1String("/player_api.php")))
        return QStringLiteral("account");
    return QUrl(maskedAddress(url)).path();
}

} // namespace Diagnostics

namespace Timing {

namespace {

const QElapsedTimer &timingClock()
{
    static const QElapsedTimer started = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return started;
}

// Phases are marked from the decoding threads too.
std::atomic<qint64> g_origin{0};

} // namespace

void begin()
{
    g_origin.store(timingClock().nsecsElapsed());
}

double sinceBegin()
{
    return double(timingClock().nsecsElapsed() - g_origin.load()) / 1e6;
}

void mark(const char *phase, const QString &what)
{
    if (!lcTiming().isDebugEnabled())
        return;
    const QString ms = QString::number(sinceBegin(), 'f', 1);
    if (what.isEmpty())
        qCDebug(lcTiming).noquote() << phase << ms << "ms";
    else
        qCDebug(lcTiming).noquote() << phase << what << ms << "ms";
}

} // namespace Timing
