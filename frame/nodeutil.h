/* Walking and copying node records without the node store's per-index lookups: a cursor
 * that visits an operator's argument slots block by block, so that a walk over n
 * arguments costs n steps (ZORVGet(i) walks the chain from the head each time), and the
 * whole-record copy that keeps an inline character buffer pointing into its own node. */
#ifndef ZORV_FRAME_NODEUTIL_H
#define ZORV_FRAME_NODEUTIL_H

#include <cassert>
#include <cstdint>
#include <cstring>

#include "frame/nodekinds.h"
#include "zorv/zorv.h"

/* Visits the slots 0..nargs-1 of an operator in order. The argument count is read once, at
 * the start: slots appended during the walk are not visited unless the caller re-reads
 * `nargs` and extends `end` (see `extend`). A slot may be rewritten through `slot()` while
 * the cursor is on it. The chain must not be relinked behind the cursor during the walk. */
class ArgCursor {
  public:
    explicit ArgCursor(ZNode* node) : block_(node), end_(node ? node->u.op.nargs : 0) {
        assert(!node || zkind::is_operator(node->type) || node->type == Z_NULL);
    }

    bool done() const { return index_ >= end_ || block_ == nullptr; }
    int32_t index() const { return index_; }
    ZNode*& slot() const { return block_->u.op.args[index_ % Z_NODE_ARGS]; }
    ZNode* get() const { return slot(); }
    ZNode* block() const { return block_; }

    void next() {
        ++index_;
        settle();
    }

    /* Takes in slots appended since the walk began (the count may only grow). */
    void extend(int32_t nargs) {
        assert(nargs >= end_);
        end_ = nargs;
        settle();
    }

  private:
    /* Moves to the block that holds `index_` once that index is inside the walk. */
    void settle() {
        while (index_ < end_ && block_ && depth_ < index_ / Z_NODE_ARGS) {
            block_ = block_->u.op.next;
            ++depth_;
        }
    }

    ZNode* block_;
    int32_t end_;
    int32_t index_ = 0;
    int32_t depth_ = 0; /* which block of the chain block_ is (0 = the head) */
};

/* Copies the whole record of src over dst. A character constant whose text lived in src's
 * inline buffer now points at dst's own buffer, so the copy survives src being freed. */
inline void copy_record(ZNode* dst, const ZNode* src) {
    std::memcpy(dst, src, sizeof(ZNode));
    if ((src->type == Z_LITC || src->type == Z_LABL) && src->u.litc.str == src->u.litc.inl)
        dst->u.litc.str = dst->u.litc.inl;
}

#endif
