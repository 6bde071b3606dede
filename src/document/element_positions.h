#pragma once

#include <gumbo.h>

#include <cstdint>
#include <vector>

namespace velkaron {

// Parser element -> its position in document order. Open addressing over flat arrays (keys and
// values apart, 12 bytes a slot), filled once from the index's element list; read-only after.
class ElementPositions {
public:
    static constexpr std::uint32_t absent = UINT32_MAX;

    void fill(const std::vector<GumboNode*>& elements);
    std::uint32_t find(const GumboNode* element) const;
    std::size_t memory_bytes() const {
        return keys.capacity() * sizeof(const GumboNode*) + values.capacity() * sizeof(std::uint32_t);
    }

private:
    std::size_t slot_of(const GumboNode* element) const;

    std::vector<const GumboNode*> keys;
    std::vector<std::uint32_t> values;
};

}  // namespace velkaron
