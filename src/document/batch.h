#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "document/tree.h"

namespace velkaron {

// Parses every text into a Tree on up to `threads` threads (0: one per core), the calling
// thread included; trees come back in input order. Small batches stay on the calling thread:
// a worker is only started for each `bytes_per_worker` bytes of text. A failure (out of
// memory) stops the other workers and is rethrown once all have ended; no tree leaks. Every
// text is held to the same markup limits. The texts are read only during the call.
std::vector<std::unique_ptr<Tree>> parse_all(const std::vector<std::string_view>& texts,
                                             std::size_t threads,
                                             const MarkupLimits& limits = MarkupLimits());

// Below this much text per thread, starting a thread costs more than it saves.
constexpr std::size_t bytes_per_worker = 64 * 1024;

}  // namespace velkaron
