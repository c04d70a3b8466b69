/* Helpers shared by the transformer's passes, merges and list routines: guarded access to
 * the first argument slots, the kinds of operand the rules look for, and scratch arrays
 * taken from the instance pool for the duration of one call. */
#ifndef ZORV_TRAN_PASSUTIL_H
#define ZORV_TRAN_PASSUTIL_H

#include <cassert>
#include <cstdint>

#include "frame/nodekinds.h"
#include "zorv/zorv.h"

namespace tranutil {

/* Argument i (below 15) of an operator, or null when i is not below nargs: what ZORVGet
 * answers, without the call. Slots at and beyond nargs may hold stale pointers. */
inline ZNode* arg(const ZNode* n, int32_t i) {
    assert(i >= 0 && i < Z_NODE_ARGS);
    if (!n || !zkind::is_operator(n->type) || i >= n->u.op.nargs) return nullptr;
    return n->u.op.args[i];
}

inline bool is_const(const ZNode* n) {
    return n && zkind::is_constant(n->type);
}
inline bool is_range(const ZNode* n) {
    return n && zkind::is_range(n->type);
}
inline bool is_set(const ZNode* n) {
    return n && n->type == Z_SET;
}

/* All characters of a character constant from character `from` on are blanks (none is). */
bool blank_tail(const ZNode* litc, int32_t from);

/* A scratch array of n elements from the instance pool, given back when it goes out of
 * scope. `ok()` is false when the pool refused (or n is 0); callers then take a path that
 * needs no scratch memory. */
template <class T>
class PoolArray {
  public:
    PoolArray(ZInst* inst, int64_t n) : pool_(inst->pool) {
        const uint64_t bytes = static_cast<uint64_t>(n) * sizeof(T);
        if (n > 0 && bytes <= UINT32_MAX)
            data_ = static_cast<T*>(pool_->Alloc(pool_, static_cast<uint32_t>(bytes), 0));
    }
    ~PoolArray() {
        if (data_) pool_->Free(pool_, data_);
    }
    PoolArray(const PoolArray&) = delete;
    PoolArray& operator=(const PoolArray&) = delete;

    bool ok() const { return data_ != nullptr; }
    T* data() const { return data_; }
    T& operator[](int64_t i) const { return data_[i]; }

  private:
    NQPool* pool_;
    T* data_ = nullptr;
};

}  // namespace tranutil

#endif
