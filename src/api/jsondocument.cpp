#include "jsondocument.h"

#include "hugepages.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QMutex>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <vector>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Parsers that finished a document wait here for the next one. A whole catalogue makes a
// parser touch about 100 MB of fresh memory, and faulting that in costs as much as the parsing
// itself; bursts of requests (a connection fetches three catalogues, each decoded in runs on a
// thread or two, one right after the other) reuse it. Once the requests have been quiet for a
// moment the memory goes back to the system, together with what malloc kept of the freed
// answers and runs: some tens of megabytes that a player left at its home rows does not need.
class ParserPool
{
public:
    std::unique_ptr<simdjson::dom::parser> take()
    {
        QMutexLocker lock(&m_mutex);
        if (m_idle.empty())
            return std::make_unique<simdjson::dom::parser>();
        auto parser = std::move(m_idle.back());
        m_idle.pop_back();
        return parser;
    }

    void give(std::unique_ptr<simdjson::dom::parser> parser)
    {
        {
            QMutexLocker lock(&m_mutex);
            if (m_idle.size() >= 4)
                return;
            m_idle.push_back(std::move(parser));
        }
        if (QCoreApplication *app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, [this] { scheduleTrim(); }, Qt::QueuedConnection);
    }

private:
    void scheduleTrim()
    {
        if (!m_trim) {
            m_trim = new QTimer(QCoreApplication::instance());
            m_trim->setSingleShot(true);
            // Longer than the gap between one catalogue's last run and the next one's first.
            m_trim->setInterval(std::chrono::seconds(1));
            QObject::connect(m_trim, &QTimer::timeout, [this] {
                // Freeing and trimming a few hundred megabytes takes a while: not on this thread.
                (void)QtConcurrent::run([this] {
                    std::vector<std::unique_ptr<simdjson::dom::parser>> idle;
                    {
                        QMutexLocker lock(&m_mutex);
                        idle.swap(m_idle);
                    }
                    idle.clear();
#ifdef __GLIBC__
                    malloc_trim(0);
#endif
                });
            });
        }
        m_trim->start();
    }

    QMutex m_mutex;
    std::vector<std::unique_ptr<simdjson::dom::parser>> m_idle;
    QTimer *m_trim = nullptr; // main thread only
};

ParserPool &pool()
{
    // Never destroyed: at exit a trim on a pool thread may still hold the idle parsers.
    static auto *instance = new ParserPool;
    return *instance;
}

} // namespace

JsonDocument::JsonDocument()
    : m_parser(pool().take())
{
}

JsonDocument::~JsonDocument()
{
    pool().give(std::move(m_parser));
}

const char *JsonDocument::describe(Refusal refusal)
{
    switch (refusal) {
    case Refusal::none:
        return "understood";
    case Refusal::notJson:
        return "not JSON";
    case Refusal::notContainer:
        return "not JSON of an object or array";
    case Refusal::tooDeep:
        return "nested too deeply";
    case Refusal::tooManyRows:
        return "too many rows";
    case Refusal::textTooLong:
        return "a text too long";
    }
    return "";
}

// One pass over the parsed tape: linear in the answer's size. The depth is counted here, the
// same way for arrays and objects; the parser's own limit, a little above it, keeps the
// recursion short before this pass runs.
JsonDocument::Refusal JsonDocument::bounds(const JsonRead::Element &element, size_t depth) const
{
    switch (element.type()) {
    case simdjson::dom::element_type::STRING: {
        std::string_view text;
        [[maybe_unused]] const auto error = element.get(text);
        return text.size() > maxTextBytes ? Refusal::textTooLong : Refusal::none;
    }
    case simdjson::dom::element_type::ARRAY: {
        if (depth > maxDepth)
            return Refusal::tooDeep;
        size_t count = 0;
        for (const auto item : JsonRead::asArray(element)) {
            if (++count > maxRows)
                return Refusal::tooManyRows;
            if (const Refusal inner = bounds(item, depth + 1); inner != Refusal::none)
                return inner;
        }
        return Refusal::none;
    }
    case simdjson::dom::element_type::OBJECT: {
        if (depth > maxDepth)
            return Refusal::tooDeep;
        size_t count = 0;
        for (const auto field : JsonRead::asObject(element)) {
            if (++count > maxRows)
                return Refusal::tooManyRows;
            if (field.key.size() > maxTextBytes)
                return Refusal::textTooLong;
            if (const Refusal inner = bounds(field.value, depth + 1); inner != Refusal::none)
                return inner;
        }
        return Refusal::none;
    }
    default:
        return Refusal::none;
    }
}

// A fresh parser starts with the library's own depth limit; set ours before it first grows.
// Grown here rather than inside parse(), so that a catalogue's buffers (a tape and a text store
// of several times the answer's size) are first touched as huge pages.
bool JsonDocument::grow(size_t size)
{
    if (m_parser->max_depth() == parserDepth && m_parser->capacity() >= size)
        return true;
    if (m_parser->allocate(std::max(size, size_t(simdjson::dom::MINIMAL_DOCUMENT_CAPACITY)), parserDepth))
        return false;
    const size_t capacity = m_parser->doc.capacity();
    HugePages::advise(m_parser->doc.tape.get(), qsizetype((capacity + 3) * sizeof(uint64_t)));
    HugePages::advise(m_parser->doc.string_buf.get(), qsizetype(5 * capacity / 3 + simdjson::SIMDJSON_PADDING));
    return true;
}

bool JsonDocument::parseWithSimdjson(const char *data, size_t size, bool padded)
{
    if (!grow(size)) {
        m_lastError = simdjson::MEMALLOC;
        m_refusal = Refusal::notJson;
        return false;
    }
    auto result = m_parser->parse(data, size, /*realloc_if_needed=*/!padded);
    if (result.error()) {
        m_lastError = result.error();
        m_refusal = m_lastError == simdjson::DEPTH_ERROR ? Refusal::tooDeep : Refusal::notJson;
        return false;
    }
    m_root = result.value_unsafe();
    const auto type = m_root.type();
    if (type != simdjson::dom::element_type::OBJECT && type != simdjson::dom::element_type::ARRAY) {
        m_refusal = Refusal::notContainer;
        return false;
    }
    m_refusal = bounds(m_root);
    return m_refusal == Refusal::none;
}

bool JsonDocument::parse(const QByteArray &body)
{
    // Some panels write a UTF-8 byte-order mark before the JSON; neither parser takes one.
    const QByteArrayView utf8Mark("\xEF\xBB\xBF");
    const qsizetype skip = body.startsWith(utf8Mark) ? utf8Mark.size() : 0;
    const char *data = body.constData() + skip;
    const size_t size = size_t(body.size() - skip);
    // simdjson reads a few bytes past the end; use the buffer as it is when it has room. (A body
    // over borrowed bytes reports no capacity at all.)
    const bool padded = body.capacity() - body.size() >= qsizetype(simdjson::SIMDJSON_PADDING);
    m_lastError = simdjson::SUCCESS;
    m_refusal = Refusal::none;
    if (parseWithSimdjson(data, size, padded))
        return true;
    if (m_lastError != simdjson::NUMBER_ERROR)
        return false;

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromRawData(data, qsizetype(size)), &error);
    if (error.error != QJsonParseError::NoError || document.isNull()) {
        m_refusal = error.error == QJsonParseError::DeepNesting ? Refusal::tooDeep : Refusal::notJson;
        return false;
    }
    m_rewritten = document.toJson(QJsonDocument::Compact);
    return parseWithSimdjson(m_rewritten.constData(), size_t(m_rewritten.size()), false);
}

bool JsonDocument::parseRun(const char *data, size_t size)
{
    m_lastError = simdjson::SUCCESS;
    m_refusal = Refusal::none;
    return parseWithSimdjson(data, size, true);
}
