#pragma once

// Memory a pool keeps for reuse is marked unusable under AddressSanitizer while it waits, so a
// use after free still shows in a sanitizer build as it would with the general allocator.
// Elsewhere the marks cost nothing.

#include <cstddef>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELKARON_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VELKARON_ADDRESS_SANITIZER 1
#endif

#ifdef VELKARON_ADDRESS_SANITIZER
#include <sanitizer/asan_interface.h>
#endif

namespace velkaron {

inline void mark_waiting(const void* block, std::size_t bytes) {
#ifdef VELKARON_ADDRESS_SANITIZER
    ASAN_POISON_MEMORY_REGION(block, bytes);
#else
    (void)block;
    (void)bytes;
#endif
}

inline void mark_in_use(const void* block, std::size_t bytes) {
#ifdef VELKARON_ADDRESS_SANITIZER
    ASAN_UNPOISON_MEMORY_REGION(block, bytes);
#else
    (void)block;
    (void)bytes;
#endif
}

}  // namespace velkaron
