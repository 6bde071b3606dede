#include "document/element_positions.h"

namespace velkaron {

namespace {

std::size_t hash(const GumboNode* node) {
    // Parser nodes are heap blocks: drop the alignment bits, then mix.
    auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(node)) >> 4;
    bits *= 0x9e3779b97f4a7c15ULL;
    return static_cast<std::size_t>(bits ^ (bits >> 29));
}

}  // namespace

void ElementPositions::fill(const std::vector<GumboNode*>& elements) {
    // At most three quarters full.
    std::size_t capacity = 16;
    while (capacity * 3 < elements.size() * 4) capacity *= 2;
    keys.assign(capacity, nullptr);
    values.assign(capacity, absent);
    for (std::size_t position = 0; position < elements.size() && position < absent; ++position) {
        const std::size_t slot = slot_of(elements[position]);
        if (keys[slot] != nullptr) continue;
        keys[slot] = elements[position];
        values[slot] = static_cast<std::uint32_t>(position);
    }
}

std::size_t ElementPositions::slot_of(const GumboNode* element) const {
    const std::size_t mask = keys.size() - 1;
    std::size_t i = hash(element) & mask;
    while (keys[i] != nullptr && keys[i] != element) i = (i + 1) & mask;
    return i;
}

std::uint32_t ElementPositions::find(const GumboNode* element) const {
    if (keys.empty() || element == nullptr) return absent;
    return values[slot_of(element)];
}

}  // namespace velkaron
