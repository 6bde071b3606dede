#pragma once

#include <gumbo.h>

#include <array>
#include <string_view>

namespace velkaron {

// One slot per tag number, looked up by element name: a known tag by its exact lower-case
// name, and the empty name for the slot every tag unknown to the parser shares. Replaces a
// string-keyed map, so indexing an element costs no string and no hash.
template <typename T>
class TagTable {
public:
    T& at(GumboTag tag) { return slots[static_cast<std::size_t>(tag)]; }
    const T& at(GumboTag tag) const { return slots[static_cast<std::size_t>(tag)]; }

    // Null when no element can carry that name (any other case, or a name the parser does
    // not know): names are compared byte for byte.
    const T* find(std::string_view name) const {
        const GumboTag tag = gumbo_tagn_enum(name.data(), static_cast<unsigned int>(name.size()));
        if (tag == GUMBO_TAG_UNKNOWN) return name.empty() ? &at(GUMBO_TAG_UNKNOWN) : nullptr;
        return name == gumbo_normalized_tagname(tag) ? &at(tag) : nullptr;
    }

    void clear() { slots.fill(T{}); }

    template <typename Visit>
    void for_each(Visit&& visit) const {
        for (const T& slot : slots) visit(slot);
    }

private:
    std::array<T, static_cast<std::size_t>(GUMBO_TAG_LAST) + 1> slots{};
};

}  // namespace velkaron
