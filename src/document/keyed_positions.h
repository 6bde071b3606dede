#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

namespace velkaron {

// 32 bits of a key's hash: the element indexes file keys under this.
inline std::uint32_t key_hash(std::string_view key) {
    const std::size_t h = std::hash<std::string_view>()(key);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

inline std::uint32_t key_hash(std::string_view name, std::string_view value) {
    const std::size_t h = std::hash<std::string_view>()(name) * 0x9e3779b97f4a7c15ULL +
                          std::hash<std::string_view>()(value);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
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

    // After the last add, before the first lookup.
    void seal() { std::sort(entries.begin(), entries.end()); }

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

    std::pair<Entry, Entry> filed_under(std::uint32_t hash) const {
        const std::uint64_t low = static_cast<std::uint64_t>(hash) << 32;
        return {std::lower_bound(entries.begin(), entries.end(), low),
                std::lower_bound(entries.begin(), entries.end(), low + (std::uint64_t{1} << 32))};
    }

    std::vector<std::uint64_t> entries;
};

}  // namespace velkaron
