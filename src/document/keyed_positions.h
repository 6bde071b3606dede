#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

namespace velkaron {

namespace key_hashing {

constexpr std::uint64_t multiplier = 0x9e3779b97f4a7c15ULL;

inline std::uint64_t load(const char* bytes, std::size_t count) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, count);
    return word;
}

inline std::uint64_t mix(std::uint64_t a, std::uint64_t b) {
    const unsigned __int128 product = static_cast<unsigned __int128>(a ^ multiplier) * (b ^ 0xe7037ed1a0b428dbULL);
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

// A multiply-fold hash over 8-byte words, inline: most keys are a few bytes, where a call to
// the standard library's hash cost more than the hashing.
inline std::uint64_t bytes(std::string_view key, std::uint64_t seed) {
    const char* at = key.data();
    std::size_t left = key.size();
    std::uint64_t h = seed ^ (left * multiplier);
    for (; left > 8; left -= 8, at += 8) h = mix(h ^ load(at, 8), multiplier);
    // The last one to eight bytes, read as two overlapping words.
    std::uint64_t first = 0, last = 0;
    if (left >= 4) {
        first = load(at, 4);
        last = load(at + left - 4, 4);
    } else if (left > 0) {
        first = static_cast<unsigned char>(at[0]) | static_cast<std::uint64_t>(static_cast<unsigned char>(at[left / 2])) << 8;
        last = static_cast<unsigned char>(at[left - 1]);
    }
    return mix(h ^ first, last ^ (key.size() << 32));
}

inline std::uint32_t fold(std::uint64_t h) { return static_cast<std::uint32_t>(h ^ (h >> 32)); }

}  // namespace key_hashing

// 32 bits of a key's hash: the element indexes file keys under this.
inline std::uint32_t key_hash(std::string_view key) { return key_hashing::fold(key_hashing::bytes(key, 0)); }

inline std::uint32_t key_hash(std::string_view name, std::string_view value) {
    return key_hashing::fold(key_hashing::bytes(value, key_hashing::bytes(name, 1)));
}

// Element positions filed under the hash of a key, one entry (8 bytes) per occurrence, sorted
// once the index is built. The keys themselves are not kept: they are strings the elements
// already hold, so a lookup asks the caller how often the key occurs in each element filed
// under its hash. Keys that share a hash never mix their answers, and no string is copied.
class KeyedPositions {
public:
    void add(std::uint32_t hash, std::uint32_t position) {
        entries.push_back(static_cast<std::uint64_t>(hash) << 32 | position);
    }

    // After the last add, before the first lookup. Positions are added in document order, so
    // a stable sort by hash alone puts the entries in full order: a radix sort, three passes
    // over the hash's 32 bits, where a comparison sort spent a tenth of the index build.
    void seal() {
        if (entries.size() < radix_threshold) {
            std::sort(entries.begin(), entries.end());
            return;
        }
        std::vector<std::uint64_t> sorted(entries.size());
        for (const unsigned shift : {32u, 43u, 54u}) {
            if (!scatter_by_digit(entries, sorted, shift)) continue;
            entries.swap(sorted);
        }
        entries.shrink_to_fit();
    }

    // Calls visit(position) for every occurrence of the key in document order, an element
    // once per occurrence: `occurrences(position)` counts those of the element at `position`.
    template <typename Occurrences, typename Visit>
    void for_each(std::uint32_t hash, Occurrences&& occurrences, Visit&& visit) const {
        auto entry = std::lower_bound(entries.begin(), entries.end(), static_cast<std::uint64_t>(hash) << 32);
        while (entry != entries.end() && static_cast<std::uint32_t>(*entry >> 32) == hash) {
            const std::uint64_t same = *entry;
            std::size_t filed = 0;
            for (; entry != entries.end() && *entry == same; ++entry) ++filed;
            const auto position = static_cast<std::uint32_t>(same);
            const std::size_t found = std::min<std::size_t>(filed, occurrences(position));
            for (std::size_t i = 0; i < found; ++i) visit(position);
        }
    }

    // Entries filed under `hash`, whichever keys share it: at least any one key's occurrences.
    std::size_t filed_count(std::uint32_t hash) const {
        const auto [first, last] = filed_under(hash);
        return static_cast<std::size_t>(last - first);
    }

    // Calls visit(position) once for each element filed under `hash`, in document order,
    // without asking which key the element holds: for callers that test the key themselves.
    template <typename Visit>
    void for_each_filed(std::uint32_t hash, Visit&& visit) const {
        const auto [first, last] = filed_under(hash);
        for (auto entry = first; entry != last; ++entry) {
            if (entry == first || *entry != entry[-1]) visit(static_cast<std::uint32_t>(*entry));
        }
    }

    std::size_t memory_bytes() const { return entries.capacity() * sizeof(std::uint64_t); }

    void clear() { entries.clear(); }

private:
    using Entry = std::vector<std::uint64_t>::const_iterator;

    static constexpr std::size_t radix_threshold = 512;
    static constexpr unsigned digit_bits = 11;

    // One stable counting pass on the 11-bit digit at `shift`; false (and `to` untouched)
    // when every entry has the same digit there, so the pass would change nothing.
    static bool scatter_by_digit(const std::vector<std::uint64_t>& from, std::vector<std::uint64_t>& to,
                                 unsigned shift) {
        constexpr std::size_t digits = std::size_t{1} << digit_bits;
        std::vector<std::size_t> starts(digits, 0);
        for (const std::uint64_t entry : from) ++starts[(entry >> shift) & (digits - 1)];
        std::size_t next = 0;
        for (std::size_t& start : starts) {
            if (start == from.size()) return false;
            next += std::exchange(start, next);
        }
        for (const std::uint64_t entry : from) to[starts[(entry >> shift) & (digits - 1)]++] = entry;
        return true;
    }

    std::pair<Entry, Entry> filed_under(std::uint32_t hash) const {
        const std::uint64_t low = static_cast<std::uint64_t>(hash) << 32;
        return {std::lower_bound(entries.begin(), entries.end(), low),
                std::lower_bound(entries.begin(), entries.end(), low + (std::uint64_t{1} << 32))};
    }

    std::vector<std::uint64_t> entries;
};

}  // namespace velkaron
