#include "streamheaders.h"

#include <QHash>
#include <QList>

#include <algorithm>

#include <mutex>

namespace {

// A few addresses are enough (what plays, the preview, the archive offsets of one programme);
// the oldest go first so that a long session does not grow the table.
constexpr qsizetype kept = 64;

struct Table
{
    std::mutex mutex;
    QHash<QUrl, StreamHeaders::Headers> byURL;
    QList<QUrl> order;
};

Table &table()
{
    static Table instance;
    return instance;
}

bool safe(const QByteArray &value)
{
    return !value.isEmpty() && value.size() <= 1024
        && std::none_of(value.cbegin(), value.cend(), [](char c) { return uchar(c) < 0x20 || uchar(c) == 0x7f; });
}

} // namespace

void StreamHeaders::set(const QUrl &url, const Headers &headers)
{
    Table &t = table();
    const std::lock_guard lock(t.mutex);
    t.order.removeAll(url);
    if (headers == Headers()) {
        t.byURL.remove(url);
        return;
    }
    t.byURL.insert(url, headers);
    t.order.append(url);
    while (t.order.size() > kept)
        t.byURL.remove(t.order.takeFirst());
}

std::optional<StreamHeaders::Headers> StreamHeaders::find(const QUrl &url)
{
    Table &t = table();
    const std::lock_guard lock(t.mutex);
    const auto found = t.byURL.constFind(url);
    if (found == t.byURL.cend())
        return std::nullopt;
    return *found;
}

void StreamHeaders::clear()
{
    Table &t = table();
    const std::lock_guard lock(t.mutex);
    t.byURL.clear();
    t.order.clear();
}

QByteArrayList StreamHeaders::options(const Headers &headers)
{
    QByteArrayList result;
    if (safe(headers.userAgent))
        result.append(":http-user-agent=" + headers.userAgent);
    if (safe(headers.referrer))
        result.append(":http-referrer=" + headers.referrer);
    return result;
}
