#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace velkaron {

// The memory of one parse. gumbo's blocks are carved out of large regions and the whole tree
// is freed by releasing the regions, without visiting a node: freeing gets cheap and needs no
// native stack however deep the tree. Blocks gumbo frees while parsing (its buffers grow by
// copying) go on per-size free lists and serve later requests of the same size.
//
// Small blocks carry no header: each 4 KiB page of a region holds blocks of one size, in
// 8-byte steps, and a table per region names every page's size. A header word per block would
// cost a fifth of the tree (gumbo's nodes are 128 bytes, most of its strings under 16). Not
// thread-safe: one parse, one thread at a time.
class ParseArena {
public:
    ParseArena() = default;
    ~ParseArena();
    ParseArena(const ParseArena&) = delete;
    ParseArena& operator=(const ParseArena&) = delete;

    void* allocate(std::size_t size);
    void deallocate(void* block);

    // gumbo's allocator and deallocator signatures; `arena` is the ParseArena.
    static void* allocate_in(void* arena, std::size_t size);
    static void deallocate_in(void* arena, void* block);

    // Bytes taken from the system, regions and large blocks together.
    std::size_t reserved_bytes() const { return reserved; }

    static constexpr std::size_t page_bytes = 4096;
    static constexpr std::size_t step = 8;
    // Larger blocks come from malloc one by one.
    static constexpr std::size_t largest_small = 512;

private:
    struct Large;
    struct Region {
        char* base = nullptr;
        std::size_t pages = 0;
        std::unique_ptr<std::uint8_t[]> page_class;
    };
    // The first regions of arenas freed on a thread, kept for that thread's next parses.
    struct Spares;
    static thread_local Spares spares;
    struct SizeClass {
        char* cursor = nullptr;
        char* limit = nullptr;
        void* free_list = nullptr;
    };
    static constexpr std::size_t class_count = largest_small / step + 1;

    char* new_page(std::uint8_t size_class);
    static Region new_region(std::size_t pages);
    void* allocate_large(std::size_t size);
    // The size class of the page holding `block`, or null for a large block.
    const std::uint8_t* page_class_of(const void* block);

    // The region the last freed block was found in: gumbo mostly frees what it has just
    // grown, so most lookups end here without a search.
    struct RegionSpan {
        const char* base = nullptr;
        const char* end = nullptr;
        const std::uint8_t* page_class = nullptr;
    };

    // Sorted by base address, for region_of.
    std::vector<Region> regions;
    RegionSpan last_freed_in;
    char* next_page = nullptr;
    char* region_end = nullptr;
    std::uint8_t* next_page_class = nullptr;
    std::size_t next_region_pages = 4;
    SizeClass classes[class_count];
    Large* large_blocks = nullptr;
    std::size_t reserved = 0;
};

}  // namespace velkaron
