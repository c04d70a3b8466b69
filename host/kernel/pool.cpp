/* Memory pools: every block is its own heap allocation behind a small header that links
 * it into its pool, so that releasing the pool releases what is left and a block freed
 * to the wrong pool is caught. Blocks are 8-byte aligned; pools may be shared by
 * threads. */
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "host/kernel/kernel_impl.h"

namespace zhost {
namespace {

struct PoolImpl;

constexpr uint32_t BLOCK_MAGIC = 0x4E51424Bu;

struct alignas(8) BlockHeader {
    BlockHeader* prev;
    BlockHeader* next;
    PoolImpl* pool;
    uint32_t size;
    uint32_t magic;
};
static_assert(sizeof(BlockHeader) % 8 == 0, "blocks must stay 8-byte aligned");

struct PoolImpl : NQPool {
    HostLink link;
    std::mutex mutex;
    BlockHeader blocks{}; /* sentinel of the circular block list */
    Countdown fail;
};

PoolImpl* pool_of(NQPool* p) {
    return static_cast<PoolImpl*>(p);
}

/* Both countdowns see every allocation, so a kernel-wide and a per-pool injection can be
 * armed at the same time. */
void* pool_alloc(NQPool* p, uint32_t size, uint32_t flags) {
    if (!p) return nullptr;
    PoolImpl& pool = *pool_of(p);
    KernelImpl& k = *pool.link.kernel;
    bool refuse = k.alloc_fail.tick();
    refuse = pool.fail.tick() || refuse;
    if (refuse) {
        k.injected.fetch_add(1, std::memory_order_relaxed);
        return nullptr;
    }
    size_t total = 0; /* the header and the block; only a 32-bit size_t can overflow */
    if (__builtin_add_overflow(sizeof(BlockHeader), size_t{size}, &total)) return nullptr;
    void* mem = (flags & NQ_ALLOC_ZERO) ? std::calloc(1, total) : std::malloc(total);
    if (!mem) return nullptr;
    BlockHeader* b = static_cast<BlockHeader*>(mem);
    b->pool = &pool;
    b->size = size;
    b->magic = BLOCK_MAGIC;
    {
        std::lock_guard<std::mutex> hold(pool.mutex);
        b->next = &pool.blocks;
        b->prev = pool.blocks.prev;
        pool.blocks.prev->next = b;
        pool.blocks.prev = b;
    }
    k.live.fetch_add(1, std::memory_order_relaxed);
    return b + 1;
}

/* Freeing a block of another pool (or something that is no block) is a bug in the
 * caller that would corrupt both pools: stop at once. */
void pool_free(NQPool* p, void* block) {
    if (!p || !block) return;
    PoolImpl& pool = *pool_of(p);
    BlockHeader* b = static_cast<BlockHeader*>(block) - 1;
    if (b->magic != BLOCK_MAGIC || b->pool != &pool) {
        std::fprintf(stderr, "zorv: error: block %p freed to a pool that does not own it\n", block);
        std::abort();
    }
    {
        std::lock_guard<std::mutex> hold(pool.mutex);
        b->prev->next = b->next;
        b->next->prev = b->prev;
    }
    b->magic = 0;
    std::free(b);
    pool.link.kernel->live.fetch_sub(1, std::memory_order_relaxed);
}

void pool_dispose(void* self) {
    PoolImpl* pool = pool_of(static_cast<NQPool*>(self));
    long released = 0;
    {
        std::lock_guard<std::mutex> hold(pool->mutex);
        BlockHeader* b = pool->blocks.next;
        while (b != &pool->blocks) {
            BlockHeader* next = b->next;
            b->magic = 0;
            std::free(b);
            b = next;
            ++released;
        }
        pool->blocks.next = pool->blocks.prev = &pool->blocks;
    }
    pool->link.kernel->live.fetch_sub(released, std::memory_order_relaxed);
    untrack_object(pool->link);
    delete pool;
}

}  // namespace

NQPool* create_pool(NQKernel* kernel, const int32_t*, NQJournal*, const char*) {
    if (!kernel) return nullptr;
    KernelImpl& k = *impl(kernel);
    if (should_fail(k, ZHOST_CREATE_POOL)) return nullptr;
    PoolImpl* p = new_object<NQPool, PoolImpl>(k, KIND_POOL, pool_dispose);
    if (!p) return nullptr;
    p->blocks.next = p->blocks.prev = &p->blocks;
    /* nqstring finds the kernel of a pool through this word */
    p->Alloc = pool_alloc;
    p->Free = pool_free;
    return p;
}

}  // namespace zhost

extern "C" ZHOST_API void zhost_fail_pool_allocation(NQPool* pool, long n) {
    if (pool) zhost::pool_of(pool)->fail.arm(n);
}
