#include "guide.h"

#include "jsonout.h"
#include "rng.h"

#include <QDateTime>
#include <QRegularExpression>

#include <array>

namespace Lab::Guide {

namespace {

using namespace Qt::StringLiterals;

constexpr quint64 guideStream = 21;
constexpr qint64 blockSeconds = 3 * 3600;

// Ways to cut a three-hour block, in minutes.
const std::array<std::array<int, 6>, 8> patterns{{
    {60, 60, 60, 0, 0, 0},
    {30, 30, 60, 60, 0, 0},
    {90, 90, 0, 0, 0, 0},
    {45, 45, 90, 0, 0, 0},
    {120, 60, 0, 0, 0, 0},
    {15, 45, 30, 90, 0, 0},
    {180, 0, 0, 0, 0, 0},
    {30, 30, 30, 30, 60, 0},
}};

const std::array<std::array<QString, 6>, 8> titles{{
    {u"Morning News"_s, u"World Report"_s, u"Evening News"_s, u"Business Today"_s, u"Weather"_s, u"Headlines"_s},
    {u"Match of the Day"_s, u"Grand Prix Live"_s, u"Tennis Open"_s, u"Goals & Highlights"_s, u"Fight Night"_s, u"Sports Desk"_s},
    {u"Late Movie"_s, u"Premiere Night"_s, u"Classic Cinema"_s, u"The Silent River"_s, u"Double Feature"_s, u"Film Talk"_s},
    {u"Cartoon Hour"_s, u"Little Explorers"_s, u"Robot Friends"_s, u"Story Time"_s, u"Puppet Show"_s, u"Kids Quiz"_s},
    {u"Top 40"_s, u"Jazz Lounge"_s, u"Rock Classics"_s, u"Dance Floor"_s, u"Unplugged"_s, u"Charts"_s},
    {u"Planet Oceans"_s, u"Ancient Empires"_s, u"Wild Africa"_s, u"Inside the Machine"_s, u"Night Sky"_s, u"Rivers"_s},
    {u"Quiz Night"_s, u"Cooking with Clara"_s, u"Travel Diaries"_s, u"Late Show"_s, u"Home & Garden"_s, u"Talk"_s},
    {u"After Dark"_s, u"Night Program"_s, u"Velvet Hour"_s, u"Midnight"_s, u"Red Room"_s, u"Late Night"_s},
}};
const std::array titlesDE{u"Tagesschau Lab"_s, u"Sportschau"_s, u"Kultur am Abend"_s, u"Nachrichten"_s, u"Wetter für Süddeutschland"_s,
                          u"Spielfilm: Die stille Brücke"_s};
const std::array titlesHR{u"Dnevnik"_s, u"Vijesti"_s, u"Sportski pregled"_s, u"Večernji film"_s, u"Glazbena emisija"_s,
                          u"Priroda Hrvatske"_s};

QString describe(const QString &title, int region, int part)
{
    if (region == 2)
        return u"%1 – Folge %2. Eine Sendung aus dem Testlabor."_s.arg(title).arg(part);
    if (region == 3)
        return u"%1 – epizoda %2. Emisija iz testnog laboratorija."_s.arg(title).arg(part);
    return u"%1, part %2. A programme from the lab's own schedule."_s.arg(title).arg(part);
}

// Titles of channels that send them encoded arrive as Base64 of their UTF-8 bytes.
QString wire(const QString &text, bool base64)
{
    return base64 ? QString::fromLatin1(text.toUtf8().toBase64()) : text;
}

void writeEntry(JsonOut &json, const LiveChannel &channel, const Programme &programme, qint64 now, bool table)
{
    const bool asText = channel.textNumbers;
    const QString start = localText(programme.start);
    const QString stop = localText(programme.stop);
    json.beginObject();
    json.key("id").integer(programme.id, true);
    json.key("epg_id").integer(channel.id % 1000, true);
    json.key("title").text(wire(programme.title, channel.base64Guide));
    json.key("lang").text("en");
    json.key("start").text(start);
    if (channel.stopInsteadOfEnd) {
        json.key("end").text("");
        json.key("stop").text(stop);
    } else {
        json.key("end").text(stop);
    }
    json.key("description").text(wire(programme.description, channel.base64Guide));
    json.key("channel_id").text(channel.epgChannelId);
    json.key("start_timestamp").integer(programme.start, asText);
    json.key("stop_timestamp").integer(programme.stop, asText);
    if (table) {
        json.key("now_playing").number(programme.start <= now && now < programme.stop ? 1 : 0);
        json.key("has_archive").number(channel.archive && programme.stop <= now ? 1 : 0);
    }
    json.endObject();
}

QByteArray listings(const LiveChannel &channel, const QList<Programme> &programmes, qint64 now, bool table)
{
    QByteArray out;
    out.reserve(programmes.size() * 420 + 32);
    JsonOut json(out);
    json.beginObject().key("epg_listings").beginArray();
    for (const Programme &programme : programmes)
        writeEntry(json, channel, programme, now, table);
    json.endArray().endObject();
    return out;
}

QByteArray emptyListings()
{
    return R"({"epg_listings":[]})";
}

} // namespace

QList<Programme> programmes(const Catalogue &catalogue, const LiveChannel &channel, qint64 from, qint64 to)
{
    QList<Programme> result;
    if (channel.epgChannelId.isEmpty() || to <= from)
        return result;
    const LabCategory &category = catalogue.categories(Kind::live)[channel.category];
    const qint64 phase = qint64(channel.guidePhase) * 60;
    // Floor division: times before 1970 plus the phase never occur, but keep it exact anyway.
    const auto blockOf = [&](qint64 t) { return (t - phase) >= 0 ? (t - phase) / blockSeconds : -((phase - t + blockSeconds - 1) / blockSeconds); };
    for (qint64 block = blockOf(from); block <= blockOf(to - 1); ++block) {
        Rng rng{catalogue.seed(), guideStream, quint64(channel.id), quint64(block)};
        const auto &pattern = patterns[size_t(rng.below(int(patterns.size())))];
        qint64 start = phase + block * blockSeconds;
        int part = 0;
        for (const int minutes : pattern) {
            if (minutes == 0)
                break;
            Programme programme;
            programme.start = start;
            programme.stop = start + minutes * 60;
            start = programme.stop;
            ++part;
            if (programme.stop <= from || programme.start >= to)
                continue;
            Rng draw{catalogue.seed(), guideStream, quint64(channel.id), quint64(programme.start)};
            if (category.region == 2)
                programme.title = draw.pick(titlesDE);
            else if (category.region == 3)
                programme.title = draw.pick(titlesHR);
            else
                programme.title = titles[size_t(category.genre)][size_t(draw.below(6))];
            programme.description = describe(programme.title, category.region, int(block % 97) + part);
            programme.id = 100000000 + qint64(draw.next() % 900000000);
            result.append(programme);
        }
    }
    return result;
}

QByteArray shortEpgAnswer(const Catalogue &catalogue, const LiveChannel *channel, qint64 now, int limit)
{
    if (!channel || limit <= 0)
        return emptyListings();
    // Enough blocks ahead for any limit a player asks for (at most one programme per quarter hour).
    const qint64 horizon = now + qint64(limit) * 3 * 3600 + blockSeconds;
    QList<Programme> upcoming = programmes(catalogue, *channel, now, horizon);
    if (upcoming.size() > limit)
        upcoming.resize(limit);
    return listings(*channel, upcoming, now, false);
}

QByteArray dataTableAnswer(const Catalogue &catalogue, const LiveChannel *channel, qint64 now)
{
    if (!channel)
        return emptyListings();
    const qint64 back = channel->archive ? qint64(std::max(channel->archiveDays, 1)) * 86400 : 6 * 3600;
    return listings(*channel, programmes(catalogue, *channel, now - back, now + 6 * 3600), now, true);
}

QString localText(qint64 secs)
{
    return QDateTime::fromSecsSinceEpoch(secs).toString(u"yyyy-MM-dd HH:mm:ss"_s);
}

std::optional<qint64> catchupStart(const QString &text)
{
    static const QRegularExpression pattern(u"^(\\d{4})-(\\d{2})-(\\d{2}):(\\d{2})-(\\d{2})$"_s);
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QDate date(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt());
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time).toSecsSinceEpoch();
}

} // namespace Lab::Guide
