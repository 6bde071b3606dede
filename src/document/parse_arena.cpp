#include "document/parse_arena.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "document/reuse_marks.h"

namespace velkaron {

namespace {

constexpr std::size_t largest_region_pages = 256;  // 1 MiB

// A small page fits in the spare regions, and a large one hardly notices their absence. Fresh
// regions cost page faults and cold caches, a tenth of a small page's parse.
constexpr std::size_t largest_spare_pages = 64;  // 256 KiB
constexpr std::size_t spare_count = 5;  // one of each size up to the largest

// Set once the thread's spares are gone (its exit), when arenas free their regions outright.
thread_local bool spares_closed = false;

}  // namespace

struct ParseArena::Spares {
    std::vector<Region> regions;

    ~Spares() {
        for (Region& region : regions) {
            mark_in_use(region.base, region.pages * page_bytes);
            std::free(region.base);
        }
        spares_closed = true;
    }

    // A kept region of `pages` pages, or an empty one.
    Region take(std::size_t pages) {
        for (auto at = regions.begin(); at != regions.end(); ++at) {
            if (at->pages != pages) continue;
            Region region = std::move(*at);
            regions.erase(at);
            mark_in_use(region.base, pages * page_bytes);
            return region;
        }
        return Region{};
    }

    // Keeps `region` when there is room for it; false otherwise, when the caller frees it.
    bool keep(Region& region) {
        if (spares_closed || region.pages > largest_spare_pages || regions.size() >= spare_count) {
            return false;
        }
        mark_waiting(region.base, region.pages * page_bytes);
        regions.push_back(std::move(region));
        return true;
    }
};

thread_local ParseArena::Spares ParseArena::spares;

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
    for (Region& region : regions) {
        if (!spares.keep(region)) std::free(region.base);
    }
}

ParseArena::Region ParseArena::new_region(std::size_t pages) {
    Region region = spares_closed ? Region{} : spares.take(pages);
    if (region.base != nullptr) return region;
    region.base = static_cast<char*>(std::malloc(pages * page_bytes));
    if (region.base == nullptr) return Region{};
    region.page_class.reset(new (std::nothrow) std::uint8_t[pages]);
    if (region.page_class == nullptr) {
        std::free(region.base);
        return Region{};
    }
    region.pages = pages;
    return region;
}

char* ParseArena::new_page(std::uint8_t size_class) {
    if (next_page == region_end) {
        const std::size_t pages = next_region_pages;
        Region region = new_region(pages);
        char* base = region.base;
        if (base == nullptr) return nullptr;
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

const std::uint8_t* ParseArena::page_class_of(const void* block) {
    const char* address = static_cast<const char*>(block);
    if (address < last_freed_in.base || address >= last_freed_in.end) {
        auto after = std::upper_bound(regions.begin(), regions.end(), address,
                                      [](const char* a, const Region& r) { return a < r.base; });
        if (after == regions.begin()) return nullptr;
        const Region& region = *(after - 1);
        const char* end = region.base + region.pages * page_bytes;
        if (address >= end) return nullptr;
        last_freed_in = RegionSpan{region.base, end, region.page_class.get()};
    }
    return &last_freed_in.page_class[static_cast<std::size_t>(address - last_freed_in.base) / page_bytes];
}

void ParseArena::deallocate(void* block) {
    if (block == nullptr) return;
    if (const std::uint8_t* page_class = page_class_of(block)) {
        SizeClass& sized = classes[*page_class];
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
