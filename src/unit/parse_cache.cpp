#include "unit/parse_cache.hpp"

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "unit/parse.hpp"

namespace modrin {

namespace {

// A word at a time: the memo only looks texts up, so no order ever depends on this hash.
std::uint64_t text_key(std::string_view s) {
    const char *p = s.data();
    std::size_t n = s.size();
    std::uint64_t h = 0x9e3779b97f4a7c15ULL ^ n;
    auto mix = [&h](std::uint64_t w) {
        h = (h ^ w) * 0xbf58476d1ce4e5b9ULL;
        h ^= h >> 31;
    };
    for (; n >= 8; n -= 8, p += 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        mix(w);
    }
    if (n > 0) {
        std::uint64_t w = 0;
        for (std::size_t i = 0; i < n; ++i)
            w |= std::uint64_t{static_cast<unsigned char>(p[i])} << (8 * i);
        mix(w);
    }
    h *= 0x94d049bb133111ebULL;
    return h ^ (h >> 32);
}

struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return text_key(s); }
};

// Shards keep threads that parse different texts off each other's lock. A full shard is
// emptied rather than evicted piecemeal: parsing is a pure function, so forgetting is safe.
struct Shard {
    std::mutex lock;
    std::unordered_map<std::string, SharedUnits, TextHash, std::equal_to<>>
        entries;
};

constexpr std::size_t SHARDS = 16;
constexpr std::size_t SHARD_CAPACITY = 128;
constexpr std::size_t LONGEST_CACHED = 64;

std::array<Shard, SHARDS> shards;

SharedUnits parse_shared(std::string_view text) {
    std::optional<UnitCollection> parsed = from_unit_name(text);
    return parsed ? SharedUnits(std::move(*parsed)) : SharedUnits();
}

// A per-thread front for the shards: a hit takes no lock. Direct-mapped, so its size is fixed.
struct LocalEntry {
    std::uint64_t hash = 0;
    std::string text;
    SharedUnits units;
    bool filled = false;
};
constexpr std::size_t LOCAL_SLOTS = 256;

LocalEntry &local_entry(std::uint64_t h) {
    static thread_local std::unique_ptr<std::array<LocalEntry, LOCAL_SLOTS>> local;
    if (!local) local = std::make_unique<std::array<LocalEntry, LOCAL_SLOTS>>();
    return (*local)[h % LOCAL_SLOTS];
}

SharedUnits from_shards(std::string_view text, std::uint64_t h) {
    Shard &shard = shards[(h >> 7) % SHARDS];
    {
        std::lock_guard guard(shard.lock);
        auto it = shard.entries.find(text);
        if (it != shard.entries.end()) return it->second;
    }
    SharedUnits parsed = parse_shared(text);
    std::lock_guard guard(shard.lock);
    if (shard.entries.size() >= SHARD_CAPACITY) shard.entries.clear();
    shard.entries.try_emplace(std::string(text), parsed);
    return parsed;
}

}  // namespace

SharedUnits from_unit_name_cached(std::string_view text) {
    if (text.size() > LONGEST_CACHED) return parse_shared(text);
    const std::uint64_t h = text_key(text);
    LocalEntry &e = local_entry(h);
    if (e.filled && e.hash == h && e.text == text) return e.units;
    SharedUnits parsed = from_shards(text, h);
    e.filled = false;  // left empty if the copy below throws
    e.text.assign(text);
    e.units = parsed;
    e.hash = h;
    e.filled = true;
    return parsed;
}

}  // namespace modrin
