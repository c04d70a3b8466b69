/* The instance's stack of free evaluation work areas. Each free block's first word links
 * to the next; the stack's pop marks the head busy while it takes the top off, so a block
 * popped and pushed back by another thread meanwhile cannot be mistaken for a stale top.
 * Blocks come from the extension's pool, not the instance's. */
#include "frame/evalwork.h"

#include "zorv/support.h"

namespace {

constexpr int32_t kLink = 0; /* byte offset of the link word in a free block */

/* A block must at least hold its link word while it waits on the stack. */
uint32_t block_bytes(const ZInst* inst) {
    const uint32_t cap = inst->workcap > 0 ? static_cast<uint32_t>(inst->workcap) : 0;
    return cap < sizeof(uintptr_t) ? static_cast<uint32_t>(sizeof(uintptr_t)) : cap;
}

}  // namespace

void EvalWorkInit(ZInst* inst) {
    inst->workfree = 0;
}

/* Gives every cached area back and leaves the stack empty. */
void EvalWorkTerm(ZInst* inst) {
    EvalWorkClear(inst);
    inst->workfree = 0;
}

/* A free area from the stack, or a new one of `workcap` bytes when the stack is empty;
 * null when the pool has none to give. */
void* EvalWorkAlloc(ZInst* inst) {
    if (void* block = nqAStackPop(&inst->workfree, kLink)) return block;
    NQPool* pool = inst->ext->pool;
    return pool->Alloc(pool, block_bytes(inst), 0);
}

void EvalWorkFree(ZInst* inst, void* block) {
    nqAStackPush(&inst->workfree, block, kLink);
}

/* Frees every cached area to the extension pool; used when the area size changes and when
 * the instance ends. */
void EvalWorkClear(ZInst* inst) {
    NQPool* pool = inst->ext->pool;
    while (void* block = nqAStackPop(&inst->workfree, kLink)) pool->Free(pool, block);
}

/* Sizes the work areas to the scratch space the instance's tree reserved (`worksize`),
 * rounded up to whole steps; cached areas of another size are given back. With no
 * reservation a small size is kept (areas already cached stay useful) and a larger one
 * dropped. */
void EvalWorkSize(ZInst* inst) {
    if (inst->worksize != 0) {
        const int32_t cap = (inst->worksize + kWorkStep - 1) / kWorkStep * kWorkStep;
        if (cap != inst->workcap) {
            EvalWorkClear(inst);
            inst->workcap = cap;
        }
    } else if (inst->workcap > kWorkStep) {
        EvalWorkClear(inst);
        inst->workcap = 0;
    }
}
