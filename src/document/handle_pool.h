#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

#include "document/reuse_marks.h"

namespace velkaron {

// Memory for one tree's handles, each a shared object's count and node in one block. A search
// result of thousands of nodes takes thousands of blocks and gives them back soon after; the
// general allocator would chase a free list through cold memory for each, and later walk it
// again to merge neighbours. Here a freed block goes on a stack of addresses and the next
// handle takes it from there; memory returns to the system with the tree.
//
// Blocks are taken under the tree's handle mutex. They are mostly given back under it too, when
// the handle cache drops its weak reference to a dead handle, but the thread that drops a
// handle's last strong reference at that moment may be the one that frees the block: a spin
// lock, never held for more than a few instructions, covers that.
class HandlePool {
public:
    void* take(std::size_t bytes) {
        Guard guard(busy);
        if (bytes != block_bytes && block_bytes != 0) return ::operator new(bytes);
        block_bytes = bytes;
        if (!free_blocks.empty()) {
            void* block = free_blocks.back();
            free_blocks.pop_back();
            mark_in_use(block, bytes);
            return block;
        }
        if (chunks.empty() || used_in_chunk + bytes > chunk_bytes) {
            chunks.push_back(std::make_unique<Block[]>(chunk_bytes / sizeof(Block)));
            used_in_chunk = 0;
        }
        void* block = reinterpret_cast<char*>(chunks.back().get()) + used_in_chunk;
        used_in_chunk += (bytes + sizeof(Block) - 1) / sizeof(Block) * sizeof(Block);
        return block;
    }

    void give_back(void* block, std::size_t bytes) {
        Guard guard(busy);
        if (bytes != block_bytes) {
            ::operator delete(block);
            return;
        }
        free_blocks.push_back(block);
        mark_waiting(block, bytes);
    }

private:
    struct Guard {
        explicit Guard(std::atomic_flag& flag) : flag(flag) {
            while (flag.test_and_set(std::memory_order_acquire)) {
            }
        }
        ~Guard() { flag.clear(std::memory_order_release); }
        std::atomic_flag& flag;
    };

    struct alignas(std::max_align_t) Block {
        unsigned char bytes[alignof(std::max_align_t)];
    };
    static constexpr std::size_t chunk_bytes = 64 * 1024;

    std::vector<std::unique_ptr<Block[]>> chunks;
    std::size_t used_in_chunk = 0;
    std::size_t block_bytes = 0;
    std::vector<void*> free_blocks;
    std::atomic_flag busy = ATOMIC_FLAG_INIT;
};

// The standard allocator interface over a tree's pool, for std::allocate_shared.
template <typename T>
struct PoolAllocator {
    using value_type = T;

    explicit PoolAllocator(HandlePool* pool) : pool(pool) {}
    template <typename U>
    PoolAllocator(const PoolAllocator<U>& other) : pool(other.pool) {}

    T* allocate(std::size_t count) { return static_cast<T*>(pool->take(count * sizeof(T))); }
    void deallocate(T* block, std::size_t count) { pool->give_back(block, count * sizeof(T)); }

    template <typename U>
    bool operator==(const PoolAllocator<U>& other) const { return pool == other.pool; }
    template <typename U>
    bool operator!=(const PoolAllocator<U>& other) const { return pool != other.pool; }

    HandlePool* pool;
};

}  // namespace velkaron
