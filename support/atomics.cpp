/* 32-bit atomic operations and the lock-free stack. Every read-modify-write is one
 * locked, sequentially consistent operation; arithmetic is done unsigned so that it
 * wraps rather than overflows. */
#include <sched.h>

#include <cstdint>

#include "zorv/support.h"

namespace {

constexpr int kOrder = __ATOMIC_SEQ_CST;
constexpr uintptr_t kBusy = 1;

volatile uint32_t* as_unsigned(volatile int32_t* cell) {
    return reinterpret_cast<volatile uint32_t*>(cell);
}

/* Back-off for a retry loop: a spin hint first, and the processor handed over now and
 * then in case the thread holding the busy mark has been preempted. */
void relax(unsigned& spins) {
#if defined(__i386__) || defined(__x86_64__)
    __builtin_ia32_pause();
#endif
    if ((++spins & 63u) == 0) sched_yield();
}

/* The link word of an item lies at a fixed byte offset inside it. */
uintptr_t* link_of(uintptr_t item, int32_t off) {
    return reinterpret_cast<uintptr_t*>(item + static_cast<uintptr_t>(off));
}

}  // namespace

/* Init and Destroy are plain stores, for cells no other thread sees yet or any more. */
int32_t nqAtomicInit(volatile int32_t* cell, int32_t value) {
    *cell = value;
    return 0;
}

int32_t nqAtomicDestroy(volatile int32_t* cell) {
    *cell = 0;
    return 0;
}

/* Compare-and-swap: 1 when the cell held expected and now holds desired, else 0. */
int32_t nqAtomicSet(volatile int32_t* cell, int32_t expected, int32_t desired) {
    return __atomic_compare_exchange_n(cell, &expected, desired, false, kOrder, kOrder) ? 1 : 0;
}

int32_t nqAtomicAdd(volatile int32_t* cell, int32_t delta) {
    return static_cast<int32_t>(
        __atomic_add_fetch(as_unsigned(cell), static_cast<uint32_t>(delta), kOrder));
}

int32_t nqAtomicAnd(volatile int32_t* cell, int32_t mask) {
    return static_cast<int32_t>(
        __atomic_and_fetch(as_unsigned(cell), static_cast<uint32_t>(mask), kOrder));
}

int32_t nqAtomicOr(volatile int32_t* cell, int32_t mask) {
    return static_cast<int32_t>(
        __atomic_or_fetch(as_unsigned(cell), static_cast<uint32_t>(mask), kOrder));
}

/* Links the item above the current top. The expected head has the busy mark clear, so
 * a push waits while a pop is taking the top off. */
void nqAStackPush(volatile uintptr_t* head, void* item, int32_t linkoffset) {
    const uintptr_t it = reinterpret_cast<uintptr_t>(item);
    unsigned spins = 0;
    for (;;) {
        uintptr_t h = __atomic_load_n(head, kOrder) & ~kBusy;
        __atomic_store_n(link_of(it, linkoffset), h, __ATOMIC_RELAXED);
        if (__atomic_compare_exchange_n(head, &h, it, false, kOrder, kOrder)) return;
        relax(spins);
    }
}

/* Takes the top off, or returns null on an empty stack. Setting the busy mark makes this
 * caller the only one that may read the top's link and move the head on, so an item
 * popped and pushed back meanwhile cannot be mistaken for a stale top. */
void* nqAStackPop(volatile uintptr_t* head, int32_t linkoffset) {
    unsigned spins = 0;
    for (;;) {
        uintptr_t h = __atomic_load_n(head, kOrder) & ~kBusy;
        if (h == 0) return nullptr;
        if (__atomic_compare_exchange_n(head, &h, h | kBusy, false, kOrder, kOrder)) {
            const uintptr_t next = __atomic_load_n(link_of(h, linkoffset), __ATOMIC_RELAXED);
            /* Clears the busy mark. Only the holder of the mark may write the head, so a
             * release store suffices, as for any lock's release; it costs no locked
             * instruction. */
            __atomic_store_n(head, next, __ATOMIC_RELEASE);
            return reinterpret_cast<void*>(h);
        }
        relax(spins);
    }
}
