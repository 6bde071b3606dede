#include "document/tag_lookup.h"

#include <cstdint>
#include <cstring>

namespace velkaron {

namespace {

// No tag the parser knows has a longer name.
constexpr std::size_t longest_name = 16;

// A name lower-cased into two words, zero-padded: equal keys are equal names.
struct Key {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    std::size_t length = 0;

    explicit Key(std::string_view name) : length(name.size()) {
        unsigned char bytes[longest_name] = {};
        for (std::size_t i = 0; i < name.size(); ++i) {
            const auto c = static_cast<unsigned char>(name[i]);
            bytes[i] = static_cast<unsigned char>(static_cast<unsigned>(c - 'A') < 26u ? c + ('a' - 'A') : c);
        }
        std::memcpy(&low, bytes, 8);
        std::memcpy(&high, bytes + 8, 8);
    }

    std::size_t slot(std::size_t mask) const {
        const std::uint64_t h = (low * 0x9e3779b97f4a7c15ULL) ^ (high * 0xc2b2ae3d27d4eb4fULL) ^ length;
        return static_cast<std::size_t>(h ^ (h >> 29)) & mask;
    }
    bool operator==(const Key& other) const {
        return low == other.low && high == other.high && length == other.length;
    }
};

class TagNames {
public:
    TagNames() {
        for (int tag = 0; tag < GUMBO_TAG_UNKNOWN; ++tag) {
            const char* name = gumbo_normalized_tagname(static_cast<GumboTag>(tag));
            const std::size_t length = name == nullptr ? 0 : std::strlen(name);
            if (length == 0 || length > longest_name) continue;
            const Key key(std::string_view(name, length));
            std::size_t at = key.slot(mask);
            while (slots[at].tag != GUMBO_TAG_UNKNOWN) at = (at + 1) & mask;
            slots[at] = Slot{key, static_cast<GumboTag>(tag)};
        }
    }

    GumboTag find(std::string_view name) const {
        if (name.empty() || name.size() > longest_name) return GUMBO_TAG_UNKNOWN;
        const Key key(name);
        for (std::size_t at = key.slot(mask);; at = (at + 1) & mask) {
            const Slot& slot = slots[at];
            if (slot.tag == GUMBO_TAG_UNKNOWN || slot.key == key) return slot.tag;
        }
    }

private:
    struct Slot {
        Key key{std::string_view()};
        GumboTag tag = GUMBO_TAG_UNKNOWN;
    };
    // Four times the parser's tag count, a power of two: probes stay short, and one empty slot
    // always ends a search.
    static constexpr std::size_t slot_count = 1024;
    static constexpr std::size_t mask = slot_count - 1;
    Slot slots[slot_count];
};

}  // namespace

GumboTag tag_of_name(std::string_view name) {
    static const TagNames names;
    return names.find(name);
}

}  // namespace velkaron
