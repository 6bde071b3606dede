#pragma once

#include <memory>
#include <string_view>

#include "select/selector.h"

namespace velkaron::select {

// Compiled selectors for the most recently used selector texts, shared by every tree and
// thread. Bounded: the least recently used entry goes once `capacity` are held. Selector
// errors are thrown anew on every call, never cached.
constexpr std::size_t cache_capacity = 256;

std::shared_ptr<const SelectorList> compiled(std::string_view text);

}  // namespace velkaron::select
