#pragma once

#include <gumbo.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "node/handle_types.h"

namespace velkaron {

// Parser node -> weak reference to the one handle made for it. Open addressing over a flat
// array: the cache is consulted once per handle a search returns, so it must not chase a
// node-based map's pointers. An entry whose handle has died is reused for its node, and dropped
// when the table would grow: the cache holds about as many entries as there are live handles
// (and keeps the memory of dead ones only until then). Not synchronised: the tree guards it
// with its handle mutex.
class HandleCache {
public:
    // The entry for `node`, inserted empty when absent.
    std::weak_ptr<Node>& entry(const GumboNode* node) {
        if ((used + 1) * 2 > slots.size()) grow();
        Slot& slot = slots[probe(node)];
        if (slot.node == nullptr) {
            slot.node = node;
            ++used;
        }
        return slot.handle;
    }

    // Makes room for `expected` live entries in a table sized for them, when it is far larger:
    // after a long result has died, its dead entries would spread a short result's lookups
    // over the whole table, and keep the dead handles' memory.
    void fit(std::size_t expected) {
        if (slots.size() > 256 && slots.size() > 16 * (expected + 1)) rebuild(expected);
    }

    // Starts loading the slot where `node`'s search begins, for a lookup a few steps later.
    void prefetch(const GumboNode* node) const {
        if (!slots.empty()) __builtin_prefetch(&slots[hash(node) & (slots.size() - 1)]);
    }

    std::size_t size() const { return used; }

private:
    struct Slot {
        const GumboNode* node = nullptr;
        std::weak_ptr<Node> handle;
    };

    // Slots in address order, not mixed. Parser nodes are blocks of over 64 bytes, so no two
    // share a start slot, and the parser allocates them mostly in document order, the order
    // in which searches return them: a long result walks the table forward instead of missing
    // the cache at every node, which costs more than the lookup itself on a large page.
    static std::size_t hash(const GumboNode* node) {
        return static_cast<std::size_t>(reinterpret_cast<std::uintptr_t>(node) >> 6);
    }

    std::size_t probe(const GumboNode* node) const {
        const std::size_t mask = slots.size() - 1;
        std::size_t i = hash(node) & mask;
        while (slots[i].node != nullptr && slots[i].node != node) i = (i + 1) & mask;
        return i;
    }

    void grow() { rebuild(0); }

    // The live entries only, in a table with room for `extra` more.
    void rebuild(std::size_t extra) {
        std::vector<Slot> old = std::move(slots);
        std::size_t live = 0;
        for (const Slot& slot : old) live += slot.node != nullptr && !slot.handle.expired();
        // A quarter full at most after the rebuild, so rebuilds cost O(1) per insertion.
        std::size_t size = 256;
        while (size < (live + extra + 1) * 4) size *= 2;
        slots.clear();
        slots.resize(size);
        used = 0;
        for (Slot& slot : old) {
            if (slot.node == nullptr || slot.handle.expired()) continue;
            slots[probe(slot.node)] = std::move(slot);
            ++used;
        }
    }

    std::vector<Slot> slots;
    std::size_t used = 0;
};

}  // namespace velkaron
