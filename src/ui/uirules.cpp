#include "uirules.h"

#include "api/streamaddress.h"
#include "model/playlist.h"

#include <algorithm>

namespace {

QString trimBlanksAndTabs(const QString &text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (from < to && blank(text[from]))
        ++from;
    while (to > from && blank(text[to - 1]))
        --to;
    return text.mid(from, to - from);
}

} // namespace

void UiRules::reveal(QQuickItem *flickable, QQuickItem *item, qreal margin)
{
    if (!flickable || !item || flickable->height() <= 0)
        return;
    auto *content = flickable->property("contentItem").value<QQuickItem *>();
    if (!content || !content->isAncestorOf(item))
        return;
    for (QQuickItem *outer = item->parentItem(); outer && outer != content; outer = outer->parentItem()) {
        if (outer->metaObject()->indexOfMethod("forceLayout()") >= 0)
            QMetaObject::invokeMethod(outer, "forceLayout");
    }
    const qreal top = item->mapToItem(content, QPointF(0, 0)).y() - margin;
    const qreal bottom = top + item->height() + 2 * margin;
    const qreal now = flickable->property("contentY").toReal();
    const qreal height = flickable->height();
    qreal wanted = now;
    if (top < now)
        wanted = top;
    else if (bottom > now + height)
        wanted = std::min(bottom - height, flickable->property("contentHeight").toReal() - height);
    wanted = std::max<qreal>(0, wanted);
    if (wanted != now)
        flickable->setProperty("contentY", wanted);
}

QString UiRules::attachAddress()
{
    return QStringLiteral(MAVU_ATTACH_URL);
}

QString UiRules::exampleHost()
{
    return QStringLiteral(MAVU_EXAMPLE_HOST);
}

QString UiRules::manualHost(const QString &typed)
{
    QString host = trimBlanksAndTabs(typed);
    if (host.endsWith(QLatin1Char('/')))
        host.chop(1);
    return host;
}

QString UiRules::manualUser(const QString &typed)
{
    return trimBlanksAndTabs(typed);
}

QVariantMap UiRules::providerOfM3u(const QString &typed)
{
    const std::optional<Playlist> playlist = Playlist::providerOfM3u(trimBlanksAndTabs(typed));
    if (!playlist)
        return {};
    return {{QStringLiteral("host"), playlist->host},
            {QStringLiteral("user"), playlist->username},
            {QStringLiteral("pass"), playlist->password}};
}

QUrl UiRules::imageUrl(const QString &text)
{
    if (text.isEmpty())
        return {};
    return StreamAddress::webPicture(text).value_or(QUrl());
}

QString UiRules::checkStatusLine(bool hasPlaylist, bool statusLoaded, bool statusFailed)
{
    if (hasPlaylist)
        return QStringLiteral("Tap START to open your library.");
    if (statusLoaded && !statusFailed)
        return QStringLiteral("No playlist is attached to this device yet.\nAttach one to this MAC on ") + attachAddress()
            + QStringLiteral(", or connect a playlist manually below.");
    return {};
}

QString UiRules::sectionTitle(Mavu::Section section)
{
    return rawValue(section);
}

QString UiRules::episodeLabel(const Episode &episode)
{
    return episode.title.isEmpty() ? QStringLiteral("E") + QString::number(episode.episodeNum) : episode.title;
}
