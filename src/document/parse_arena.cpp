#include "document/parse_arena.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace velkaron {

namespace {

constexpr std::size_t largest_region_pages = 256;  // 1 MiB

}  // namespace

// Blocks above the small sizes come from malloc, linked so the arena can free them all.
struct ParseArena::Large {
    Large* previous;
    Large* next;
    std::size_t bytes;
    std::size_t padding;  // keeps the block after it 16-byte aligned
};

ParseArena::~ParseArena() {
    for (Large* large = large_blocks; large != nullptr;) {
        Large* next = large->next;
        std::free(large);
        large = next;
    }
    for (const Region& region : regions) std::free(region.base);
}

char* ParseArena::new_page(std::uint8_t size_class) {
    if (next_page == region_end) {
        const std::size_t pages = next_region_pages;
        auto* base = static_cast<char*>(std::malloc(pages * page_bytes));
        if (base == nullptr) return nullptr;
        Region region{base, pages, std::unique_ptr<std::uint8_t[]>(new (std::nothrow) std::uint8_t[pages])};
        if (region.page_class == nullptr) {
            std::free(base);
            return nullptr;
        }
        next_page_class = region.page_class.get();
        const auto at = std::upper_bound(regions.begin(), regions.end(), base,
                                         [](const char* b, const Region& r) { return b < r.base; });
        regions.insert(at, std::move(region));
        reserved += pages * page_bytes;
        next_page = base;
        region_end = base + pages * page_bytes;
        next_region_pages = std::min(pages * 2, largest_region_pages);
    }
    char* page = next_page;
    next_page += page_bytes;
    *next_page_class++ = size_class;
    return page;
}

void* ParseArena::allocate(std::size_t size) {
    if (size > largest_small) return allocate_large(size);
    const std::size_t size_class = size == 0 ? 1 : (size + step - 1) / step;
    SizeClass& sized = classes[size_class];
    if (sized.free_list != nullptr) {
        void* block = sized.free_list;
        sized.free_list = *static_cast<void**>(block);
        return block;
    }
    const std::size_t bytes = size_class * step;
    if (static_cast<std::size_t>(sized.limit - sized.cursor) < bytes) {
        char* page = new_page(static_cast<std::uint8_t>(size_class));
        if (page == nullptr) return nullptr;
        sized.cursor = page;
        sized.limit = page + page_bytes;
    }
    void* block = sized.cursor;
    sized.cursor += bytes;
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
    reserved += large->bytes;
    return large + 1;
}

const ParseArena::Region* ParseArena::region_of(const void* block) const {
    const char* address = static_cast<const char*>(block);
    auto after = std::upper_bound(regions.begin(), regions.end(), address,
                                  [](const char* a, const Region& r) { return a < r.base; });
    if (after == regions.begin()) return nullptr;
    const Region& region = *(after - 1);
    return address < region.base + region.pages * page_bytes ? &region : nullptr;
}

void ParseArena::deallocate(void* block) {
    if (block == nullptr) return;
    if (const Region* region = region_of(block)) {
        const std::size_t page = static_cast<std::size_t>(static_cast<char*>(block) - region->base) / page_bytes;
        SizeClass& sized = classes[region->page_class[page]];
        *static_cast<void**>(block) = sized.free_list;
        sized.free_list = block;
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
