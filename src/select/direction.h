#pragma once

// The direction of elements' text, as :dir() asks for it: from the dir attribute, from the
// first strongly directional character when that is auto, else from the parent.

#include <gumbo.h>

#include <cstdint>
#include <unordered_map>

namespace velkaron::select {

enum class Direction : std::uint8_t { ltr, rtl };

// Kept for one query: each element's direction is found once, and the elements that inherit
// theirs take it from the nearest ancestor already known, so a query stays linear.
class Directions {
public:
    Direction of(const GumboNode* element);

private:
    std::unordered_map<const GumboNode*, Direction> known;
};

}  // namespace velkaron::select
