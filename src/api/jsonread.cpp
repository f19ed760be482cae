#include "jsonread.h"

#include <cstring>
#include <string>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>

namespace JsonRead {

namespace {

QString fromDouble(double value)
{
    const double truncated = std::trunc(value);
    // Within the 64-bit range the digits come from the integer; outside it (a number the
    // provider wrote too large) a stable digit text of the truncated value, never a crash.
    if (truncated >= -9223372036854775808.0 && truncated < 9223372036854775808.0)
        return QString::number(static_cast<qint64>(truncated));
    if (!std::isfinite(truncated))
        return {};
    return QString::number(truncated, 'f', 0);
}

locale_t cLocale()
{
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return locale;
}

// The whole text as one C-locale floating-point number, nothing before or after it.
std::optional<double> decimalText(std::string_view text)
{
    if (text.empty())
        return std::nullopt;
    const unsigned char first = static_cast<unsigned char>(text.front());
    if (first == ' ' || (first >= '\t' && first <= '\r'))
        return std::nullopt;
    // strtod needs a terminated text; ratings and stamps fit the stack buffer.
    char small[64];
    std::string large;
    const char *begin = small;
    if (text.size() < sizeof small) {
        std::memcpy(small, text.data(), text.size());
        small[text.size()] = '\0';
    } else {
        large.assign(text);
        begin = large.c_str();
    }
    char *end = nullptr;
    const double result = strtod_l(begin, &end, cLocale());
    if (end != begin + text.size())
        return std::nullopt; // also an embedded NUL or nothing read
    return result;
}

} // namespace

QString str(const Field &value)
{
    if (!value)
        return {};
    const Element &element = *value;
    switch (element.type()) {
    case simdjson::dom::element_type::STRING: {
        const std::string_view text = element.get_string().value_unsafe();
        return QString::fromUtf8(text.data(), qsizetype(text.size()));
    }
    case simdjson::dom::element_type::INT64:
        return QString::number(element.get_int64().value_unsafe());
    case simdjson::dom::element_type::UINT64:
        return QString::number(element.get_uint64().value_unsafe());
    case simdjson::dom::element_type::DOUBLE:
        return fromDouble(element.get_double().value_unsafe());
    case simdjson::dom::element_type::BOOL:
        return element.get_bool().value_unsafe() ? QStringLiteral("1") : QStringLiteral("0");
    case simdjson::dom::element_type::NULL_VALUE:
    case simdjson::dom::element_type::ARRAY:
    case simdjson::dom::element_type::OBJECT:
        return {};
    }
    return {};
}

namespace {

// An optional sign and ASCII digits, the whole text, within 64 bits.
template<typename Char>
std::optional<qint64> integerDigits(const Char *text, qsizetype size)
{
    qsizetype at = 0;
    bool negative = false;
    if (size > 0 && (text[0] == Char('+') || text[0] == Char('-'))) {
        negative = text[0] == Char('-');
        at = 1;
    }
    if (at == size)
        return std::nullopt;
    quint64 magnitude = 0;
    const quint64 limit = negative ? quint64(std::numeric_limits<qint64>::max()) + 1 : quint64(std::numeric_limits<qint64>::max());
    for (; at < size; ++at) {
        const auto c = text[at];
        if (c < Char('0') || c > Char('9'))
            return std::nullopt;
        const quint64 digit = quint64(c - Char('0'));
        if (magnitude > (limit - digit) / 10)
            return std::nullopt;
        magnitude = magnitude * 10 + digit;
    }
    return negative ? qint64(0 - magnitude) : qint64(magnitude);
}

} // namespace

std::optional<qint64> integer(const QString &text)
{
    return integerDigits(text.utf16(), text.size());
}

std::optional<qint64> integer(const Field &value)
{
    if (value) {
        // Integers and texts skip the round trip through a QString; every other kind takes it.
        if (value->type() == simdjson::dom::element_type::INT64)
            return value->get_int64().value_unsafe();
        if (value->type() == simdjson::dom::element_type::STRING) {
            const std::string_view text = value->get_string().value_unsafe();
            return integerDigits(text.data(), qsizetype(text.size()));
        }
    }
    return integer(str(value));
}

std::optional<double> decimal(const Field &value)
{
    if (value) {
        switch (value->type()) {
        case simdjson::dom::element_type::INT64:
            return double(value->get_int64().value_unsafe());
        case simdjson::dom::element_type::UINT64:
            return double(value->get_uint64().value_unsafe());
        case simdjson::dom::element_type::DOUBLE:
            return value->get_double().value_unsafe();
        default:
            break;
        }
    }
    if (isString(value))
        return decimalText(value->get_string().value_unsafe());
    return decimalText(str(value).toUtf8().toStdString());
}

std::optional<double> decimal(const QString &text)
{
    // The C locale reads ASCII only, so any other character makes the text unreadable; that
    // lets short texts (stamps, ratings) skip the UTF-8 conversion.
    char buffer[64];
    if (text.size() < qsizetype(sizeof buffer)) {
        for (qsizetype i = 0; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            if (c == 0 || c > 0x7f)
                return std::nullopt;
            buffer[i] = char(c);
        }
        return decimalText(std::string_view(buffer, size_t(text.size())));
    }
    const QByteArray utf8 = text.toUtf8();
    return decimalText(std::string_view(utf8.constData(), size_t(utf8.size())));
}

Field member(const Field &element, std::string_view key)
{
    if (!isObject(element))
        return std::nullopt;
    auto result = asObject(*element).at_key(key);
    if (result.error())
        return std::nullopt;
    return result.value_unsafe();
}

bool isObject(const Field &value)
{
    return value && value->type() == simdjson::dom::element_type::OBJECT;
}

bool isArray(const Field &value)
{
    return value && value->type() == simdjson::dom::element_type::ARRAY;
}

bool isString(const Field &value)
{
    return value && value->type() == simdjson::dom::element_type::STRING;
}

bool isArrayOfObjects(const Field &value)
{
    if (!isArray(value))
        return false;
    for (const Element element : asArray(*value)) {
        if (element.type() != simdjson::dom::element_type::OBJECT)
            return false;
    }
    return true;
}

QByteArray utf8(const Field &value)
{
    if (!isString(value))
        return str(value).toUtf8();
    const std::string_view text = value->get_string().value_unsafe();
    return QByteArray(text.data(), qsizetype(text.size()));
}

std::optional<qint64> plainNumber(const Field &value)
{
    constexpr qint64 limit = 1'000'000'000'000'000'000; // 19 digits
    if (!value)
        return std::nullopt;
    switch (value->type()) {
    case simdjson::dom::element_type::INT64: {
        const qint64 number = value->get_int64().value_unsafe();
        return number >= 0 && number < limit ? std::optional(number) : std::nullopt;
    }
    case simdjson::dom::element_type::STRING: {
        const std::string_view text = value->get_string().value_unsafe();
        if (text.empty() || text.size() > 18 || (text.size() > 1 && text.front() == '0'))
            return std::nullopt;
        qint64 number = 0;
        for (const char c : text) {
            if (c < '0' || c > '9')
                return std::nullopt;
            number = number * 10 + (c - '0');
        }
        return number;
    }
    default:
        return std::nullopt;
    }
}

QString SharedTexts::str(const Field &value)
{
    if (!isString(value))
        return JsonRead::str(value);
    const std::string_view text = value->get_string().value_unsafe();
    auto it = m_texts.find(text);
    if (it == m_texts.end())
        it = m_texts.emplace(text, QString::fromUtf8(text.data(), qsizetype(text.size()))).first;
    return it->second;
}

} // namespace JsonRead
