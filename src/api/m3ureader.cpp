#include "m3ureader.h"

#include "api/hugepages.h"

#include <QCryptographicHash>
#include <QHash>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <new>
#include <span>

#include <sys/mman.h>

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

// Names are literals: their lengths are known when compiling, so a name of another length
// costs one comparison.
template<size_t N>
bool startsWithNoCase(QByteArrayView text, const char (&prefix)[N])
{
    constexpr qsizetype size = N - 1;
    if (text.size() < size)
        return false;
    return std::memcmp(text.data(), prefix, size) == 0
        || text.first(size).compare(QByteArrayView(prefix, size), Qt::CaseInsensitive) == 0;
}

// Attribute and option names, as lists mostly write them (lower case) or otherwise.
bool keyIs(QByteArrayView key, QByteArrayView name)
{
    return key.size() == name.size()
        && (std::memcmp(key.data(), name.data(), size_t(key.size())) == 0
            || key.compare(name, Qt::CaseInsensitive) == 0);
}

template<size_t N>
bool keyIs(QByteArrayView key, const char (&name)[N])
{
    return key.size() == qsizetype(N - 1) && keyIs(key, QByteArrayView(name, qsizetype(N - 1)));
}

bool hasControl(QByteArrayView text)
{
    // Without an early exit the loop is vectorised; the texts are short and seldom hold one.
    bool found = false;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        found |= (u < 0x20) | (u == 0x7f);
    }
    return found;
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
    if (scheme == "http" || scheme == "https")
        return true;
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

// The first "://" in the text, or -1. Every address has one near its start: the colons are
// few and the search seldom goes past the first.
qsizetype schemeEndOf(QByteArrayView url)
{
    const char *const begin = url.data();
    const char *const end = begin + url.size();
    for (const char *at = begin; end - at >= 3;) {
        const auto *colon = static_cast<const char *>(std::memchr(at, ':', size_t(end - at - 2)));
        if (!colon)
            return -1;
        if (colon[1] == '/' && colon[2] == '/')
            return colon - begin;
        at = colon + 1;
    }
    return -1;
}

// The path of an absolute or relative address: after the authority, before query and fragment.
QByteArrayView pathOf(QByteArrayView url)
{
    qsizetype from = 0;
    const qsizetype schemeEnd = schemeEndOf(url);
    if (schemeEnd >= 0) {
        const auto *slash = static_cast<const char *>(
            std::memchr(url.data() + schemeEnd + 3, '/', size_t(url.size() - schemeEnd - 3)));
        if (!slash)
            return {};
        from = slash - url.data();
    }
    qsizetype to = from;
    while (to < url.size() && url[to] != '?' && url[to] != '#')
        ++to;
    return url.sliced(from, to - from);
}

// The extension of the path's last segment; empty when it has none that looks like a
// container (letters and digits, at most five).
QByteArrayView extensionOf(QByteArrayView path)
{
    const qsizetype slash = path.lastIndexOf('/');
    const qsizetype dot = path.lastIndexOf('.');
    if (dot < 0 || dot < slash || path.size() - dot - 1 > 5 || dot + 1 == path.size())
        return {};
    const QByteArrayView ext = path.sliced(dot + 1);
    for (char c : ext) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return {};
    }
    return ext;
}

bool isMovieContainer(QByteArrayView ext)
{
    if (ext.isEmpty() || ext == "ts" || ext == "m3u8")
        return false;
    static constexpr QByteArrayView containers[] = {"mp4",  "mkv", "avi",  "mov",  "m4v", "wmv", "flv",
                                                    "webm", "mpg", "mpeg", "divx", "ogv", "3gp", "vob"};
    for (QByteArrayView name : containers) {
        if (ext.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

// Whether the path holds a /series/ segment, else a /movie/ one, in one pass over its slashes.
// Lower case as lists write them; "/Movie/" is rare enough not to pay for a folding search.
Section segmentSection(QByteArrayView path)
{
    bool movie = false;
    const char *const end = path.data() + path.size();
    for (const char *at = path.data(); end - at >= 7;) {
        const auto *slash = static_cast<const char *>(std::memchr(at, '/', size_t(end - at - 6)));
        if (!slash)
            break;
        const size_t left = size_t(end - slash);
        if (left >= 8 && std::memcmp(slash, "/series/", 8) == 0)
            return Section::series;
        movie = movie || std::memcmp(slash, "/movie/", 7) == 0;
        at = slash + 1;
    }
    return movie ? Section::movies : Section::live;
}

// `ext` is extensionOf(path), which the caller also keeps.
Section sectionOfPath(QByteArrayView path, QByteArrayView ext)
{
    const Section bySegment = segmentSection(path);
    if (bySegment != Section::live)
        return bySegment;
    return isMovieContainer(ext) ? Section::movies : Section::live;
}

Section sectionOfPath(QByteArrayView path)
{
    return sectionOfPath(path, extensionOf(path));
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
            // Straight to the next quote; an escaped one is the only other thing that counts.
            const auto *next = static_cast<const char *>(std::memchr(m_line.data() + i, quote, size_t(m_line.size() - i)));
            if (!next)
                break;
            i = next - m_line.data();
            if (i > start && m_line[i - 1] == '\\')
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
            const bool nameChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-'
                || c == '_' || c == '.' || c == ':';
            if (!nameChar)
                break;
            ++at;
        }
        return at > keyStart && at < m_line.size() && m_line[at] == '=';
    }

    QByteArrayView m_line;
    qsizetype m_at = 0;
};

// Appends the value with backslash-escaped quotes unescaped; most values have none.
void appendUnescaped(QByteArray &out, QByteArrayView value)
{
    if (!value.contains('\\')) {
        out.append(value);
        return;
    }
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size() && (value[i + 1] == '"' || value[i + 1] == '\''))
            ++i;
        out.append(value[i]);
    }
}

// FNV-1a over the parts with a separator between them: stable across runs and Qt versions,
// since saved favourites and positions hold it.
quint64 entryKey(Section section, QByteArrayView guideId, QByteArrayView name, QByteArrayView segment)
{
    quint64 hash = 14695981039346656037ull;
    const auto mix = [&hash](QByteArrayView bytes) {
        for (const char c : bytes) {
            hash ^= quint8(c);
            hash *= 1099511628211ull;
        }
        hash ^= 0x1f;
        hash *= 1099511628211ull;
    };
    const char sectionByte = char('0' + int(section));
    mix(QByteArrayView(&sectionByte, 1));
    mix(guideId);
    mix(name);
    mix(segment);
    return hash;
}

// Sixteen lower-case hex digits, written straight into the string: every record's id is one,
// and a formatted arg() cost more than the rest of the record.
QString keyText(quint64 key)
{
    QString out(16, Qt::Uninitialized);
    char16_t *digit = reinterpret_cast<char16_t *>(out.data()) + 16;
    for (int i = 0; i < 16; ++i, key >>= 4)
        *--digit = u"0123456789abcdef"[key & 0xf];
    return out;
}

} // namespace

struct M3uReader::State
{
    QUrl base;
    bool baseIsLocal = false;
    QByteArray pending; // the unfinished line
    bool pendingTooLong = false;
    bool firstLine = true;
    bool sawHeader = false;
    // Reading from a fresh line on, to be joined to the reader of the lines before: an entry
    // without a channel number is given its place within this part, negated, and the join
    // adds the places before it.
    bool continued = false;
    M3uCatalogue catalogue;

    // What the lines before an address said about it. Its texts already sit at the end of the
    // catalogue's text block, from `mark` on, and go again if no address comes.
    struct Entry
    {
        bool hasInfo = false;
        quint32 mark = 0;
        M3uCatalogue::Text title;
        M3uCatalogue::Text tvgName;
        M3uCatalogue::Text icon;
        M3uCatalogue::Text guideId;
        M3uCatalogue::Text catchupSource;
        QByteArray group;
        QByteArray extGroup;
        QByteArray catchup;
        qint64 chno = -1;
        qint64 catchupDays = -1;
        QString userAgent;
        QString referrer;

        // Clears what one #EXTINF line says, keeping the buffers' room.
        void clearInfo()
        {
            hasInfo = false;
            title = tvgName = icon = guideId = catchupSource = {};
            group.resize(0);
            catchup.resize(0);
            chno = catchupDays = -1;
        }
    } entry;

    // The group the previous entry of each section went to: lists keep a group together.
    std::array<QByteArray, 3> lastGroup;
    std::array<qint64, 3> lastGroupIndex{-1, -1, -1};
    std::array<QHash<QByteArray, quint32>, 3> groupIndex;
    // Different bytes can read as one name (invalid UTF-8 reads as U+FFFD): one group each.
    std::array<QHash<QString, quint32>, 3> groupByName;
    QHash<QByteArray, quint16> extensionIndex;
    QByteArray lastExtensionBytes;
    quint16 lastExtension = 0;
    QByteArray scratch;
    // The option texts of the previous entries: lists repeat them on entry after entry.
    struct Repeated
    {
        QByteArray bytes;
        QString text;
    };
    Repeated lastUserAgent;
    Repeated lastReferrer;
    Repeated lastCatchup;

    static QString repeated(QByteArrayView bytes, Repeated &last)
    {
        if (last.text.isNull() || last.bytes != bytes) {
            last.bytes = bytes.toByteArray();
            last.text = text(bytes);
        }
        return last.text;
    }

    void line(QByteArrayView raw);
    // The unfinished last line is still a line; an entry left without an address is dropped.
    void finishLines();
    bool join(State &tail);
    void info(QByteArrayView rest);
    void header(QByteArrayView rest);
    void option(QByteArrayView rest);
    void address(QByteArrayView raw);
    void dropEntry();
    bool resolve(QByteArrayView raw, M3uCatalogue::Text &url);
    M3uCatalogue::Text append(QByteArrayView bytes, bool unescape = false);
    quint32 groupOf(Section section, QByteArrayView name);
    quint32 optionsOf(const M3uCatalogue::Options &options);
    quint16 extensionOf(QByteArrayView ext);
    QByteArrayView view(M3uCatalogue::Text text) const { return catalogue.m_texts.view(text); }
};

M3uCatalogue::Text M3uReader::State::append(QByteArrayView bytes, bool unescape)
{
    bytes = trimmed(bytes);
    if (bytes.isEmpty() || !unescape || !std::memchr(bytes.data(), '\\', size_t(bytes.size())))
        return catalogue.m_texts.add(bytes);
    scratch.resize(0);
    appendUnescaped(scratch, bytes);
    return catalogue.m_texts.add(scratch);
}

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
    else if (startsWithNoCase(l, "#EXTGRP:")) {
        entry.extGroup.resize(0);
        entry.extGroup.append(trimmed(l.sliced(8)));
    } else if (startsWithNoCase(l, "#EXTVLCOPT:"))
        option(l.sliced(11));
    // Any other line starting with '#' is a comment or a tag this player has no use for.
}

void M3uReader::State::header(QByteArrayView rest)
{
    sawHeader = true;
    if (!catalogue.m_guideURL.isEmpty())
        return;
    AttributeScanner scanner(rest);
    QByteArrayView key;
    QByteArrayView value;
    while (scanner.next(key, value)) {
        if (!keyIs(key, "url-tvg") && !keyIs(key, "x-tvg-url"))
            continue;
        // Some lists name several guides separated by commas; the first one is taken.
        const QByteArrayView first = trimmed(value.first(value.contains(',') ? value.indexOf(',') : value.size()));
        if (isPictureAddress(first) && !hasControl(first)) {
            catalogue.m_guideURL = text(first);
            return;
        }
    }
}

void M3uReader::State::dropEntry()
{
    if (!entry.hasInfo)
        return;
    ++catalogue.m_skippedLines;
    catalogue.m_texts.truncate(quint32(entry.mark));
    entry.clearInfo();
}

void M3uReader::State::info(QByteArrayView rest)
{
    dropEntry(); // the previous entry never got an address
    // Options and #EXTGRP given before this line still belong to the entry it starts.
    entry.clearInfo();
    entry.hasInfo = true;
    entry.mark = catalogue.m_texts.position();

    // The duration comes first, up to a blank or the title comma.
    qsizetype at = 0;
    while (at < rest.size() && !isBlank(rest[at]) && rest[at] != ',')
        ++at;
    // One search of the line instead of one of each value: lines with an escape are rare.
    const bool escapes = std::memchr(rest.data(), '\\', size_t(rest.size())) != nullptr;
    AttributeScanner scanner(rest.sliced(at));
    QByteArrayView key;
    QByteArrayView value;
    while (scanner.next(key, value)) {
        if (keyIs(key, "tvg-id"))
            entry.guideId = append(value, escapes);
        else if (keyIs(key, "tvg-name"))
            entry.tvgName = append(value, escapes);
        else if (keyIs(key, "tvg-logo")) {
            const QByteArrayView logo = trimmed(value);
            entry.icon = isPictureAddress(logo) && !hasControl(logo) ? append(logo) : M3uCatalogue::Text{};
        } else if (keyIs(key, "group-title")) {
            const QByteArrayView group = trimmed(value);
            if (escapes) {
                entry.group.resize(0);
                appendUnescaped(entry.group, group);
            } else {
                // Over the kept room, without append's general path.
                entry.group.resize(group.size());
                if (!group.isEmpty())
                    std::memcpy(entry.group.data(), group.data(), size_t(group.size()));
            }
        } else if (keyIs(key, "tvg-chno"))
            entry.chno = number(value);
        else if (keyIs(key, "catchup")) {
            // A kind is a short word; anything else is not passed on.
            const QByteArrayView kind = trimmed(value);
            entry.catchup.resize(0);
            if (kind.size() <= 32 && !hasControl(kind))
                entry.catchup.append(kind);
        } else if (keyIs(key, "catchup-source"))
            entry.catchupSource = hasControl(value) ? M3uCatalogue::Text{} : append(value, escapes);
        else if (keyIs(key, "catchup-days") || keyIs(key, "tvg-rec") || keyIs(key, "timeshift")) {
            const qint64 days = number(value);
            if (days > 0 && entry.catchupDays <= 0)
                entry.catchupDays = days;
        }
    }
    entry.title = append(scanner.title(), escapes);
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
    if (keyIs(key, "http-user-agent"))
        entry.userAgent = repeated(value, lastUserAgent);
    else if (keyIs(key, "http-referrer") || keyIs(key, "http-referer"))
        entry.referrer = repeated(value, lastReferrer);
}

bool M3uReader::State::resolve(QByteArrayView raw, M3uCatalogue::Text &url)
{
    if (hasControl(raw))
        return false;
    const QByteArrayView scheme = schemeOf(raw);
    if (!scheme.isEmpty()) {
        // A local list may name local files; a list from the network never may.
        if (!isStreamScheme(scheme) && !(baseIsLocal && scheme.compare("file", Qt::CaseInsensitive) == 0))
            return false;
        url = append(raw);
        return true;
    }
    // A relative address: only against a list that has an address of its own, and only where
    // the line is plainly an entry (a web page's lines are not).
    if (base.isEmpty() || (!entry.hasInfo && !sawHeader) || raw.startsWith('<'))
        return false;
    const QUrl resolved = base.resolved(QUrl(text(raw)));
    if (!resolved.isValid())
        return false;
    const QString resolvedScheme = resolved.scheme();
    const bool local = resolvedScheme == u"file"_s;
    if (local ? !baseIsLocal : !isStreamScheme(resolvedScheme.toLatin1()))
        return false;
    url = append(resolved.toEncoded(QUrl::FullyEncoded));
    return true;
}

quint32 M3uReader::State::groupOf(Section section, QByteArrayView name)
{
    const size_t s = size_t(section);
    if (lastGroupIndex[s] >= 0 && lastGroup[s] == name)
        return quint32(lastGroupIndex[s]);
    auto &index = groupIndex[s];
    // Looked up over the line's own bytes; copied only for a new group.
    auto found = index.constFind(QByteArray::fromRawData(name.data(), name.size()));
    if (found == index.constEnd()) {
        auto &categories = catalogue.m_categories[s];
        const QString groupName = name.isEmpty() ? QString() : text(name);
        const auto named = groupByName[s].constFind(groupName);
        if (named != groupByName[s].constEnd()) {
            found = index.insert(name.toByteArray(), *named);
        } else {
            Category category;
            category.name = name.isEmpty() ? M3uReader::ungroupedName() : groupName;
            category.id = M3uReader::groupId(groupName);
            groupByName[s].insert(groupName, quint32(categories.size()));
            found = index.insert(name.toByteArray(), quint32(categories.size()));
            categories.append(category);
            catalogue.m_groupEntries[s].emplace_back();
        }
    }
    lastGroup[s] = found.key();
    lastGroupIndex[s] = *found;
    return *found;
}

quint32 M3uReader::State::optionsOf(const M3uCatalogue::Options &options)
{
    // Lists repeat the same few option sets; beyond a few hundred distinct ones each entry
    // simply gets its own.
    auto &table = catalogue.m_options;
    const size_t from = table.size() > 256 ? table.size() - 1 : 0;
    for (size_t i = table.size(); i-- > from;) {
        if (table[i] == options)
            return quint32(i);
    }
    table.push_back(options);
    return quint32(table.size() - 1);
}

quint16 M3uReader::State::extensionOf(QByteArrayView ext)
{
    if (ext.isEmpty() || ext.size() > 8)
        return 0;
    // Entries in a row mostly share their container.
    if (lastExtension > 0 && keyIs(ext, lastExtensionBytes))
        return lastExtension;
    char lower[8];
    for (qsizetype i = 0; i < ext.size(); ++i)
        lower[i] = char(std::tolower(static_cast<unsigned char>(ext[i])));
    const QByteArray key = QByteArray::fromRawData(lower, ext.size());
    auto found = extensionIndex.constFind(key);
    if (found == extensionIndex.constEnd()) {
        if (catalogue.m_extensions.size() >= 0xffff)
            return 0;
        catalogue.m_extensions.append(QString::fromLatin1(key));
        found = extensionIndex.insert(QByteArray(lower, ext.size()), quint16(catalogue.m_extensions.size() - 1));
    }
    lastExtensionBytes = found.key();
    lastExtension = *found;
    return lastExtension;
}

void M3uReader::State::address(QByteArrayView raw)
{
    M3uCatalogue::Text url;
    // Texts beyond 4 GB cannot be addressed: entries past that are skipped.
    if (!resolve(raw, url) || !url.size) {
        if (!entry.hasInfo)
            ++catalogue.m_skippedLines;
        dropEntry();
        entry.userAgent.clear();
        entry.referrer.clear();
        entry.extGroup.resize(0);
        return;
    }

    const QByteArrayView address = view(url);
    const QByteArrayView path = pathOf(address);
    const QByteArrayView ext = ::extensionOf(path);
    const Section section = sectionOfPath(path, ext);
    const size_t s = size_t(section);

    M3uCatalogue::Entry kept;
    kept.url = url;
    kept.name = entry.title.size ? entry.title : entry.tvgName;
    if (!kept.name.size) {
        // The address's last segment, else the whole address.
        const qsizetype last = path.lastIndexOf('/') + 1;
        const qsizetype pathAt = path.isEmpty() ? 0 : path.data() - address.data();
        kept.name =
            path.size() > last ? M3uCatalogue::Text{quint32(url.at + pathAt + last), quint32(path.size() - last)} : url;
    }
    kept.icon = entry.icon;
    kept.guideId = entry.guideId;
    {
        // The address's own last segment (a provider's stream number, usually), without its query.
        QByteArrayView segment = path.sliced(path.lastIndexOf('/') + 1);
        kept.key = entryKey(section, entry.guideId.size ? view(entry.guideId) : QByteArrayView(),
                            view(kept.name), segment);
    }
    kept.section = quint32(section);
    kept.group = groupOf(section, entry.group.isEmpty() ? QByteArrayView(entry.extGroup) : QByteArrayView(entry.group));
    kept.extension = extensionOf(ext);
    kept.num = qint32(entry.chno >= 0 ? entry.chno
                      : continued       ? -(catalogue.m_counts[s] + 1)
                                        : catalogue.m_counts[s] + 1);
    kept.archive = section == Section::live && (!entry.catchup.isEmpty() || entry.catchupDays > 0);
    if (kept.archive) {
        kept.catchupSource = entry.catchupSource;
        kept.catchupDays = quint32(std::clamp<qint64>(entry.catchupDays, 0, 3650));
    }
    // Most entries have no options: no set is made for them.
    if (kept.archive || !entry.userAgent.isEmpty() || !entry.referrer.isEmpty()) {
        M3uCatalogue::Options options{entry.userAgent, entry.referrer, {}};
        if (kept.archive)
            options.catchup = repeated(
                entry.catchup.isEmpty() ? QByteArrayView("default") : QByteArrayView(entry.catchup), lastCatchup);
        kept.options = optionsOf(options);
    }

    const auto index = quint32(catalogue.m_entries.size());
    catalogue.m_entries.push_back(kept);
    catalogue.m_groupEntries[s][kept.group].push_back(index);
    ++catalogue.m_counts[s];

    entry.clearInfo();
    entry.userAgent.clear();
    entry.referrer.clear();
    entry.extGroup.resize(0);
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
                ++d->catalogue.m_skippedLines;
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
                    ++d->catalogue.m_skippedLines;
                else
                    d->line(d->pending);
                d->pending.resize(0);
                d->pendingTooLong = false;
            }
        }
        at = newline ? newline + 1 : end;
    }
}

const M3uCatalogue &M3uReader::soFar() const
{
    return d->catalogue;
}

qsizetype M3uReader::count(Section section) const
{
    return d->catalogue.itemCount(section);
}

void M3uReader::State::finishLines()
{
    if (pendingTooLong)
        ++catalogue.m_skippedLines;
    else if (!pending.isEmpty())
        line(pending);
    pending = {};
    pendingTooLong = false;
    dropEntry();
}

qsizetype M3uReader::freshLineAfter(QByteArrayView text, qsizetype from)
{
    // The line `from` falls in may have begun before it: only the lines after it count.
    const char *const begin = text.data();
    const char *const end = begin + text.size();
    if (from < 0 || from >= text.size())
        return -1;
    const auto *lineEnd = static_cast<const char *>(std::memchr(begin + from, '\n', size_t(text.size() - from)));
    while (lineEnd) {
        const char *const lineStart = lineEnd + 1;
        lineEnd = static_cast<const char *>(std::memchr(lineStart, '\n', size_t(end - lineStart)));
        if (!lineEnd)
            return -1;
        // As line() takes it: a line within the length bound, not blank and not a tag, is an address.
        if (lineEnd - lineStart <= maxLineBytes) {
            const QByteArrayView l = trimmed(QByteArrayView(lineStart, lineEnd - lineStart));
            if (!l.isEmpty() && l[0] != '#')
                return lineEnd + 1 - begin;
        }
    }
    return -1;
}

std::unique_ptr<M3uReader> M3uReader::continuation() const
{
    if (!d->sawHeader || d->firstLine)
        return nullptr;
    auto tail = std::make_unique<M3uReader>(d->base);
    tail->d->firstLine = false;
    tail->d->sawHeader = true;
    tail->d->continued = true;
    return tail;
}

bool M3uReader::join(M3uReader &tail)
{
    return d->join(*tail.d);
}

bool M3uReader::State::join(State &tail)
{
    M3uCatalogue &to = catalogue;
    M3uCatalogue &from = tail.catalogue;
    tail.finishLines();
    if (to.m_texts.blockCount() + from.m_texts.blockCount() > (size_t(1) << (32 - M3uCatalogue::Texts::blockBits)))
        return false;
    sawHeader = sawHeader || tail.sawHeader;
    if (to.m_guideURL.isEmpty())
        to.m_guideURL = from.m_guideURL;
    to.m_skippedLines += from.m_skippedLines;
    const quint32 shift = to.m_texts.append(std::move(from.m_texts));

    // The tail's groups, extensions and option sets as this reader's: a group the tail met
    // first comes after this reader's, in the tail's order, as one reader would have added it.
    std::array<std::vector<quint32>, 3> groups;
    for (size_t s = 0; s < 3; ++s) {
        std::vector<QString> names(size_t(from.m_categories[s].size()));
        for (auto it = tail.groupByName[s].cbegin(); it != tail.groupByName[s].cend(); ++it)
            names[*it] = it.key();
        groups[s].resize(names.size());
        for (size_t g = 0; g < names.size(); ++g) {
            const auto known = groupByName[s].constFind(names[g]);
            if (known != groupByName[s].cend()) {
                groups[s][g] = *known;
                continue;
            }
            const auto added = quint32(to.m_categories[s].size());
            groupByName[s].insert(names[g], added);
            to.m_categories[s].append(from.m_categories[s].at(qsizetype(g)));
            to.m_groupEntries[s].emplace_back();
            groups[s][g] = added;
        }
        for (auto it = tail.groupIndex[s].cbegin(); it != tail.groupIndex[s].cend(); ++it)
            groupIndex[s].insert(it.key(), groups[s][*it]);
        lastGroupIndex[s] = -1;
    }
    std::vector<quint16> extensions(size_t(from.m_extensions.size()), 0);
    for (qsizetype e = 1; e < from.m_extensions.size(); ++e)
        extensions[size_t(e)] = extensionOf(from.m_extensions.at(e).toLatin1());
    std::vector<quint32> options(from.m_options.size(), 0);
    for (size_t o = 1; o < from.m_options.size(); ++o)
        options[o] = optionsOf(from.m_options[o]);

    const std::array<qsizetype, 3> before = to.m_counts;
    const auto first = quint32(to.m_entries.size());
    // Each group's places in one go: the tail's are in list order, and no two of its groups
    // map to one of this reader's (both go by name).
    for (size_t s = 0; s < 3; ++s) {
        for (size_t g = 0; g < groups[s].size(); ++g) {
            std::vector<quint32> &into = to.m_groupEntries[s][groups[s][g]];
            const std::vector<quint32> &places = from.m_groupEntries[s][g];
            into.reserve(into.size() + places.size());
            for (const quint32 place : places)
                into.push_back(first + place);
        }
        to.m_counts[s] += from.m_counts[s];
    }
    const auto moved = [shift](M3uCatalogue::Text &text) {
        if (text.size)
            text.at += shift;
    };
    // The tail's entries in bulk, then only what differs in this reader put right.
    to.m_entries.append(from.m_entries, [&](M3uCatalogue::Entry *entries, size_t count) {
        for (M3uCatalogue::Entry &entry : std::span(entries, count)) {
            moved(entry.name);
            moved(entry.url);
            moved(entry.icon);
            moved(entry.guideId);
            moved(entry.catchupSource);
            const size_t s = entry.section;
            entry.group = groups[s][entry.group];
            entry.extension = extensions[entry.extension];
            entry.options = options[entry.options];
            if (entry.num < 0)
                entry.num = qint32(before[s] - entry.num);
        }
    });
    from = M3uCatalogue();
    return true;
}

Result<M3uCatalogue> M3uReader::finish()
{
    // A last line without a line break is still a line.
    d->finishLines();
    if (!d->sawHeader && d->catalogue.m_entries.empty())
        return Failure{Failure::Kind::notUnderstood};
    M3uCatalogue done = std::move(d->catalogue);
    d->catalogue = {};
    return done;
}

Section M3uReader::sectionOf(QStringView url)
{
    const QByteArray bytes = url.toUtf8();
    return sectionOfPath(pathOf(bytes));
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

QString M3uCatalogue::text(Text text) const
{
    return text.size ? QString::fromUtf8(m_texts.view(text)) : QString();
}

void M3uCatalogue::Block::reserve(size_t capacity)
{
    if (capacity <= m_capacity)
        return;
    // Whole blocks are mapped with their pages made ready; a growing first one is reallocated.
    constexpr size_t mapFrom = 256 * 1024;
    // A block of whole huge pages is mapped on their boundary and asked to be made of them: in
    // a virtual machine the first touch of each 4 KB page costs several microseconds (a third
    // of a read went on it), a huge page's once for 512 of them.
    constexpr size_t huge = 2 * 1024 * 1024;
    if (!m_data && capacity % huge == 0 && !qEnvironmentVariableIsSet("MAVU_M3U_SMALL_PAGES")) {
        void *mapped = mmap(nullptr, capacity + huge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped != MAP_FAILED) {
            const auto start = reinterpret_cast<std::uintptr_t>(mapped);
            const auto aligned = (start + huge - 1) & ~std::uintptr_t(huge - 1);
            if (aligned > start)
                munmap(mapped, aligned - start);
            if (const size_t after = huge - (aligned - start))
                munmap(reinterpret_cast<void *>(aligned + capacity), after);
            m_data = reinterpret_cast<char *>(aligned);
            m_capacity = capacity;
            m_mapped = true;
            // HugePages::advise leaves out blocks under two huge pages; this one is exactly aligned.
            madvise(m_data, capacity, MADV_HUGEPAGE);
            HugePages::prepare(m_data, qsizetype(capacity));
            return;
        }
    }
    if (!m_data && capacity >= mapFrom) {
        void *mapped = mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
        if (mapped != MAP_FAILED) {
            m_data = static_cast<char *>(mapped);
            m_capacity = capacity;
            m_mapped = true;
            return;
        }
    }
    Q_ASSERT(!m_mapped);
    void *grown = std::realloc(m_data, capacity);
    if (!grown)
        throw std::bad_alloc();
    m_data = static_cast<char *>(grown);
    m_capacity = capacity;
}

void M3uCatalogue::Block::release()
{
    if (m_mapped)
        munmap(m_data, m_capacity);
    else
        std::free(m_data);
    m_data = nullptr;
    m_size = m_capacity = 0;
    m_mapped = false;
}

M3uCatalogue::Text M3uCatalogue::Texts::add(QByteArrayView bytes)
{
    if (bytes.isEmpty() || bytes.size() > qsizetype(blockSize))
        return {};
    if (m_blocks.empty() || m_blocks.back().size() + size_t(bytes.size()) > blockSize) {
        if (m_blocks.size() >= (size_t(1) << (32 - blockBits)))
            return {};
        // Only the first block starts small and grows: a short list takes little room, and a
        // long one is never copied.
        m_blocks.emplace_back().reserve(m_blocks.size() == 1 ? 4096 : blockSize);
    }
    Block &block = m_blocks.back();
    const size_t needed = block.size() + size_t(bytes.size());
    // Doubling from 4 KB lands on the block size exactly, so a full block wastes nothing.
    if (needed > block.capacity())
        block.reserve(std::min<size_t>(blockSize, std::max(needed, block.capacity() * 2)));
    const Text text{position(), quint32(bytes.size())};
    block.append(bytes.data(), size_t(bytes.size()));
    return text;
}

quint32 M3uCatalogue::Texts::append(Texts &&other)
{
    const auto shift = quint32(m_blocks.size() << blockBits);
    for (Block &block : other.m_blocks)
        m_blocks.push_back(std::move(block));
    other.m_blocks.clear();
    return shift;
}

void M3uCatalogue::Texts::truncate(quint32 mark)
{
    if (mark >= position())
        return;
    while (m_blocks.size() > size_t(mark >> blockBits) + 1)
        m_blocks.pop_back();
    m_blocks.back().resize(mark & (blockSize - 1));
}

MediaItem M3uCatalogue::item(quint32 index) const
{
    MediaItem item;
    fill(index, item);
    return item;
}

void M3uCatalogue::fill(quint32 index, MediaItem &item) const
{
    // Over a default record: its empty texts stay unallocated, and the category and extension
    // share the catalogue's one copy.
    const Entry &entry = m_entries[index];
    const Section section = Section(entry.section);
    item.id = keyText(entry.key);
    item.name = text(entry.name);
    item.kind = section == Section::live ? MediaItem::Kind::live
        : section == Section::movies     ? MediaItem::Kind::movie
                                         : MediaItem::Kind::series;
    item.categoryId = m_categories[entry.section].at(entry.group).id;
    item.containerExt = m_extensions.at(entry.extension);
    if (entry.icon.size)
        item.setIconUtf8(m_texts.view(entry.icon).toByteArray());
    item.num = entry.num;
    if (entry.guideId.size)
        item.epgChannelId = text(entry.guideId);
    item.tvArchive = entry.archive;
    if (entry.archive && entry.catchupDays > 0)
        item.archiveDays = entry.catchupDays;
}

namespace {

// Texts of many records in one allocation: each string points into the block and holds it, as
// a string's own allocation would, so a piece of records costs one allocation for its ids, names
// and guide ids instead of three each, and no allocator rounding. Each text ends in a zero, as
// Qt's own do; a text changed later is copied out like any shared one. The block goes when its
// last text does.
template<typename T>
class TextBlock
{
public:
    explicit TextBlock(qsizetype units)
    {
        if (units > 0) {
            const auto made = QTypedArrayData<T>::allocate(units);
            if (!made.first)
                throw std::bad_alloc();
            m_header = made.first;
            m_at = made.second;
            if (!qEnvironmentVariableIsSet("MAVU_M3U_FAULTED"))
                HugePages::prepare(m_at, units * qsizetype(sizeof(T)));
        }
    }
    ~TextBlock()
    {
        if (m_header && !m_header->deref())
            QTypedArrayData<T>::deallocate(m_header);
    }
    TextBlock(const TextBlock &) = delete;
    TextBlock &operator=(const TextBlock &) = delete;

    // Room for `size` units and the zero after them, to be written before take().
    T *next() const { return m_at; }
    QArrayDataPointer<T> take(qsizetype size)
    {
        m_at[size] = T(0);
        T *begin = m_at;
        m_at += size + 1;
        m_header->ref();
        return QArrayDataPointer<T>(m_header, begin, size);
    }

private:
    QTypedArrayData<T> *m_header = nullptr;
    T *m_at = nullptr;
};

// UTF-8 as UTF-16 into the block: ASCII (nearly every id and most names) widened in place,
// anything else decoded as QString::fromUtf8 does. The block has room for one unit a byte.
QString blockText(TextBlock<char16_t> &block, QByteArrayView utf8)
{
    if (utf8.isEmpty())
        return QString();
    char16_t *out = block.next();
    bool ascii = true;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        ascii &= c < 0x80;
        out[i] = char16_t(c);
    }
    if (ascii)
        return QString(block.take(utf8.size()));
    const QString decoded = QString::fromUtf8(utf8);
    std::memcpy(out, decoded.utf16(), size_t(decoded.size()) * sizeof(char16_t));
    return QString(block.take(decoded.size()));
}

QString blockKey(TextBlock<char16_t> &block, quint64 key)
{
    char16_t *digit = block.next() + 16;
    for (int i = 0; i < 16; ++i, key >>= 4)
        *--digit = u"0123456789abcdef"[key & 0xf];
    return QString(block.take(16));
}

} // namespace

void M3uCatalogue::fillItems(const quint32 *places, size_t count, MediaItem *out) const
{
    // As before, each text allocated on its own: bench_m3u's figures beside the blocks.
    if (qEnvironmentVariableIsSet("MAVU_M3U_RECORDS_BEFORE")) {
        for (size_t i = 0; i < count; ++i)
            fill(places[i], out[i]);
        return;
    }
    // UTF-8 never takes fewer bytes than UTF-16 units: one unit a byte is room enough.
    qsizetype units = 0;
    qsizetype bytes = 0;
    for (size_t i = 0; i < count; ++i) {
        const Entry &entry = m_entries[places[i]];
        units += 17 + entry.name.size + 1 + (entry.guideId.size ? entry.guideId.size + 1 : 0);
        bytes += entry.icon.size ? entry.icon.size + 1 : 0;
    }
    TextBlock<char16_t> texts(units);
    TextBlock<char> icons(bytes);
    for (size_t i = 0; i < count; ++i) {
        const Entry &entry = m_entries[places[i]];
        MediaItem &item = out[i];
        const Section section = Section(entry.section);
        item.id = blockKey(texts, entry.key);
        item.name = blockText(texts, m_texts.view(entry.name));
        item.kind = section == Section::live ? MediaItem::Kind::live
            : section == Section::movies     ? MediaItem::Kind::movie
                                             : MediaItem::Kind::series;
        item.categoryId = m_categories[entry.section].at(entry.group).id;
        item.containerExt = m_extensions.at(entry.extension);
        if (entry.icon.size) {
            const QByteArrayView icon = m_texts.view(entry.icon);
            std::memcpy(icons.next(), icon.data(), size_t(icon.size()));
            item.setIconUtf8(QByteArray(icons.take(icon.size())));
        }
        item.num = entry.num;
        if (entry.guideId.size)
            item.epgChannelId = blockText(texts, m_texts.view(entry.guideId));
        item.tvArchive = entry.archive;
        if (entry.archive && entry.catchupDays > 0)
            item.archiveDays = entry.catchupDays;
    }
}

std::vector<quint32> M3uCatalogue::places(Section section) const
{
    const auto s = size_t(section);
    std::vector<quint32> out;
    out.reserve(size_t(m_counts[s]));
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].section == s)
            out.push_back(quint32(i));
    }
    return out;
}

QList<MediaItem> M3uCatalogue::items(Section section, const QString &categoryId) const
{
    const auto s = size_t(section);
    QList<MediaItem> out;
    if (categoryId.isEmpty()) {
        out.reserve(m_counts[s]);
        for (size_t i = 0; i < m_entries.size(); ++i) {
            if (m_entries[i].section == s)
                out.append(item(quint32(i)));
        }
        return out;
    }
    const QList<Category> &groups = m_categories[s];
    for (qsizetype g = 0; g < groups.size(); ++g) {
        if (groups[g].id != categoryId)
            continue;
        const std::vector<quint32> &entries = m_groupEntries[s][size_t(g)];
        out.reserve(qsizetype(entries.size()));
        for (quint32 index : entries)
            out.append(item(index));
        break;
    }
    return out;
}

std::optional<size_t> M3uCatalogue::position(const QString &itemId) const
{
    bool ok = false;
    const quint64 key = itemId.size() == 16 ? itemId.toULongLong(&ok, 16) : 0;
    if (!ok || itemId != keyText(key))
        return std::nullopt;
    // Only asked when an item is played: a scan is cheaper than an index held for every entry.
    for (size_t index = 0; index < m_entries.size(); ++index) {
        if (m_entries[index].key == key)
            return index;
    }
    return std::nullopt;
}

std::optional<M3uStream> M3uCatalogue::stream(const QString &itemId) const
{
    const std::optional<size_t> index = position(itemId);
    if (!index)
        return std::nullopt;
    return streamAt(*index);
}

M3uStream M3uCatalogue::streamAt(size_t index) const
{
    const Entry &entry = m_entries[index];
    const Options &options = m_options[entry.options];
    return M3uStream{text(entry.url), options.userAgent,         options.referrer,
                     options.catchup, text(entry.catchupSource), int(entry.catchupDays)};
}

QHash<QString, M3uStream> M3uCatalogue::streams(const QList<QString> &itemIds) const
{
    QHash<quint64, QString> wanted;
    for (const QString &id : itemIds) {
        bool ok = false;
        const quint64 key = id.size() == 16 ? id.toULongLong(&ok, 16) : 0;
        if (ok && id == keyText(key))
            wanted.insert(key, id);
    }
    QHash<QString, M3uStream> out;
    for (size_t index = 0; index < m_entries.size() && !wanted.isEmpty(); ++index) {
        // The first entry of a key, as for one stream.
        const auto found = wanted.constFind(m_entries[index].key);
        if (found == wanted.constEnd())
            continue;
        out.insert(*found, streamAt(index));
        wanted.erase(found);
    }
    return out;
}
