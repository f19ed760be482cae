#include "jsondocument.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QMutex>
#include <QTimer>

#include <vector>

namespace {

// Parsers that finished a document wait here for the next one. A whole catalogue makes a
// parser touch about 100 MB of fresh memory, and faulting that in costs as much as the parsing
// itself; bursts of requests (a connection fetches three catalogues) reuse it. Once the
// requests have been quiet for a while the memory goes back.
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
            if (m_idle.size() >= 2)
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
            m_trim->setInterval(std::chrono::seconds(20));
            QObject::connect(m_trim, &QTimer::timeout, [this] {
                QMutexLocker lock(&m_mutex);
                m_idle.clear();
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
    static ParserPool instance;
    return instance;
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

bool JsonDocument::parseWithSimdjson(const char *data, size_t size, bool padded)
{
    auto result = m_parser->parse(data, size, /*realloc_if_needed=*/!padded);
    if (result.error()) {
        m_lastError = result.error();
        return false;
    }
    m_root = result.value_unsafe();
    const auto type = m_root.type();
    return type == simdjson::dom::element_type::OBJECT || type == simdjson::dom::element_type::ARRAY;
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
    if (parseWithSimdjson(data, size, padded))
        return true;
    if (m_lastError != simdjson::NUMBER_ERROR)
        return false;

    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromRawData(data, qsizetype(size)), &error);
    if (error.error != QJsonParseError::NoError || document.isNull())
        return false;
    m_rewritten = document.toJson(QJsonDocument::Compact);
    return parseWithSimdjson(m_rewritten.constData(), size_t(m_rewritten.size()), false);
}
