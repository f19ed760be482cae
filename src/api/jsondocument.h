#pragma once

#include "jsonread.h"

#include <QByteArray>

#include <memory>

// One parsed answer. The top level must be an object or an array, as the provider protocol
// has it. simdjson does the parsing; a body it rejects only for a number beyond 64 bits is
// read by Qt's parser instead (which keeps such numbers as doubles), so no valid answer is lost.
//
// Answers are bounded so that a hostile panel cannot make decoding stall or run out of memory: no
// real panel nests deeper, sends more members in one array or object, or writes longer texts.
class JsonDocument
{
public:
    static constexpr size_t maxDepth = 64;         // nested arrays and objects
    // The parser stops a little deeper than that, so that the limit is counted in one place.
    static constexpr size_t parserDepth = maxDepth + 2;
    static constexpr size_t maxRows = 2'000'000;   // elements of one array or members of one object
    static constexpr size_t maxTextBytes = 65'536; // one text or key, in UTF-8

    // Why the last parse() answered false. The limits are answers the program did not
    // understand rather than network failures.
    enum class Refusal { none, notJson, notContainer, tooDeep, tooManyRows, textTooLong };
    static const char *describe(Refusal refusal);

    JsonDocument();
    ~JsonDocument();
    JsonDocument(const JsonDocument &) = delete;
    JsonDocument &operator=(const JsonDocument &) = delete;

    // False when the body is not JSON, its top level is neither an object nor an array, or it
    // exceeds one of the limits above; refusal() says which.
    bool parse(const QByteArray &body);
    Refusal refusal() const { return m_refusal; }
    // One run of an answer, readable for the parser's padding past its end; no second parser
    // is tried, and a BOM is not skipped. The same limits apply.
    bool parseRun(const char *data, size_t size);
    // Room for runs of up to `size` bytes made at once: a document reused for many runs then
    // touches its parser's memory once rather than growing it run by run.
    void reserve(size_t size) { grow(size); }

    JsonRead::Element root() const { return m_root; }

private:
    bool grow(size_t size);
    bool parseWithSimdjson(const char *data, size_t size, bool padded);
    Refusal bounds(const JsonRead::Element &element, size_t depth = 1) const;

    std::unique_ptr<simdjson::dom::parser> m_parser;
    simdjson::error_code m_lastError = simdjson::SUCCESS;
    Refusal m_refusal = Refusal::none;
    QByteArray m_rewritten; // Qt's re-serialisation of a body simdjson could not take
    JsonRead::Element m_root;
};
