#pragma once

#include "jsonread.h"

#include <QByteArray>

#include <memory>

// One parsed answer. The top level must be an object or an array, as the provider protocol
// has it. simdjson does the parsing; a body it rejects only for a number beyond 64 bits is
// read by Qt's parser instead (which keeps such numbers as doubles), so no valid answer is lost.
class JsonDocument
{
public:
    JsonDocument();
    ~JsonDocument();
    JsonDocument(const JsonDocument &) = delete;
    JsonDocument &operator=(const JsonDocument &) = delete;

    // False when the body is not JSON or its top level is neither an object nor an array.
    bool parse(const QByteArray &body);

    JsonRead::Element root() const { return m_root; }

private:
    bool parseWithSimdjson(const char *data, size_t size, bool padded);

    std::unique_ptr<simdjson::dom::parser> m_parser;
    simdjson::error_code m_lastError = simdjson::SUCCESS;
    QByteArray m_rewritten; // Qt's re-serialisation of a body simdjson could not take
    JsonRead::Element m_root;
};
