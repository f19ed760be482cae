#include "xmltv.h"

#include "guide.h"
#include "rng.h"

#include <QDateTime>
#include <QHash>

#include <zlib.h>

#include <array>

namespace Lab::Xmltv {

namespace {

using namespace Qt::StringLiterals;

constexpr quint64 xmltvStream = 22;
constexpr int channelsPerPiece = 500;

// Genres of the live categories as guides name them, in the catalogue's genre order.
const std::array genreNames{"News"_ba, "Sports"_ba, "Movie"_ba, "Children"_ba, "Music"_ba, "Documentary"_ba,
                            "Entertainment"_ba, "Adult"_ba};
const std::array ratings{"TV-G"_ba, "TV-PG"_ba, "TV-14"_ba, "TV-MA"_ba};
const std::array people{u"Ana Kovač"_s, u"Jürgen Weiß"_s, u"Clara O'Neil"_s, u"Tomás Ruiz"_s, u"Mia Novak"_s,
                        u"Sam & Alex Reed"_s};

// German titles of some English ones: English channels carry them as a second title.
const QHash<QString, QString> &germanTitles()
{
    static const QHash<QString, QString> titles{
        {u"Morning News"_s, u"Morgennachrichten"_s},   {u"World Report"_s, u"Weltspiegel"_s},
        {u"Evening News"_s, u"Abendnachrichten"_s},    {u"Weather"_s, u"Wetter"_s},
        {u"Match of the Day"_s, u"Spiel des Tages"_s}, {u"Goals & Highlights"_s, u"Tore & Höhepunkte"_s},
        {u"Late Movie"_s, u"Spätfilm"_s},              {u"Cartoon Hour"_s, u"Trickfilmstunde"_s},
        {u"Story Time"_s, u"Märchenzeit"_s},           {u"Planet Oceans"_s, u"Planet der Meere"_s},
        {u"Wild Africa"_s, u"Wildes Afrika"_s},        {u"Cooking with Clara"_s, u"Kochen mit Clara"_s},
        {u"Home & Garden"_s, u"Haus & Garten"_s},      {u"Travel Diaries"_s, u"Reisetagebücher"_s},
    };
    return titles;
}

QByteArray languageOf(int region)
{
    return region == 2 ? "de"_ba : region == 3 ? "hr"_ba : "en"_ba;
}

// How one channel's guide is written; drawn once a channel.
struct Style
{
    bool cdata = false;       // descriptions in CDATA sections
    bool numericRefs = false; // non-ASCII letters and apostrophes as character references
    bool noStops = false;     // stop times left out where the next programme says them
    bool extras = true;       // categories, episode numbers, credits, ratings
};

Style styleOf(quint64 seed, const LiveChannel &channel)
{
    Rng rng{seed, xmltvStream, quint64(channel.id)};
    Style style;
    style.cdata = rng.chance(30);
    style.numericRefs = rng.chance(25);
    style.noStops = rng.chance(10);
    style.extras = rng.chance(80);
    return style;
}

// Text for element content or an attribute value.
void appendEscaped(QByteArray &out, const QString &text, bool numericRefs)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        switch (u) {
        case u'&': out += "&amp;"; break;
        case u'<': out += "&lt;"; break;
        case u'>': out += "&gt;"; break;
        case u'"': out += "&quot;"; break;
        case u'\'': out += numericRefs ? "&#39;" : "&apos;"; break;
        default:
            if (u < 0x80) {
                out += char(u);
            } else if (numericRefs && !c.isSurrogate()) {
                out += "&#" + QByteArray::number(int(u)) + ';';
            } else {
                out += QString(c).toUtf8();
            }
        }
    }
}

void appendCdata(QByteArray &out, const QString &text)
{
    out += "<![CDATA[";
    out += text.toUtf8(); // the lab's texts never hold "]]>"
    out += "]]>";
}

void appendDigits(QByteArray &out, qint64 value, int width)
{
    char digits[20];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = char('0' + value % 10);
        value /= 10;
    }
    out.append(digits, width);
}

// Date of a day count since 1970-01-01, proleptic Gregorian.
void civilFromDays(qint64 days, qint64 &year, int &month, int &day)
{
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 dayOfEra = days - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 mp = (5 * dayOfYear + 2) / 153;
    day = int(dayOfYear - (153 * mp + 2) / 5 + 1);
    month = int(mp < 10 ? mp + 3 : mp - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

// The local offset in seconds, asked of the time zone once an hour of time (offsets change on
// whole hours at the most, in every zone the lab runs in).
int localOffset(qint64 secs)
{
    thread_local QHash<qint64, int> offsets;
    const qint64 hour = secs / 3600;
    const auto found = offsets.constFind(hour);
    if (found != offsets.cend())
        return *found;
    if (offsets.size() > 100000)
        offsets.clear();
    const int offset = QDateTime::fromSecsSinceEpoch(secs).offsetFromUtc();
    offsets.insert(hour, offset);
    return offset;
}

void appendTime(QByteArray &out, qint64 secs)
{
    const int offset = localOffset(secs);
    const qint64 local = secs + offset;
    const qint64 days = local >= 0 ? local / 86400 : (local - 86399) / 86400;
    const qint64 inDay = local - days * 86400;
    qint64 year = 0;
    int month = 0;
    int day = 0;
    civilFromDays(days, year, month, day);
    appendDigits(out, year, 4);
    appendDigits(out, month, 2);
    appendDigits(out, day, 2);
    appendDigits(out, inDay / 3600, 2);
    appendDigits(out, inDay / 60 % 60, 2);
    appendDigits(out, inDay % 60, 2);
    out += offset < 0 ? " -" : " +";
    const int minutes = std::abs(offset) / 60;
    appendDigits(out, minutes / 60, 2);
    appendDigits(out, minutes % 60, 2);
}

} // namespace

QByteArray timeText(qint64 secs)
{
    QByteArray out;
    appendTime(out, secs);
    return out;
}

Writer::Writer(std::shared_ptr<const Catalogue> catalogue, qint64 from, qint64 to)
    : m_catalogue(std::move(catalogue))
    , m_from(from)
    , m_to(to)
{
}

QByteArray Writer::next(qint64 max)
{
    QByteArray out;
    out.reserve(qsizetype(std::min<qint64>(max, 4 << 20)) + 64 * 1024);
    const std::vector<LiveChannel> &channels = m_catalogue->live();
    while (out.size() < max && m_part != Part::done) {
        switch (m_part) {
        case Part::head:
            out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<!DOCTYPE tv SYSTEM \"xmltv.dtd\">\n"
                   "<tv generator-info-name=\"mavu-lab\" source-info-name=\"mavu-lab\">\n";
            m_part = Part::channels;
            m_channel = 0;
            break;
        case Part::channels:
            writeChannels(out, max);
            if (m_channel >= channels.size()) {
                m_part = Part::programmes;
                m_channel = 0;
            }
            break;
        case Part::programmes:
            if (m_channel < channels.size())
                writeProgrammes(out, channels[m_channel++]);
            else
                m_part = Part::tail;
            break;
        case Part::tail:
            out += "</tv>\n";
            m_part = Part::done;
            break;
        case Part::done:
            break;
        }
    }
    return out;
}

void Writer::writeChannels(QByteArray &out, qint64 max)
{
    const std::vector<LiveChannel> &channels = m_catalogue->live();
    const QList<LabCategory> &categories = m_catalogue->categories(Kind::live);
    for (int written = 0; m_channel < channels.size() && written < channelsPerPiece && out.size() < max; ++m_channel) {
        const LiveChannel &channel = channels[m_channel];
        if (channel.epgChannelId.isEmpty())
            continue;
        ++written;
        const Style style = styleOf(m_catalogue->seed(), channel);
        out += "  <channel id=\"";
        appendEscaped(out, channel.epgChannelId, false);
        out += "\">\n    <display-name lang=\"" + languageOf(categories[channel.category].region) + "\">";
        appendEscaped(out, channel.name, style.numericRefs);
        out += "</display-name>\n";
        if (channel.icon == Image::present) {
            out += "    <icon src=\"";
            appendEscaped(out, m_catalogue->imageAddress(channel.icon, channel.image, false, channel.id), false);
            out += "\"/>\n";
        }
        out += "  </channel>\n";
    }
}

void Writer::writeProgrammes(QByteArray &out, const LiveChannel &channel)
{
    if (channel.epgChannelId.isEmpty())
        return;
    const Catalogue &catalogue = *m_catalogue;
    const LabCategory &category = catalogue.categories(Kind::live)[channel.category];
    const QByteArray language = languageOf(category.region);
    const Style style = styleOf(catalogue.seed(), channel);
    QByteArray channelId;
    appendEscaped(channelId, channel.epgChannelId, false);
    const QList<Programme> programmes = Guide::programmes(catalogue, channel, m_from, m_to);
    for (qsizetype i = 0; i < programmes.size(); ++i) {
        const Programme &programme = programmes[i];
        Rng rng{catalogue.seed(), xmltvStream, quint64(channel.id), quint64(programme.start)};
        out += "  <programme start=\"";
        appendTime(out, programme.start);
        // The last programme always says when it ends: nothing follows to tell.
        if (!style.noStops || i + 1 == programmes.size()) {
            out += "\" stop=\"";
            appendTime(out, programme.stop);
        }
        out += "\" channel=\"" + channelId + "\">\n";
        out += "    <title lang=\"" + language + "\">";
        appendEscaped(out, programme.title, style.numericRefs);
        out += "</title>\n";
        if (category.region != 2 && category.region != 3) {
            if (const auto german = germanTitles().constFind(programme.title); german != germanTitles().cend()) {
                out += "    <title lang=\"de\">";
                appendEscaped(out, *german, style.numericRefs);
                out += "</title>\n";
            }
        }
        if (style.extras && rng.chance(40)) {
            out += "    <sub-title lang=\"" + language + "\">Part " + QByteArray::number(rng.between(1, 12)) + "</sub-title>\n";
        }
        out += "    <desc lang=\"" + language + "\">";
        if (style.cdata)
            appendCdata(out, programme.description);
        else
            appendEscaped(out, programme.description, style.numericRefs);
        out += "</desc>\n";
        if (style.extras) {
            if (category.genre == 2 || rng.chance(20)) {
                out += "    <credits>\n      <director>";
                appendEscaped(out, rng.pick(people), style.numericRefs);
                out += "</director>\n      <actor role=\"Lead\">";
                appendEscaped(out, rng.pick(people), style.numericRefs);
                out += "</actor>\n    </credits>\n    <date>" + QByteArray::number(rng.between(1960, 2024)) + "</date>\n";
            }
            out += "    <category lang=\"en\">" + genreNames[size_t(category.genre)] + "</category>\n";
            const int episode = rng.below(24);
            out += "    <episode-num system=\"xmltv_ns\">0." + QByteArray::number(episode) + ".</episode-num>\n";
            out += "    <episode-num system=\"onscreen\">E" + QByteArray::number(episode + 1) + "</episode-num>\n";
            if (rng.chance(30))
                out += "    <video>\n      <quality>HDTV</quality>\n    </video>\n";
            out += "    <rating system=\"VCHIP\">\n      <value>" + rng.pick(ratings) + "</value>\n    </rating>\n";
        }
        out += "  </programme>\n";
    }
}

qint64 size(std::shared_ptr<const Catalogue> catalogue, qint64 from, qint64 to)
{
    Writer writer(std::move(catalogue), from, to);
    qint64 total = 0;
    for (QByteArray piece = writer.next(1 << 20); !piece.isEmpty(); piece = writer.next(1 << 20))
        total += piece.size();
    return total;
}

BodySource source(std::shared_ptr<const Catalogue> catalogue, qint64 from, qint64 to)
{
    struct State
    {
        Writer writer;
        QByteArray pending;
        qsizetype offset = 0;
    };
    auto state = std::make_shared<State>(State{Writer(std::move(catalogue), from, to), {}, 0});
    return [state](qint64 max) -> QByteArray {
        if (state->offset >= state->pending.size()) {
            state->pending = state->writer.next(max);
            state->offset = 0;
        }
        const qsizetype length = qsizetype(std::min<qint64>(max, state->pending.size() - state->offset));
        QByteArray piece = state->offset == 0 && length == state->pending.size() ? state->pending
                                                                                 : state->pending.mid(state->offset, length);
        state->offset += length;
        return piece;
    };
}

BodySource gzipSource(std::shared_ptr<const Catalogue> catalogue, qint64 from, qint64 to)
{
    struct State
    {
        explicit State(Writer w)
            : writer(std::move(w))
        {
            // The fastest level: the lab compresses as it sends.
            ready = deflateInit2(&stream, 1, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK;
        }
        ~State()
        {
            if (ready)
                deflateEnd(&stream);
        }
        Writer writer;
        z_stream stream{};
        bool ready = false;
        bool finished = false;
        QByteArray input;
    };
    auto state = std::make_shared<State>(Writer(std::move(catalogue), from, to));
    return [state](qint64 max) -> QByteArray {
        if (!state->ready || state->finished)
            return {};
        QByteArray out(qsizetype(std::max<qint64>(max, 1024)), Qt::Uninitialized);
        z_stream &stream = state->stream;
        stream.next_out = reinterpret_cast<Bytef *>(out.data());
        stream.avail_out = uInt(out.size());
        bool fed = false;
        while (stream.avail_out > 0 && !state->finished) {
            if (stream.avail_in == 0) {
                // Writing the text is the slow part, and the lab shares its thread: once a piece
                // has given some output, the rest waits for the next call.
                if (fed && stream.avail_out < uInt(out.size()))
                    break;
                fed = true;
                state->input = state->writer.next(256 * 1024);
                stream.next_in = reinterpret_cast<Bytef *>(state->input.data());
                stream.avail_in = uInt(state->input.size());
            }
            const bool last = state->input.isEmpty();
            const int result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            if (result == Z_STREAM_END)
                state->finished = true;
            else if (result != Z_OK && result != Z_BUF_ERROR)
                return {};
        }
        out.resize(out.size() - qsizetype(stream.avail_out));
        return out;
    };
}

} // namespace Lab::Xmltv
