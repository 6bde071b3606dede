#include "document/parse_arena.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace velkaron {

namespace {

// Every block is preceded by one 8-byte word: its size class, or `large_class`.
using Header = std::uint64_t;
constexpr Header large_class = ~Header{0};
constexpr std::size_t step = 16;
constexpr std::size_t largest_chunk = 1024 * 1024;

Header& header_of(void* block) { return *(static_cast<Header*>(block) - 1); }

}  // namespace

// Blocks above the small classes come from malloc, linked so the arena can free them all.
struct ParseArena::Large {
    Large* previous;
    Large* next;
    std::size_t bytes;
    Header size_class;  // the block's header word
};

ParseArena::~ParseArena() {
    for (Large* large = large_blocks; large != nullptr;) {
        Large* next = large->next;
        std::free(large);
        large = next;
    }
    for (void* chunk : chunks) std::free(chunk);
}

void* ParseArena::carve(std::size_t bytes) {
    if (static_cast<std::size_t>(limit - cursor) < bytes) {
        const std::size_t chunk_bytes = std::max(next_chunk_bytes, bytes);
        void* chunk = std::malloc(chunk_bytes);
        if (chunk == nullptr) return nullptr;
        chunks.push_back(chunk);
        reserved += chunk_bytes;
        cursor = static_cast<char*>(chunk);
        limit = cursor + chunk_bytes;
        next_chunk_bytes = std::min(next_chunk_bytes * 2, largest_chunk);
    }
    void* block = cursor;
    cursor += bytes;
    return block;
}

void* ParseArena::allocate(std::size_t size) {
    const std::size_t size_class = (size + sizeof(Header) + step - 1) / step;
    if (size_class >= small_classes) return allocate_large(size);
    void*& free_list = free_lists[size_class];
    if (free_list != nullptr) {
        void* block = free_list;
        free_list = *static_cast<void**>(block);
        return block;
    }
    char* raw = static_cast<char*>(carve(size_class * step));
    if (raw == nullptr) return nullptr;
    void* block = raw + sizeof(Header);
    header_of(block) = size_class;
    return block;
}

void* ParseArena::allocate_large(std::size_t size) {
    if (size > SIZE_MAX - sizeof(Large)) return nullptr;
    auto* large = static_cast<Large*>(std::malloc(sizeof(Large) + size));
    if (large == nullptr) return nullptr;
    large->previous = nullptr;
    large->next = large_blocks;
    if (large_blocks != nullptr) large_blocks->previous = large;
    large_blocks = large;
    large->bytes = sizeof(Large) + size;
    large->size_class = large_class;
    reserved += large->bytes;
    return large + 1;
}

void ParseArena::deallocate(void* block) {
    if (block == nullptr) return;
    const Header size_class = header_of(block);
    if (size_class != large_class) {
        *static_cast<void**>(block) = free_lists[size_class];
        free_lists[size_class] = block;
        return;
    }
    Large* large = static_cast<Large*>(block) - 1;
    if (large->previous != nullptr) large->previous->next = large->next;
    else large_blocks = large->next;
    if (large->next != nullptr) large->next->previous = large->previous;
    reserved -= large->bytes;
    std::free(large);
}

void* ParseArena::allocate_in(void* arena, std::size_t size) {
    return static_cast<ParseArena*>(arena)->allocate(size);
}

void ParseArena::deallocate_in(void* arena, void* block) {
    static_cast<ParseArena*>(arena)->deallocate(block);
}

}  // namespace velkaron
