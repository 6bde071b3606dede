#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace velkaron {

// The answers to the most recent distinct queries, least recently used first out. Bounded so
// that a program asking many different questions of one long-lived tree does not keep every
// answer for the tree's life. Not synchronised.
template <typename Value>
class ResultCache {
public:
    explicit ResultCache(std::size_t capacity) : capacity(capacity) {}

    // The cached answer for `key`, or the one `compute()` gives, cached. The reference stays
    // valid until the next call.
    template <typename Compute>
    const Value& get(std::string key, Compute&& compute) {
        const auto found = index.find(std::string_view(key));
        if (found != index.end()) {
            entries.splice(entries.begin(), entries, found->second);
            return found->second->second;
        }
        if (entries.size() >= capacity) {
            index.erase(std::string_view(entries.back().first));
            entries.pop_back();
        }
        entries.emplace_front(std::move(key), compute());
        index.emplace(std::string_view(entries.front().first), entries.begin());
        return entries.front().second;
    }

    std::size_t size() const { return entries.size(); }

private:
    using Entries = std::list<std::pair<std::string, Value>>;

    std::size_t capacity;
    Entries entries;  // most recently used first
    // Keys view the strings held in `entries`, which list nodes keep in place.
    std::unordered_map<std::string_view, typename Entries::iterator> index;
};

}  // namespace velkaron
