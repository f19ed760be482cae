#include "xmltvreader.h"

#include <libxml/parser.h>

#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr int rootDepth = 1;
constexpr int programmeDepth = 2;
constexpr int fieldDepth = 3;

bool nameIs(const xmlChar *name, const char *expected)
{
    return std::strcmp(reinterpret_cast<const char *>(name), expected) == 0;
}

QByteArrayView view(const xmlChar *from, const xmlChar *to)
{
    return QByteArrayView(reinterpret_cast<const char *>(from), to - from);
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
qint64 daysFromCivil(qint64 year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const qint64 era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = unsigned(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + qint64(dayOfEra) - 719468;
}

bool isLeap(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int daysInMonth(int year, int month)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeap(year) ? 29 : days[month - 1];
}

// "de-AT" and "de" share "de"; compared without regard to case.
bool sameLanguage(QByteArrayView lang, const QByteArray &wanted)
{
    if (wanted.isEmpty())
        return false;
    qsizetype end = 0;
    while (end < lang.size() && lang[end] != '-' && lang[end] != '_')
        ++end;
    return end == wanted.size() && QByteArrayView(lang.first(end)).compare(wanted, Qt::CaseInsensitive) == 0;
}

// The text of one field kind (titles or descriptions) of a programme: the first one, and the
// first one in the wanted language.
struct Candidates
{
    std::string first;
    std::string chosen;
    bool haveFirst = false;
    bool haveChosen = false;

    void clear()
    {
        first.clear();
        chosen.clear();
        haveFirst = haveChosen = false;
    }
    const std::string &best() const { return haveChosen ? chosen : first; }
};

} // namespace

struct XmltvReader::State
{
    Handler &handler;
    QByteArray language; // primary subtag, lower case
    xmlParserCtxtPtr context = nullptr;
    xmlSAXHandler sax{};

    int depth = 0;
    bool rootSeen = false;
    bool rootIsTv = false;
    bool rootClosed = false;
    bool stopped = false;
    qint64 seen = 0;
    qint64 kept = 0;

    // The programme being read.
    bool inProgramme = false;
    bool skipping = false;
    Programme programme;
    Candidates titles;
    Candidates descs;

    // The field whose characters are being collected.
    enum class Field { none, title, desc };
    Field field = Field::none;
    bool fieldMatchesLanguage = false;
    std::string text;

    // Guides list a channel's programmes together: the last channel's answer is kept.
    std::string lastChannel;
    int lastKey = -1;
    bool haveLastChannel = false;

    State(Handler &h, const QString &lang)
        : handler(h)
    {
        const qsizetype dash = lang.indexOf(QLatin1Char('-'));
        const qsizetype underscore = lang.indexOf(QLatin1Char('_'));
        qsizetype end = lang.size();
        if (dash >= 0)
            end = std::min(end, dash);
        if (underscore >= 0)
            end = std::min(end, underscore);
        language = lang.left(end).toLower().toUtf8();
    }

    int channelKey(QByteArrayView id)
    {
        if (haveLastChannel && QByteArrayView(lastChannel.data(), qsizetype(lastChannel.size())) == id)
            return lastKey;
        lastChannel.assign(id.data(), size_t(id.size()));
        lastKey = handler.channelKey(id);
        haveLastChannel = true;
        return lastKey;
    }

    void startProgramme(int count, const xmlChar **attributes)
    {
        ++seen;
        inProgramme = true;
        skipping = true;
        programme = Programme();
        titles.clear();
        descs.clear();
        std::optional<Time> start;
        std::optional<Time> stop;
        int key = -1;
        bool haveChannel = false;
        // Five pointers an attribute: local name, prefix, URI, value, end of value.
        for (int i = 0; i < count; ++i) {
            const xmlChar **attribute = attributes + 5 * i;
            const QByteArrayView value = view(attribute[3], attribute[4]);
            if (nameIs(attribute[0], "channel")) {
                key = channelKey(value);
                haveChannel = true;
            } else if (nameIs(attribute[0], "start")) {
                start = parseTime(value);
            } else if (nameIs(attribute[0], "stop")) {
                stop = parseTime(value);
            }
        }
        if (!haveChannel || key < 0 || !start)
            return;
        skipping = false;
        programme.channel = key;
        programme.start = *start;
        if (stop && stop->utc > start->utc)
            programme.stop = stop->utc;
    }

    void endProgramme()
    {
        inProgramme = false;
        if (skipping)
            return;
        const std::string &title = titles.best();
        const std::string &desc = descs.best();
        programme.title = QString::fromUtf8(title.data(), qsizetype(title.size())).simplified();
        programme.desc = QString::fromUtf8(desc.data(), qsizetype(desc.size())).trimmed();
        ++kept;
        handler.programme(std::move(programme));
    }

    void startField(Field kind, int count, const xmlChar **attributes)
    {
        Candidates &candidates = kind == Field::title ? titles : descs;
        bool matches = false;
        for (int i = 0; i < count; ++i) {
            const xmlChar **attribute = attributes + 5 * i;
            if (nameIs(attribute[0], "lang"))
                matches = sameLanguage(view(attribute[3], attribute[4]), language);
        }
        // Only a text that can still be chosen is collected.
        if (candidates.haveChosen || (candidates.haveFirst && !matches))
            return;
        field = kind;
        fieldMatchesLanguage = matches;
        text.clear();
    }

    void endField()
    {
        Candidates &candidates = field == Field::title ? titles : descs;
        if (!candidates.haveFirst) {
            candidates.first = text;
            candidates.haveFirst = true;
        }
        if (fieldMatchesLanguage && !candidates.haveChosen) {
            candidates.chosen = std::move(text);
            candidates.haveChosen = true;
        }
        field = Field::none;
    }
};

namespace {

using State = XmltvReader::State;

State &stateOf(void *context)
{
    return *static_cast<State *>(context);
}

void onStartElement(void *context, const xmlChar *name, const xmlChar *, const xmlChar *, int, const xmlChar **,
                    int attributeCount, int, const xmlChar **attributes)
{
    State &state = stateOf(context);
    ++state.depth;
    if (state.depth == rootDepth) {
        state.rootSeen = true;
        state.rootIsTv = nameIs(name, "tv");
        if (!state.rootIsTv) {
            state.stopped = true;
            xmlStopParser(state.context);
        }
    } else if (state.depth == programmeDepth) {
        if (nameIs(name, "programme"))
            state.startProgramme(attributeCount, attributes);
    } else if (state.depth == fieldDepth && state.inProgramme && !state.skipping) {
        if (nameIs(name, "title"))
            state.startField(State::Field::title, attributeCount, attributes);
        else if (nameIs(name, "desc"))
            state.startField(State::Field::desc, attributeCount, attributes);
    }
}

void onEndElement(void *context, const xmlChar *, const xmlChar *, const xmlChar *)
{
    State &state = stateOf(context);
    if (state.depth == fieldDepth && state.field != State::Field::none)
        state.endField();
    else if (state.depth == programmeDepth && state.inProgramme)
        state.endProgramme();
    else if (state.depth == rootDepth)
        state.rootClosed = true;
    --state.depth;
}

void onCharacters(void *context, const xmlChar *characters, int length)
{
    State &state = stateOf(context);
    if (state.field != State::Field::none)
        state.text.append(reinterpret_cast<const char *>(characters), size_t(length));
}

// Messages of a sloppy guide are nobody's business: the program writes no log.
void onMessage(void *, const char *, ...) {}
void onStructuredError(void *, xmlErrorPtr) {}

} // namespace

std::optional<XmltvReader::Time> XmltvReader::parseTime(QByteArrayView text)
{
    qsizetype at = 0;
    const auto skipBlanks = [&] {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
            ++at;
    };
    skipBlanks();
    // YYYYMMDD, then hh, mm and ss each optional.
    int digits[14] = {};
    int count = 0;
    while (at < text.size() && count < 14 && text[at] >= '0' && text[at] <= '9')
        digits[count++] = text[at++] - '0';
    if (count < 8 || count % 2 != 0 || (at < text.size() && text[at] >= '0' && text[at] <= '9'))
        return std::nullopt;
    const auto number = [&](int from, int length) {
        int value = 0;
        for (int i = from; i < from + length; ++i)
            value = value * 10 + digits[i];
        return value;
    };
    const int year = number(0, 4);
    const int month = number(4, 2);
    const int day = number(6, 2);
    const int hour = count >= 10 ? number(8, 2) : 0;
    const int minute = count >= 12 ? number(10, 2) : 0;
    const int second = count >= 14 ? number(12, 2) : 0;
    if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 || minute > 59 || second > 60)
        return std::nullopt;

    skipBlanks();
    int offset = 0;
    const QByteArrayView zone = text.sliced(at);
    if (!zone.isEmpty()) {
        if (zone == "Z" || zone.compare("UTC", Qt::CaseInsensitive) == 0 || zone.compare("GMT", Qt::CaseInsensitive) == 0) {
            offset = 0;
        } else {
            // +hhmm or +hh:mm (and the same with "-").
            if (zone[0] != '+' && zone[0] != '-')
                return std::nullopt;
            QByteArray numbers;
            for (qsizetype i = 1; i < zone.size(); ++i) {
                if (zone[i] >= '0' && zone[i] <= '9')
                    numbers.append(zone[i]);
                else if (!(zone[i] == ':' && i == 3))
                    return std::nullopt;
            }
            if (numbers.size() != 4)
                return std::nullopt;
            const int hours = (numbers[0] - '0') * 10 + (numbers[1] - '0');
            const int minutes = (numbers[2] - '0') * 10 + (numbers[3] - '0');
            if (hours > 23 || minutes > 59)
                return std::nullopt;
            offset = (hours * 60 + minutes) * (zone[0] == '-' ? -1 : 1);
        }
    }
    const qint64 local = daysFromCivil(year, unsigned(month), unsigned(day)) * 86400 + hour * 3600 + minute * 60 + second;
    return Time{local - qint64(offset) * 60, offset};
}

XmltvReader::XmltvReader(Handler &handler, const QString &language)
    : m_state(std::make_unique<State>(handler, language))
{
    static std::once_flag initialised;
    std::call_once(initialised, [] { xmlInitParser(); });

    xmlSAXHandler &sax = m_state->sax;
    sax.initialized = XML_SAX2_MAGIC;
    sax.startElementNs = onStartElement;
    sax.endElementNs = onEndElement;
    sax.characters = onCharacters;
    sax.ignorableWhitespace = onCharacters;
    sax.cdataBlock = onCharacters;
    sax.warning = onMessage;
    sax.error = onMessage;
    sax.fatalError = onMessage;
    sax.serror = onStructuredError;
    // No entity declarations are kept and no entity is looked up (getEntity stays empty): a
    // guide can name no file or address for the parser to read.
}

XmltvReader::~XmltvReader()
{
    if (m_state->context)
        xmlFreeParserCtxt(m_state->context);
}

bool XmltvReader::feed(QByteArrayView bytes)
{
    State &state = *m_state;
    if (state.stopped)
        return false;
    if (bytes.isEmpty())
        return true;
    if (!state.context) {
        // The first bytes tell the parser the encoding.
        const int head = int(std::min<qsizetype>(bytes.size(), 4));
        state.context = xmlCreatePushParserCtxt(&state.sax, &state, bytes.data(), head, nullptr);
        if (!state.context) {
            state.stopped = true;
            return false;
        }
        // Lenient with the sloppiness real guides carry; entities of the five predefined
        // kinds and character references decoded in attribute values too; never the network.
        xmlCtxtUseOptions(state.context, XML_PARSE_RECOVER | XML_PARSE_NOENT | XML_PARSE_NONET | XML_PARSE_NOWARNING
                                             | XML_PARSE_NOERROR | XML_PARSE_COMPACT);
        bytes = bytes.sliced(head);
    }
    // libxml2 takes an int length.
    constexpr qsizetype step = 1 << 30;
    while (!bytes.isEmpty() && !state.stopped) {
        const qsizetype length = std::min(bytes.size(), step);
        xmlParseChunk(state.context, bytes.data(), int(length), 0);
        bytes = bytes.sliced(length);
    }
    if (state.context->instate == XML_PARSER_EOF && !state.rootSeen)
        state.stopped = true; // no document at all
    return !state.stopped;
}

XmltvReader::Outcome XmltvReader::finish()
{
    State &state = *m_state;
    if (state.context && !state.stopped)
        xmlParseChunk(state.context, nullptr, 0, 1);
    if (!state.rootSeen || !state.rootIsTv)
        return Outcome::notXmltv;
    return state.rootClosed ? Outcome::complete : Outcome::truncated;
}

qint64 XmltvReader::programmesSeen() const
{
    return m_state->seen;
}

qint64 XmltvReader::programmesKept() const
{
    return m_state->kept;
}
