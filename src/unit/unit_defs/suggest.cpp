#include "unit/unit_defs/suggest.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <optional>

#include "unit/parse.hpp"
#include "unit/unit_defs/lookup.hpp"
#include "unit/unit_defs/prefixes.hpp"
#include "unit/unit_defs/units.hpp"

namespace modrin {

namespace {

enum class Kind : std::uint8_t { name, symbol };  // aliases are names

struct Candidate {
    std::string_view spelling;
    Kind kind;
    std::string_view unit_name, unit_symbol;
    std::size_t order;  // the unit's place in the tables
    bool prefixable;    // a table row without an offset
};

// Every spelling lookup accepts without a prefix, in table order, aliases after the rows.
const std::vector<Candidate> &candidates() {
    static const std::vector<Candidate> all = [] {
        std::vector<Candidate> out;
        std::size_t order = 0;
        auto add_row = [&](const UnitDef &row) {
            const bool prefixable = row.offset == 0.0;
            out.push_back({row.name, Kind::name, row.name, row.symbol, order, prefixable});
            out.push_back({row.symbol, Kind::symbol, row.name, row.symbol, order, prefixable});
            ++order;
        };
        for (const UnitDef &row : BASE_UNITS) add_row(row);
        for (const UnitDef &row : UNITS) add_row(row);
        for (const UnitAlias &a : UNIT_ALIASES) {
            std::optional<SingleUnit> target = search_for_unit_name(a.alias);
            if (!target) continue;
            // The target's place, so an alias ranks with the unit it stands for.
            std::size_t place = order;
            for (const Candidate &c : out)
                if (c.unit_name == target->name()) place = c.order;
            // Views stay valid: rows are static and prefixed records are interned for good.
            out.push_back({a.alias, Kind::name, target->name(), target->symbol(), place,
                           place < order && target->offset() == 0.0});
        }
        return out;
    }();
    return all;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr int NONE = 1 << 20;

// Edit distance in half steps (insertion, deletion, substitution and transposition of
// neighbours cost 2; a change of ASCII case only costs 1), given up beyond `limit`. Texts
// that differ only in case are nearest of all.
int distance(std::string_view a, std::string_view b, int limit) {
    if (a.size() == b.size() && a != b &&
        std::equal(a.begin(), a.end(), b.begin(),
                   [](char x, char y) { return lower(x) == lower(y); }))
        return 1;
    const int la = static_cast<int>(a.size()), lb = static_cast<int>(b.size());
    if (2 * std::abs(la - lb) > limit) return NONE;
    std::vector<int> prev2(lb + 1), prev(lb + 1), row(lb + 1);
    for (int j = 0; j <= lb; ++j) prev[j] = 2 * j;
    for (int i = 1; i <= la; ++i) {
        row[0] = 2 * i;
        int best = row[0];
        for (int j = 1; j <= lb; ++j) {
            const char x = a[i - 1], y = b[j - 1];
            const int sub = x == y ? 0 : lower(x) == lower(y) ? 1 : 2;
            int d = std::min({prev[j] + 2, row[j - 1] + 2, prev[j - 1] + sub});
            if (i > 1 && j > 1 && x == b[j - 2] && a[i - 2] == y)
                d = std::min(d, prev2[j - 2] + 2);
            row[j] = d;
            best = std::min(best, d);
        }
        if (best > limit) return NONE;
        std::swap(prev2, prev);
        std::swap(prev, row);
    }
    return prev[lb] <= limit ? prev[lb] : NONE;
}

// How far a mistyped text may stray: a case slip for one letter, one edit for short texts,
// more for long names.
int limit_for(std::string_view text) {
    return text.size() <= 1 ? 1 : text.size() <= 4 ? 2 : text.size() <= 8 ? 4 : 6;
}

// A text of three or more letters that begins a name (any case) reads as its abbreviation,
// as "Amp" for ampere; the answer is then the unit's own symbol.
bool abbreviates(std::string_view text, std::string_view name) {
    if (text.size() < 3 || name.size() <= text.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (lower(text[i]) != lower(name[i])) return false;
    return true;
}

struct Match {
    int score;
    std::size_t order, prefix;  // prefix: index + 1, or 0 for none
    Spelling spelling;
};

}  // namespace

std::vector<Spelling> close_spellings(std::string_view text, std::size_t limit) {
    std::vector<Match> matches;
    // No spelling in the tables comes near this length; longer texts are not searched at all.
    if (text.size() > 64) return {};
    const int bound = limit_for(text);
    for (const Candidate &c : candidates()) {
        if (c.kind == Kind::name && abbreviates(text, c.spelling)) {
            matches.push_back(
                {2, c.order, 0, {std::string(c.unit_symbol), std::string(c.unit_name)}});
            continue;
        }
        const int d = distance(text, c.spelling, bound);
        if (d != NONE)
            matches.push_back(
                {d, c.order, 0, {std::string(c.spelling), std::string(c.unit_name)}});
    }
    // A prefix the text begins with, then a near spelling of a unit: "kilometers", "kmeter".
    for (std::size_t p = 0; p < PREFIXES.size(); ++p) {
        const UnitPrefix &prefix = PREFIXES[p];
        for (Kind via : {Kind::name, Kind::symbol}) {
            const std::string_view head = via == Kind::name ? prefix.name : prefix.symbol;
            if (via == Kind::symbol && head == prefix.name) continue;
            if (text.size() <= head.size() || !text.starts_with(head)) continue;
            const std::string_view rest = text.substr(head.size());
            // One edit at most after a prefix, and none in a stub of two letters, or every
            // short text would find some prefixed unit.
            const int rest_bound = rest.size() >= 3 ? 2 : 1;
            for (const Candidate &c : candidates()) {
                if (!c.prefixable) continue;
                // A prefix name joins names, a prefix symbol symbols: crossing costs a little.
                const int d = distance(rest, c.spelling, rest_bound);
                if (d == NONE) continue;
                const bool as_name = c.kind == Kind::name;
                std::string shown = std::string(as_name ? prefix.name : prefix.symbol);
                shown += c.spelling;
                std::string name = std::string(prefix.name) + std::string(c.unit_name);
                matches.push_back({d + (c.kind == via ? 0 : 1), c.order, p + 1,
                                   {std::move(shown), std::move(name)}});
            }
        }
    }
    std::stable_sort(matches.begin(), matches.end(), [](const Match &a, const Match &b) {
        if (a.score != b.score) return a.score < b.score;
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        return a.order < b.order;
    });
    std::vector<Spelling> out;
    for (Match &m : matches) {
        if (out.size() == limit) break;
        const bool seen = std::any_of(out.begin(), out.end(), [&](const Spelling &s) {
            return s.name == m.spelling.name;
        });
        // A spelling equal to the text is refused for another reason (a prefixed offset unit).
        if (!seen && m.spelling.text != text) out.push_back(std::move(m.spelling));
    }
    return out;
}

std::string explain_unit_not_found(std::string_view text) {
    std::optional<std::string_view> factor = unreadable_factor(text);
    if (!factor) {
        const std::string_view trimmed = trim_unicode_space(text);
        const std::size_t slash = trimmed.find('/');
        if (slash != std::string_view::npos &&
            trimmed.find('/', slash + 1) != std::string_view::npos)
            return "a unit expression has at most one '/'";
        return {};
    }
    std::vector<Spelling> close = close_spellings(*factor);
    const bool lone = factor->size() == trim_unicode_space(text).size();
    if (lone && close.empty()) return {};
    std::string note = "'" + std::string(*factor) + "' is not a unit";
    for (std::size_t i = 0; i < close.size(); ++i) {
        note += i == 0 ? "; close spellings: '" : ", '";
        note += close[i].text;
        note += '\'';
        if (close[i].text != close[i].name) note += " (" + close[i].name + ")";
    }
    return note;
}

}  // namespace modrin
