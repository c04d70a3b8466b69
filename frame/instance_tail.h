/* What the library keeps right after the instance record. The host reads only the record
 * itself, so the bytes that follow it are free for the library's own bookkeeping. */
#ifndef ZORV_FRAME_INSTANCE_TAIL_H
#define ZORV_FRAME_INSTANCE_TAIL_H

#include "zorv/zorv.h"

/* Where the last store into an argument list's overflow chain landed: `block` is the
 * overflow block at `depth` (1 = the first overflow block) of `node`, whose chain began
 * with `first` then. Appends to long lists (IN lists of many constants, long runs of AND
 * and OR) continue from here instead of walking the chain from its head, which keeps
 * building a list of n arguments linear in n.
 *
 * The cursor is trusted only while `node` still starts its chain with `first`, which a
 * node cleared or overwritten as a whole no longer does. Everything that relinks or
 * recycles blocks through the node store (a store that cuts a chain, ZORVFreeOp,
 * ZORVReset) forgets it; code that relinks overflow blocks by writing `next` itself must
 * call forget_append_cursor. */
struct AppendCursor {
    ZNode* node;
    ZNode* first;
    ZNode* block;
    int32_t depth;
};

struct ZInstWithTail {
    ZInst inst;
    AppendCursor cursor;
};

inline AppendCursor& append_cursor(ZInst* inst) {
    return reinterpret_cast<ZInstWithTail*>(inst)->cursor;
}

inline void forget_append_cursor(ZInst* inst) {
    append_cursor(inst) = AppendCursor{};
}

#endif
