#include "select/cache.h"

#include <list>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

#include "select/parser.h"

namespace velkaron::select {

namespace {

class CompiledCache {
public:
    std::shared_ptr<const SelectorList> get(std::string_view text) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            const auto found = entries.find(std::string(text));
            if (found != entries.end()) {
                recency.splice(recency.begin(), recency, found->second);
                return found->second->second;
            }
        }
        // Compiled outside the lock: a slow or failing compile holds up no other thread.
        std::shared_ptr<const SelectorList> program = compile(text);
        std::lock_guard<std::mutex> lock(mutex);
        std::string key(text);
        if (entries.find(key) == entries.end()) {
            recency.emplace_front(key, program);
            entries.emplace(std::move(key), recency.begin());
            if (entries.size() > cache_capacity) {
                entries.erase(recency.back().first);
                recency.pop_back();
            }
        }
        return program;
    }

private:
    using Entry = std::pair<std::string, std::shared_ptr<const SelectorList>>;
    std::mutex mutex;
    std::list<Entry> recency;  // most recent first
    std::unordered_map<std::string, std::list<Entry>::iterator> entries;
};

}  // namespace

std::shared_ptr<const SelectorList> compiled(std::string_view text) {
    // Never destroyed: queries may run while the interpreter finalises modules.
    static CompiledCache* const cache = new CompiledCache();
    return cache->get(text);
}

}  // namespace velkaron::select
