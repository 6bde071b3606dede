#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velkaron {

// The memory of one parse. gumbo's blocks are carved out of large chunks and the whole tree is
// freed by releasing the chunks, without visiting a node: freeing gets cheap and needs no
// native stack however deep the tree. Blocks gumbo frees while parsing (its buffers grow by
// copying) go on per-size free lists and serve later requests of the same size. Not
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

    // Bytes taken from the system, chunks and large blocks together.
    std::size_t reserved_bytes() const { return reserved; }

private:
    struct Large;
    static constexpr std::size_t small_classes = 64;  // 16-byte steps up to 1 KiB

    void* carve(std::size_t bytes);
    void* allocate_large(std::size_t size);

    std::vector<void*> chunks;
    char* cursor = nullptr;
    char* limit = nullptr;
    std::size_t next_chunk_bytes = 16 * 1024;
    void* free_lists[small_classes] = {};
    Large* large_blocks = nullptr;
    std::size_t reserved = 0;
};

}  // namespace velkaron
