#pragma once

#include <QByteArray>
#include <QString>

#include <simdjson.h>

#include <array>
#include <optional>
#include <string_view>
#include <unordered_map>

// The three lenient reading rules that turn one JSON value (or a missing key) into a field.
// Every decoder reads the provider's and the device service's answers through them.
namespace JsonRead {

using Element = simdjson::dom::element;
using Field = std::optional<Element>; // nullopt: the key is missing

// Text reading: texts unchanged; integers as their decimal digits; numbers with a fraction
// truncated toward zero; true/false as 1/0; null, objects, arrays and missing keys as "".
QString str(const Field &value);

// Text reading as UTF-8, with no detour through UTF-16 for texts.
QByteArray utf8(const Field &value);

// A whole number of at most 18 digits written plainly: a JSON integer, or a text of digits
// with no sign and no leading zero. What text reading would give such a value, as a number.
std::optional<qint64> plainNumber(const Field &value);

// Integer reading: text reading, then an optional sign and ASCII digits that fit in 64 bits.
std::optional<qint64> integer(const Field &value);
std::optional<qint64> integer(const QString &text);

// Decimal reading: numbers at their value; otherwise text reading, then the whole text must
// be one C-locale floating-point number with nothing before or after it.
std::optional<double> decimal(const Field &value);
std::optional<double> decimal(const QString &text);

// An element known to be an array or an object, as such (checked by the caller).
inline simdjson::dom::array asArray(const Element &element)
{
    simdjson::dom::array array;
    [[maybe_unused]] const auto error = element.get(array);
    return array;
}

inline simdjson::dom::object asObject(const Element &element)
{
    simdjson::dom::object object;
    [[maybe_unused]] const auto error = element.get(object);
    return object;
}

// The member `key` of `element` when element is an object holding it.
Field member(const Field &element, std::string_view key);

bool isObject(const Field &value);
bool isArray(const Field &value);
bool isString(const Field &value);

// True when `value` is an array whose elements are all objects (an empty array counts).
bool isArrayOfObjects(const Field &value);

// One object's members picked out in a single pass, by a fixed list of keys.
// Keys are compared exactly; a key that appears twice takes its last value.
template<size_t N>
class Row
{
public:
    explicit Row(const std::array<std::string_view, N> &keys)
        : m_keys(keys)
    {
    }

    void read(simdjson::dom::object object)
    {
        m_values.fill(std::nullopt);
        for (const auto field : object) {
            const std::string_view key = field.key;
            for (size_t i = 0; i < N; ++i) {
                if (m_keys[i].size() == key.size() && m_keys[i].front() == key.front() && m_keys[i] == key) {
                    m_values[i] = field.value;
                    break;
                }
            }
        }
    }

    const Field &operator[](size_t index) const { return m_values[index]; }

private:
    const std::array<std::string_view, N> &m_keys;
    std::array<Field, N> m_values{};
};

// Text reading that shares one QString among equal JSON texts (category ids, extensions):
// a catalogue of 200,000 rows holds a few hundred distinct ones.
class SharedTexts
{
public:
    QString str(const Field &value);

private:
    std::unordered_map<std::string_view, QString> m_texts;
};

} // namespace JsonRead
