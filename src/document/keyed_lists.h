#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace velkaron {

// A hash map from a key to a list of values kept in insertion order, built for the indexes:
// open addressing over one slot array, with every list stored as links in one shared array.
// Adding a value costs no allocation of its own (both arrays grow geometrically), where a
// node-based map of vectors would allocate a node and a vector for almost every distinct key.
template <typename Key, typename Value, typename Hash = std::hash<Key>>
class KeyedLists {
public:
    void add(const Key& key, Value value) {
        if ((used_slots + 1) * 4 > slots.size() * 3) grow();
        const std::size_t hash = Hash()(key);
        Slot& slot = slots[probe(key, hash)];
        const auto link = static_cast<std::uint32_t>(links.size());
        links.push_back(Link{value, no_link});
        if (slot.count == 0) {
            slot = Slot{key, hash, link, link, 0};
            ++used_slots;
        } else {
            links[slot.tail].next = link;
            slot.tail = link;
        }
        ++slot.count;
    }

    // Number of values filed under `key` (0 when absent).
    std::size_t count(const Key& key) const {
        const Slot* slot = find(key);
        return slot == nullptr ? 0 : slot->count;
    }

    // Calls `visit` with each value filed under `key`, in insertion order.
    template <typename Visit>
    void for_each(const Key& key, Visit&& visit) const {
        const Slot* slot = find(key);
        if (slot == nullptr) return;
        for (std::uint32_t link = slot->head; link != no_link; link = links[link].next) {
            visit(links[link].value);
        }
    }

    // The first value filed under `key`, or null.
    const Value* first(const Key& key) const {
        const Slot* slot = find(key);
        return slot == nullptr ? nullptr : &links[slot->head].value;
    }

    std::vector<Value> list(const Key& key) const {
        std::vector<Value> values;
        values.reserve(count(key));
        for_each(key, [&values](const Value& value) { values.push_back(value); });
        return values;
    }

    std::size_t memory_bytes() const {
        return slots.capacity() * sizeof(Slot) + links.capacity() * sizeof(Link);
    }

    void clear() {
        slots.clear();
        links.clear();
        used_slots = 0;
    }

private:
    static constexpr std::uint32_t no_link = UINT32_MAX;

    struct Slot {
        Key key{};
        std::size_t hash = 0;
        std::uint32_t head = no_link;
        std::uint32_t tail = no_link;
        std::uint32_t count = 0;  // 0 marks an empty slot
    };
    struct Link {
        Value value;
        std::uint32_t next;
    };

    std::size_t probe(const Key& key, std::size_t hash) const {
        const std::size_t mask = slots.size() - 1;
        std::size_t i = hash & mask;
        while (slots[i].count != 0 && !(slots[i].hash == hash && slots[i].key == key)) {
            i = (i + 1) & mask;
        }
        return i;
    }

    const Slot* find(const Key& key) const {
        if (slots.empty()) return nullptr;
        const Slot& slot = slots[probe(key, Hash()(key))];
        return slot.count == 0 ? nullptr : &slot;
    }

    void grow() {
        std::vector<Slot> old = std::move(slots);
        slots.assign(old.empty() ? 64 : old.size() * 2, Slot{});
        const std::size_t mask = slots.size() - 1;
        for (Slot& slot : old) {
            if (slot.count == 0) continue;
            std::size_t i = slot.hash & mask;
            while (slots[i].count != 0) i = (i + 1) & mask;
            slots[i] = std::move(slot);
        }
    }

    std::vector<Slot> slots;
    std::vector<Link> links;
    std::size_t used_slots = 0;
};

}  // namespace velkaron
