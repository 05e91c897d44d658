#include "unit/parse.hpp"

#include <cstdint>

#include "unit/unit_defs/lookup.hpp"

namespace modrin {

namespace {

bool is_white_space(char32_t c) {
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

// Decodes the code point that starts at i, or returns 0xFFFFFFFF for a malformed sequence
// (never white space, so malformed text is simply not trimmed there).
char32_t decode_at(std::string_view s, std::size_t i, std::size_t &len) {
    const auto b = static_cast<unsigned char>(s[i]);
    len = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
    if (len == 0 || i + len > s.size()) {
        len = 1;
        return 0xFFFFFFFF;
    }
    char32_t c = len == 1 ? b : b & (0x7F >> len);
    for (std::size_t k = 1; k < len; ++k) {
        const auto cont = static_cast<unsigned char>(s[i + k]);
        if ((cont & 0xC0) != 0x80) {
            len = 1;
            return 0xFFFFFFFF;
        }
        c = (c << 6) | (cont & 0x3F);
    }
    return c;
}

// The start of the code point that ends just before `end`.
std::size_t previous_start(std::string_view s, std::size_t end) {
    std::size_t i = end - 1;
    while (i > 0 && end - i < 4 && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) --i;
    return i;
}

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

// One factor: a unit text with an optional one-digit exponent. An exponent is read from the
// last numeric character, so it reads only when that character is one ASCII digit that ends
// the token; no catalogue text contains a numeric character, so any other token that holds
// one (such as "m²" or "m2x") cannot be read either way.
std::string_view unit_text_of(std::string_view token) {
    return is_ascii_digit(token.back()) ? token.substr(0, token.size() - 1) : token;
}

std::optional<UnitCollection> read_factor(std::string_view token) {
    const std::string_view unit_text = unit_text_of(token);
    const double exponent = unit_text.size() < token.size() ? token.back() - '0' : 1.0;
    std::optional<SingleUnit> unit = search_for_unit_name(unit_text);
    if (!unit) return std::nullopt;
    UnitCollection c = coerce_unit_to_collection(std::move(*unit));
    if (exponent == 1.0) return c;
    return pow(c, exponent);
}

// Folds every "."-separated factor of `part` into `into`; false when a factor does not read,
// whose unit text then goes to `failed` if given.
bool fold_factors(UnitCollection &into, std::string_view part, bool numerator,
                  std::string_view *failed) {
    while (true) {
        std::size_t dot = part.find('.');
        std::string_view token = part.substr(0, dot);
        if (!token.empty() && token != "1") {
            std::optional<UnitCollection> factor = read_factor(token);
            if (!factor) {
                if (failed != nullptr) *failed = unit_text_of(token);
                return false;
            }
            into = numerator ? product(std::move(into), *factor)
                             : quotient(std::move(into), *factor);
        }
        if (dot == std::string_view::npos) return true;
        part.remove_prefix(dot + 1);
    }
}

// The trimmed text as a fraction of factor lists.
std::optional<UnitCollection> read_fraction(std::string_view trimmed, std::string_view *failed) {
    std::size_t slash = trimmed.find('/');
    std::string_view numerator = trimmed.substr(0, slash);
    std::string_view denominator;
    if (slash != std::string_view::npos) {
        denominator = trimmed.substr(slash + 1);
        if (denominator.find('/') != std::string_view::npos) return std::nullopt;
    }

    UnitCollection result;
    if (!fold_factors(result, numerator, true, failed) ||
        !fold_factors(result, denominator, false, failed))
        return std::nullopt;
    if (result.units.empty()) return std::nullopt;
    return result;
}

}  // namespace

std::string_view trim_unicode_space(std::string_view text) {
    std::size_t len = 0;
    while (!text.empty() && is_white_space(decode_at(text, 0, len))) text.remove_prefix(len);
    while (!text.empty()) {
        std::size_t start = previous_start(text, text.size());
        if (!is_white_space(decode_at(text, start, len)) || start + len != text.size()) break;
        text.remove_suffix(len);
    }
    return text;
}

std::optional<UnitCollection> from_unit_name(std::string_view text) {
    if (std::optional<SingleUnit> whole = search_for_unit_name(text))
        return coerce_unit_to_collection(std::move(*whole));

    std::string_view trimmed = trim_unicode_space(text);
    // A lone token without an exponent is the text already looked up as a whole.
    if (trimmed.size() == text.size() && trimmed.find_first_of("/.") == std::string_view::npos &&
        !trimmed.empty() && !is_ascii_digit(trimmed.back()) && trimmed != "1")
        return std::nullopt;
    return read_fraction(trimmed, nullptr);
}

std::optional<std::string_view> unreadable_factor(std::string_view text) {
    std::string_view failed;
    if (read_fraction(trim_unicode_space(text), &failed) || failed.data() == nullptr)
        return std::nullopt;
    return failed;
}

}  // namespace modrin
