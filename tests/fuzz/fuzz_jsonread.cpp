// The integer and decimal reading rules against std::from_chars, and the text reading rule's
// round trip, on arbitrary texts.
#include "api/jsonread.h"

#include <QString>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void fail(const char *what, const std::string &text)
{
    std::fprintf(stderr, "%s: \"%s\"\n", what, text.c_str());
    std::abort();
}

// Optional sign, then ASCII digits only, all of it, fitting in 64 bits.
std::optional<qint64> expectedInteger(const std::string &text)
{
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    const std::string whole = (negative ? "-" : "") + std::string(digits);
    qint64 value = 0;
    const auto [end, error] = std::from_chars(whole.data(), whole.data() + whole.size(), value);
    if (error != std::errc() || end != whole.data() + whole.size())
        return std::nullopt;
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    const QString qtext = QString::fromUtf8(text.data(), qsizetype(text.size()));
    const bool plain = qtext.toUtf8() == QByteArray::fromStdString(text);

    const auto integer = JsonRead::integer(qtext);
    if (plain) {
        const auto expected = expectedInteger(text);
        if (integer != expected)
            fail("integer reading differs from from_chars", text);
    }

    const auto decimal = JsonRead::decimal(qtext);
    if (decimal && plain && !text.empty()) {
        // Whatever the rule accepts, from_chars reads the same way (modulo a leading "+").
        const std::string_view view = text.front() == '+' ? std::string_view(text).substr(1) : std::string_view(text);
        double expected = 0;
        const auto [end, error] = std::from_chars(view.data(), view.data() + view.size(), expected);
        if (error == std::errc() && end == view.data() + view.size()) {
            if (!(std::isnan(expected) && std::isnan(*decimal)) && expected != *decimal)
                fail("decimal reading differs from from_chars", text);
        }
    }
    if (integer) {
        const auto asDecimal = JsonRead::decimal(qtext);
        if (!asDecimal)
            fail("an integer that is no decimal", text);
    }
    return 0;
}
