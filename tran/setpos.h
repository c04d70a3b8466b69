/* Positions in a long argument list (a set's elements, 15 to a block) that step forward
 * through `next` and backward through a link to the previous block. The backward link is
 * kept, while a routine walks the list backward, in the overflow blocks' `workoff` word,
 * which has no other use in an overflow block; on the native 64-bit build the pointer
 * spills into the reserved word that follows it. */
#ifndef ZORV_TRAN_SETPOS_H
#define ZORV_TRAN_SETPOS_H

#include <cstddef>
#include <cstring>

#include "tran/tran.h"

namespace setpos {

static_assert(offsetof(ZNode, reserved20) == offsetof(ZNode, workoff) + 4 &&
                  offsetof(ZNode, workoff) % alignof(ZNode*) == 0 && sizeof(ZNode*) <= 8,
              "a block pointer fits the workoff word and the reserved word after it");

inline ZNode* prev_block(const ZNode* block) {
    ZNode* prev;
    std::memcpy(&prev, reinterpret_cast<const char*>(block) + offsetof(ZNode, workoff),
                sizeof prev);
    return prev;
}

inline void set_prev_block(ZNode* block, ZNode* prev) {
    std::memcpy(reinterpret_cast<char*>(block) + offsetof(ZNode, workoff), &prev, sizeof prev);
}

/* Stores in every overflow block of the list the block before it. */
inline void link_prev_blocks(ZNode* head) {
    for (ZNode* b = head; b->u.op.next; b = b->u.op.next) set_prev_block(b->u.op.next, b);
}

/* Clears the links again, so the overflow blocks read as the node store made them. */
inline void clear_prev_blocks(ZNode* head) {
    for (ZNode* b = head->u.op.next; b; b = b->u.op.next) set_prev_block(b, nullptr);
}

inline ZNode*& at(const SetPos& p) {
    return p.block->u.op.args[p.slot];
}

inline void forward(SetPos& p) {
    ++p.index;
    if (++p.slot == Z_NODE_ARGS) {
        p.slot = 0;
        p.block = p.block->u.op.next;
    }
}

/* Needs the backward links; stepping back from position 0 leaves a position that must not
 * be read. */
inline void backward(SetPos& p) {
    --p.index;
    if (--p.slot < 0) {
        p.slot = Z_NODE_ARGS - 1;
        p.block = p.index < 0 ? nullptr : prev_block(p.block);
    }
}

inline SetPos first(ZNode* head) {
    return SetPos{head, 0, 0};
}

/* The position of absolute index i, found by stepping whole blocks. */
inline SetPos position(ZNode* head, int32_t i) {
    SetPos p{head, i % Z_NODE_ARGS, i};
    for (int32_t k = i / Z_NODE_ARGS; k > 0; --k) p.block = p.block->u.op.next;
    return p;
}

}  // namespace setpos

#endif
