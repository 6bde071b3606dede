#pragma once

// The answers one query keeps about elements, by (selector part, element, relation).
// Open addressing in one flat array: queries over tens of thousands of elements file an answer
// per element and relation, and a node-based map costs several times more per answer.

#include <cstdint>
#include <optional>
#include <vector>

namespace velkaron::select {

template <typename Answer>
class AnswerTable {
public:
    struct Key {
        const void* what = nullptr;
        const void* element = nullptr;
        std::uint32_t part = 0;  // which part of `what`, and which relation

        bool operator==(const Key& other) const {
            return what == other.what && element == other.element && part == other.part;
        }
    };

    std::optional<Answer> find(const Key& key) const {
        if (slots.empty()) return std::nullopt;
        for (std::size_t i = home(key);; i = (i + 1) & mask()) {
            const Slot& slot = slots[i];
            if (slot.key.element == nullptr) return std::nullopt;
            if (slot.key == key) return slot.answer;
        }
    }

    // Keeps the first answer filed under a key.
    void file(const Key& key, Answer answer) {
        if ((used + 1) * 4 > slots.size() * 3) grow();
        for (std::size_t i = home(key);; i = (i + 1) & mask()) {
            Slot& slot = slots[i];
            if (slot.key == key) return;
            if (slot.key.element == nullptr) {
                slot = Slot{key, answer};
                ++used;
                return;
            }
        }
    }

private:
    struct Slot {
        Key key;
        Answer answer{};
    };

    std::size_t mask() const { return slots.size() - 1; }

    std::size_t home(const Key& key) const {
        std::uint64_t hash = reinterpret_cast<std::uintptr_t>(key.element) * 0x9E3779B97F4A7C15ull;
        hash ^= reinterpret_cast<std::uintptr_t>(key.what) + key.part * 0xC2B2AE3D27D4EB4Full;
        hash *= 0xFF51AFD7ED558CCDull;
        return static_cast<std::size_t>(hash ^ (hash >> 29)) & mask();
    }

    void grow() {
        std::vector<Slot> old = std::move(slots);
        slots.assign(old.empty() ? 1024 : old.size() * 2, Slot{});
        used = 0;
        for (const Slot& slot : old) {
            if (slot.key.element != nullptr) file(slot.key, slot.answer);
        }
    }

    std::vector<Slot> slots;
    std::size_t used = 0;
};

}  // namespace velkaron::select
