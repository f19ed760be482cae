#include "m3ureader.h"

#include <QCryptographicHash>
#include <QHash>

#include <cstring>

using namespace Qt::StringLiterals;

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

QByteArrayView trimmed(QByteArrayView text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && isBlank(text[from]))
        ++from;
    while (to > from && isBlank(text[to - 1]))
        --to;
    return text.sliced(from, to - from);
}

bool startsWithNoCase(QByteArrayView text, QByteArrayView prefix)
{
    return text.size() >= prefix.size() && text.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

bool hasControl(QByteArrayView text)
{
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            return true;
    }
    return false;
}

QString text(QByteArrayView bytes)
{
    // fromUtf8 puts U+FFFD in place of every broken sequence.
    return bytes.isEmpty() ? QString() : QString::fromUtf8(bytes);
}

// The scheme of an address ("http"), empty when the text has none (a relative address).
QByteArrayView schemeOf(QByteArrayView address)
{
    for (qsizetype i = 0; i < address.size(); ++i) {
        const char c = address[i];
        if (c == ':')
            return i > 0 ? address.first(i) : QByteArrayView();
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!letter && !(i > 0 && other))
            return {};
    }
    return {};
}

bool isStreamScheme(QByteArrayView scheme)
{
    static constexpr QByteArrayView allowed[] = {"http", "https", "rtsp", "rtmp", "udp", "rtp"};
    for (QByteArrayView name : allowed) {
        if (scheme.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool isPictureAddress(QByteArrayView address)
{
    return startsWithNoCase(address, "http://") || startsWithNoCase(address, "https://");
}

// The path of an absolute or relative address: after the authority, before query and fragment.
QStringView pathOf(QStringView url)
{
    qsizetype from = 0;
    const qsizetype schemeEnd = url.indexOf(u"://");
    if (schemeEnd >= 0) {
        from = url.indexOf(u'/', schemeEnd + 3);
        if (from < 0)
            return {};
    }
    qsizetype to = url.size();
    for (qsizetype i = from; i < url.size(); ++i) {
        if (url[i] == u'?' || url[i] == u'#') {
            to = i;
            break;
        }
    }
    return url.sliced(from, to - from);
}

// The extension of the path's last segment, lower case; empty when it has none that looks
// like a container (letters and digits, at most five).
QStringView extensionOf(QStringView path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot < 0 || dot < slash || path.size() - dot - 1 > 5 || dot + 1 == path.size())
        return {};
    const QStringView ext = path.sliced(dot + 1);
    for (QChar c : ext) {
        if (!c.isLetterOrNumber() || c.unicode() > 0x7f)
            return {};
    }
    return ext;
}

bool isMovieContainer(QStringView ext)
{
    static constexpr QStringView containers[] = {u"mp4", u"mkv", u"avi", u"mov", u"m4v", u"wmv", u"flv",
                                                 u"webm", u"mpg", u"mpeg", u"divx", u"ogv", u"3gp", u"vob"};
    for (QStringView name : containers) {
        if (ext.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

bool hasSegment(QStringView path, QStringView segment)
{
    return path.contains(segment, Qt::CaseInsensitive);
}

// A non-negative decimal number, or -1.
qint64 number(QByteArrayView text)
{
    text = trimmed(text);
    if (text.isEmpty() || text.size() > 9)
        return -1;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The attributes of an #EXTINF or #EXTM3U line, in any order, quoted or not. Values in
// double quotes may hold commas, blanks and even unescaped quotes: a quote closes the value
// only where it is followed by the next attribute, the comma before the title, or the end.
class AttributeScanner
{
public:
    explicit AttributeScanner(QByteArrayView line)
        : m_line(line)
    {
    }

    // The next attribute; false at the title comma or the end of the line.
    bool next(QByteArrayView &key, QByteArrayView &value)
    {
        for (;;) {
            while (m_at < m_line.size() && isBlank(m_line[m_at]))
                ++m_at;
            if (m_at >= m_line.size() || m_line[m_at] == ',')
                return false;
            const qsizetype keyStart = m_at;
            while (m_at < m_line.size() && m_line[m_at] != '=' && m_line[m_at] != ',' && !isBlank(m_line[m_at]))
                ++m_at;
            key = m_line.sliced(keyStart, m_at - keyStart);
            if (m_at >= m_line.size() || m_line[m_at] != '=')
                continue; // a word without a value (a stray token): not an attribute
            ++m_at;
            value = readValue();
            return true;
        }
    }

    // The title: everything after the first comma outside quotes.
    QByteArrayView title() const
    {
        if (m_at < m_line.size() && m_line[m_at] == ',')
            return trimmed(m_line.sliced(m_at + 1));
        return {};
    }

private:
    QByteArrayView readValue()
    {
        if (m_at >= m_line.size())
            return {};
        const char quote = m_line[m_at];
        if (quote != '"' && quote != '\'') {
            const qsizetype start = m_at;
            while (m_at < m_line.size() && m_line[m_at] != ',' && !isBlank(m_line[m_at]))
                ++m_at;
            return m_line.sliced(start, m_at - start);
        }
        const qsizetype start = ++m_at;
        qsizetype lastQuote = -1;
        for (qsizetype i = start; i < m_line.size(); ++i) {
            if (m_line[i] == '\\' && i + 1 < m_line.size() && m_line[i + 1] == quote) {
                ++i;
                continue;
            }
            if (m_line[i] != quote)
                continue;
            lastQuote = i;
            if (closesValue(i + 1)) {
                m_at = i + 1;
                return m_line.sliced(start, i - start);
            }
        }
        // No clean closing quote: up to the last quote seen, or to the end.
        if (lastQuote >= 0) {
            m_at = lastQuote + 1;
            return m_line.sliced(start, lastQuote - start);
        }
        m_at = m_line.size();
        return m_line.sliced(start);
    }

    bool closesValue(qsizetype at) const
    {
        while (at < m_line.size() && isBlank(m_line[at]))
            ++at;
        if (at >= m_line.size() || m_line[at] == ',')
            return true;
        // The next attribute: a key of name characters followed by '='.
        const qsizetype keyStart = at;
        while (at < m_line.size()) {
            const char c = m_line[at];
            const bool nameChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                                  || c == '-' || c == '_' || c == '.' || c == ':';
            if (!nameChar)
                break;
            ++at;
        }
        return at > keyStart && at < m_line.size() && m_line[at] == '=';
    }

    QByteArrayView m_line;
    qsizetype m_at = 0;
};

// The value with backslash-escaped quotes unescaped; most values have none.
QString attributeText(QByteArrayView value)
{
    value = trimmed(value);
    if (!value.contains('\\'))
        return text(value);
    QByteArray plain;
    plain.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && (value[i + 1] == '"' || value[i + 1] == '\''))
            ++i;
        plain.append(value[i]);
    }
    return QString::fromUtf8(plain);
}

// Repeated texts (user agents, referrers, catch-up kinds, extensions) share one block.
class Interned
{
public:
    QString get(const QString &value)
    {
        if (value.isEmpty())
            return {};
        if (value == m_last)
            return m_last;
        auto it = m_seen.constFind(value);
        if (it == m_seen.constEnd()) {
            if (m_seen.size() >= 256) // a list with a new value each entry gains nothing here
                return value;
            it = m_seen.insert(value, value);
        }
        m_last = *it;
        return m_last;
    }

private:
    QHash<QString, QString> m_seen;
    QString m_last;
};

} // namespace

struct M3uReader::State
{
    QUrl base;
    bool baseIsLocal = false;
    QByteArray pending; // the unfinished line
    bool pendingTooLong = false;
    bool firstLine = true;
    bool sawHeader = false;

    // What the lines before an address said about it.
    struct Entry
    {
        bool hasInfo = false;
        QString title;
        QString tvgName;
        QString logo;
        QString tvgId;
        QString group;
        QString extGroup;
        qint64 chno = -1;
        QString catchup;
        QString catchupSource;
        qint64 catchupDays = -1;
        QString userAgent;
        QString referrer;
    } entry;

    M3uCatalogue catalogue;
    std::array<QHash<QString, qsizetype>, 3> groupIndex; // group name → index in categories
    Interned shared;

    void line(QByteArrayView raw);
    void info(QByteArrayView rest);
    void header(QByteArrayView rest);
    void option(QByteArrayView rest);
    void address(QByteArrayView raw);
    QString resolve(QByteArrayView raw);
    QString categoryId(Section section, const QString &groupName);
};

void M3uReader::State::line(QByteArrayView raw)
{
    if (firstLine) {
        firstLine = false;
        if (raw.startsWith("\xEF\xBB\xBF"))
            raw = raw.sliced(3);
    }
    const QByteArrayView l = trimmed(raw);
    if (l.isEmpty())
        return;
    if (l[0] != '#') {
        address(l);
        return;
    }
    if (startsWithNoCase(l, "#EXTINF:"))
        info(l.sliced(8));
    else if (startsWithNoCase(l, "#EXTM3U"))
        header(l.sliced(7));
    else if (startsWithNoCase(l, "#EXTGRP:"))
        entry.extGroup = text(trimmed(l.sliced(8)));
    else if (startsWithNoCase(l, "#EXTVLCOPT:"))
        option(l.sliced(11));
    // Any other line starting with '#' is a comment or a tag this player has no use for.
}

void M3uReader::State::header(QByteArrayView rest)
{
    sawHeader = true;
    if (!catalogue.guideURL.isEmpty())
        return;
    AttributeScanner scanner(rest);
    QByteArrayView key;
    QByteArrayView value;
    while (scanner.next(key, value)) {
        if (key.compare("url-tvg", Qt::CaseInsensitive) != 0 && key.compare("x-tvg-url", Qt::CaseInsensitive) != 0)
            continue;
        // Some lists name several guides separated by commas; the first one is taken.
        const QByteArrayView first = trimmed(value.first(value.contains(',') ? value.indexOf(',') : value.size()));
        if (isPictureAddress(first) && !hasControl(first)) {
            catalogue.guideURL = text(first);
            return;
        }
    }
}

void M3uReader::State::info(QByteArrayView rest)
{
    if (entry.hasInfo)
        ++catalogue.skippedLines; // the previous entry never got an address
    // Options and #EXTGRP given before this line still belong to the entry it starts.
    const QString userAgent = std::move(entry.userAgent);
    const QString referrer = std::move(entry.referrer);
    const QString extGroup = std::move(entry.extGroup);
    entry = Entry{};
    entry.hasInfo = true;
    entry.userAgent = userAgent;
    entry.referrer = referrer;
    entry.extGroup = extGroup;

    // The duration comes first, up to a blank or the title comma.
    qsizetype at = 0;
    while (at < rest.size() && !isBlank(rest[at]) && rest[at] != ',')
        ++at;
    AttributeScanner scanner(rest.sliced(at));
    QByteArrayView key;
    QByteArrayView value;
    while (scanner.next(key, value)) {
        if (key.compare("tvg-id", Qt::CaseInsensitive) == 0)
            entry.tvgId = attributeText(value);
        else if (key.compare("tvg-name", Qt::CaseInsensitive) == 0)
            entry.tvgName = attributeText(value);
        else if (key.compare("tvg-logo", Qt::CaseInsensitive) == 0) {
            const QByteArrayView logo = trimmed(value);
            entry.logo = isPictureAddress(logo) && !hasControl(logo) ? text(logo) : QString();
        } else if (key.compare("group-title", Qt::CaseInsensitive) == 0)
            entry.group = attributeText(value);
        else if (key.compare("tvg-chno", Qt::CaseInsensitive) == 0)
            entry.chno = number(value);
        else if (key.compare("catchup", Qt::CaseInsensitive) == 0)
            entry.catchup = shared.get(attributeText(value));
        else if (key.compare("catchup-source", Qt::CaseInsensitive) == 0)
            entry.catchupSource = hasControl(value) ? QString() : attributeText(value);
        else if (key.compare("catchup-days", Qt::CaseInsensitive) == 0 || key.compare("tvg-rec", Qt::CaseInsensitive) == 0
                 || key.compare("timeshift", Qt::CaseInsensitive) == 0) {
            const qint64 days = number(value);
            if (days > 0 && entry.catchupDays <= 0)
                entry.catchupDays = days;
        }
    }
    entry.title = attributeText(scanner.title());
}

void M3uReader::State::option(QByteArrayView rest)
{
    const qsizetype equals = rest.indexOf('=');
    if (equals <= 0)
        return;
    const QByteArrayView key = trimmed(rest.first(equals));
    const QByteArrayView value = trimmed(rest.sliced(equals + 1));
    // A value that could smuggle a second option or header line is dropped whole.
    if (value.isEmpty() || value.size() > 1024 || hasControl(value))
        return;
    if (key.compare("http-user-agent", Qt::CaseInsensitive) == 0)
        entry.userAgent = shared.get(text(value));
    else if (key.compare("http-referrer", Qt::CaseInsensitive) == 0 || key.compare("http-referer", Qt::CaseInsensitive) == 0)
        entry.referrer = shared.get(text(value));
}

QString M3uReader::State::resolve(QByteArrayView raw)
{
    if (hasControl(raw))
        return {};
    const QByteArrayView scheme = schemeOf(raw);
    if (!scheme.isEmpty()) {
        if (isStreamScheme(scheme))
            return text(raw);
        // A local list may name local files; a list from the network never may.
        if (baseIsLocal && scheme.compare("file", Qt::CaseInsensitive) == 0)
            return text(raw);
        return {};
    }
    // A relative address: only against a list that has an address of its own, and only where
    // the line is plainly an entry (a web page's lines are not).
    if (base.isEmpty() || (!entry.hasInfo && !sawHeader) || raw.startsWith('<'))
        return {};
    const QUrl resolved = base.resolved(QUrl(text(raw)));
    if (!resolved.isValid())
        return {};
    const QString scheme2 = resolved.scheme();
    const bool local = scheme2 == u"file"_s;
    if (local ? !baseIsLocal : !isStreamScheme(scheme2.toLatin1()))
        return {};
    return resolved.toString(QUrl::FullyEncoded);
}

QString M3uReader::State::categoryId(Section section, const QString &groupName)
{
    auto &index = groupIndex[size_t(section)];
    auto &categories = catalogue.categories[size_t(section)];
    const auto found = index.constFind(groupName);
    if (found != index.constEnd())
        return categories.at(*found).id;
    Category category;
    category.id = M3uReader::groupId(groupName);
    category.name = groupName.isEmpty() ? M3uReader::ungroupedName() : groupName;
    index.insert(groupName, categories.size());
    categories.append(category);
    return category.id;
}

void M3uReader::State::address(QByteArrayView raw)
{
    Entry current = std::move(entry);
    entry = Entry{};
    QString url = resolve(raw);
    if (url.isEmpty()) {
        ++catalogue.skippedLines;
        return;
    }

    const Section section = M3uReader::sectionOf(url);
    QString name = !current.title.isEmpty() ? current.title : current.tvgName;
    if (name.isEmpty()) {
        const QStringView path = pathOf(url);
        name = path.sliced(path.lastIndexOf(u'/') + 1).toString();
        if (name.isEmpty())
            name = url;
    }
    const QString &group = !current.group.isEmpty() ? current.group : current.extGroup;

    auto &items = catalogue.items[size_t(section)];
    MediaItem item;
    item.id = QString::number(qulonglong(catalogue.streams.size()));
    item.name = name;
    item.kind = section == Section::live ? MediaItem::Kind::live
                : section == Section::movies ? MediaItem::Kind::movie
                                             : MediaItem::Kind::series;
    item.categoryId = categoryId(section, group);
    item.containerExt = shared.get(extensionOf(pathOf(url)).toString().toLower());
    item.icon = current.logo;
    item.num = current.chno >= 0 ? current.chno : items.size() + 1;
    item.epgChannelId = current.tvgId;
    const bool archive = section == Section::live && (!current.catchup.isEmpty() || current.catchupDays > 0);
    item.tvArchive = archive;
    if (archive && current.catchupDays > 0)
        item.archiveDays = current.catchupDays;
    items.append(std::move(item));

    M3uStream stream;
    stream.url = std::move(url);
    stream.userAgent = current.userAgent;
    stream.referrer = current.referrer;
    if (archive) {
        stream.catchup = current.catchup.isEmpty() ? u"default"_s : current.catchup;
        stream.catchupSource = current.catchupSource;
        stream.catchupDays = int(current.catchupDays > 0 ? current.catchupDays : 0);
    }
    catalogue.streams.push_back(std::move(stream));
}

M3uReader::M3uReader(QUrl base)
    : d(std::make_unique<State>())
{
    d->baseIsLocal = base.isLocalFile();
    d->base = std::move(base);
}

M3uReader::~M3uReader() = default;

void M3uReader::feed(QByteArrayView chunk)
{
    const char *at = chunk.data();
    const char *const end = at + chunk.size();
    while (at < end) {
        const auto *newline = static_cast<const char *>(std::memchr(at, '\n', size_t(end - at)));
        const char *lineEnd = newline ? newline : end;
        const qsizetype length = lineEnd - at;
        if (d->pending.isEmpty() && !d->pendingTooLong && newline) {
            // The usual case: a whole line inside this chunk, read where it lies.
            if (length > maxLineBytes)
                ++d->catalogue.skippedLines;
            else
                d->line(QByteArrayView(at, length));
        } else {
            if (!d->pendingTooLong) {
                if (d->pending.size() + length > maxLineBytes) {
                    d->pendingTooLong = true;
                    d->pending.clear();
                } else {
                    d->pending.append(at, length);
                }
            }
            if (newline) {
                if (d->pendingTooLong)
                    ++d->catalogue.skippedLines;
                else
                    d->line(d->pending);
                d->pending.resize(0);
                d->pendingTooLong = false;
            }
        }
        at = newline ? newline + 1 : end;
    }
}

Result<M3uCatalogue> M3uReader::finish()
{
    // A last line without a line break is still a line.
    if (d->pendingTooLong)
        ++d->catalogue.skippedLines;
    else if (!d->pending.isEmpty())
        d->line(d->pending);
    d->pending = {};
    d->pendingTooLong = false;
    if (d->entry.hasInfo) {
        ++d->catalogue.skippedLines;
        d->entry = {};
    }
    if (!d->sawHeader && d->catalogue.streams.empty())
        return Failure{Failure::Kind::notUnderstood};
    M3uCatalogue done = std::move(d->catalogue);
    d->catalogue = {};
    return done;
}

Section M3uReader::sectionOf(QStringView url)
{
    const QStringView path = pathOf(url);
    if (hasSegment(path, u"/series/"))
        return Section::series;
    if (hasSegment(path, u"/movie/") || isMovieContainer(extensionOf(path)))
        return Section::movies;
    return Section::live;
}

QString M3uReader::groupId(const QString &groupName)
{
    const QByteArray digest = QCryptographicHash::hash(groupName.toUtf8(), QCryptographicHash::Sha1);
    return QString::fromLatin1(digest.first(6).toHex());
}

QString M3uReader::ungroupedName()
{
    return u"Uncategorised"_s;
}

const M3uStream *M3uCatalogue::stream(const QString &itemId) const
{
    bool ok = false;
    const qulonglong index = itemId.toULongLong(&ok);
    if (!ok || index >= streams.size() || itemId != QString::number(index))
        return nullptr;
    return &streams[index];
}
