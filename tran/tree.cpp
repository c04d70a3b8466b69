/* Whole-subtree operations of the transformer: deep copy, release to the node store, and
 * the rewriting of a node in place as a truth constant, with the test by which a caller
 * learns whether its clause folded to one. Every node comes from and goes back to the
 * instance's store through its NewOp and FreeOp slots.
 *
 * The copy and the release recurse over the tree; that is bounded because the parse
 * driver bounds the depth of every tree it builds. */
#include <algorithm>
#include <cassert>
#include <cstring>

#include "frame/nodekinds.h"
#include "frame/nodeutil.h"
#include "tran/tran.h"

namespace {

/* Releases the operands of an operator (in slot order, block by block) and its overflow
 * blocks, each after its operands; the head is released too when keep_head is false. A
 * block's `next` is read before FreeOp reuses that field as the free-list link. */
void free_operands(ZInst* inst, ZNode* node, bool keep_head, NQJournal* jnl) {
    int32_t remaining = node->u.op.nargs;
    ZNode* block = node;
    while (block != nullptr) {
        const int32_t n = std::min(remaining, Z_NODE_ARGS);
        for (int32_t i = 0; i < n; ++i) FreeTree(&block->u.op.args[i], inst, jnl);
        ZNode* next = block->u.op.next;
        if (block != node || !keep_head) inst->FreeOp(inst, block);
        block = next;
        remaining -= Z_NODE_ARGS;
    }
}

}  // namespace

/* A deep copy of the subtree: every node and every overflow block is new, so the copy
 * shares nothing with the source but text buffers in arena memory (an inline text is
 * re-pointed into the copy's own buffer). All fields are the source's.
 * When the store cannot give a node, the copy goes without it and nothing says so: a
 * failed head gives null, an operand whose copy failed leaves its slot empty, a failed
 * overflow block cuts the copy's list after the operands already copied. The result is
 * always a well-formed tree, but one that may lack operands and list elements. */
ZNode* CopyTree(ZNode* node, ZInst* inst, NQJournal* jnl) {
    if (node == nullptr) return nullptr;
    ZNode* copy = inst->NewOp(inst, Z_NULL);
    if (copy == nullptr) return nullptr;
    copy_record(copy, node);
    if (zkind::is_leaf(node->type)) return copy;

    const ZNode* src = node;
    ZNode* dst = copy;
    int32_t remaining = node->u.op.nargs;
    int32_t copied = 0;
    for (;;) {
        const int32_t n = std::min(remaining, Z_NODE_ARGS);
        for (int32_t i = 0; i < n; ++i) {
            ZNode* arg = src->u.op.args[i];
            dst->u.op.args[i] = arg ? CopyTree(arg, inst, jnl) : nullptr;
        }
        copied += std::max(n, 0);
        if (src->u.op.next == nullptr) break;
        ZNode* block = inst->NewOp(inst, Z_NULL);
        dst->u.op.next = block;
        if (block == nullptr) {
            copy->u.op.nargs = copied;
            break;
        }
        src = src->u.op.next;
        dst = block;
        remaining -= Z_NODE_ARGS;
    }
    return copy;
}

/* Releases the subtree *ref points to and nulls the pointer; nothing when it is null.
 * Operands go first, in order; each block of an operator (head, overflow blocks) goes
 * after its operands. Text buffers in the arena stay: they go with the arena. */
void FreeTree(ZNode** ref, ZInst* inst, NQJournal* jnl) {
    ZNode* node = *ref;
    if (node == nullptr) return;
    *ref = nullptr;
    if (zkind::is_leaf(node->type)) {
        inst->FreeOp(inst, node);
        return;
    }
    free_operands(inst, node, false, jnl);
}

void make_truth(ZInst* inst, ZNode* node, bool value, NQJournal* jnl) {
    assert(node != nullptr);
    if (zkind::is_operator(node->type)) free_operands(inst, node, true, jnl);
    std::memset(node, 0, sizeof *node);
    node->type = Z_LITN;
    node->vlen = -8;
    node->u.litn.num = value ? 1.0 : 0.0;
}

void take_over(ZInst* inst, ZNode* x, ZNode* y) {
    assert(x != nullptr && y != nullptr && x != y);
    copy_record(x, y);
    inst->FreeOp(inst, y);
}

/* Turns node, in place, into the constant true; its address stays valid in the parent's
 * slot or the instance's root. A null node is left alone. */
void ZORVMakeTrue(ZInst* inst, ZNode* node) {
    if (node != nullptr) make_truth(inst, node, true, nullptr);
}

/* 1 when the clause has folded to true, 0 to false, 2 while it is still an expression or
 * there is none. Looks at the root itself, never at an ESC wrapper. */
int32_t ZORVTruthOf(ZInst* inst) {
    return truth_of(inst->root);
}
