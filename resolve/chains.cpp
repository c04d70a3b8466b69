/* Chained comparisons: a < b <= c arrives as one comparison whose operands 2, 3, ... are
 * the further links, each a comparison holding the next term; do_range rewrites it into an
 * AND of simple comparisons, every shared term copied so that each comparison owns its
 * operands. Also the deep copy of a subtree that the rewrite needs. */
#include <cassert>
#include <cstring>

#include "frame/frame.h"
#include "frame/instance_tail.h"
#include "frame/nodekinds.h"
#include "frame/nodeutil.h"
#include "resolve/resolve.h"

namespace {

/* Gives the copy of an operator its own chain of overflow blocks, as long as the source's
 * argument list needs, with every argument slot cleared. False when a block cannot be had
 * (the blocks taken so far stay linked; they are arena memory). */
bool clone_blocks(ZInst* inst, ZNode* copy) {
    std::memset(copy->u.op.args, 0, sizeof copy->u.op.args);
    copy->u.op.next = nullptr;
    const int32_t nargs = copy->u.op.nargs;
    ZNode* tail = copy;
    for (int32_t covered = Z_NODE_ARGS; covered < nargs; covered += Z_NODE_ARGS) {
        ZNode* block = inst->NewOp(inst, Z_NULL);
        if (!block) return false;
        tail->u.op.next = block;
        tail = block;
    }
    return true;
}

}  // namespace

/* A deep copy of the subtree at node in fresh nodes; null for a null node, and null when
 * the arena cannot give a node. A character constant whose text lived inside its node
 * gets its own copy of that text. The operands are stored straight into the copy's own
 * blocks, walked beside the source's, so a list of n operands costs n steps (storing them
 * one by one through ZORVSet would walk the chain from the head for each). Recursive:
 * bounded by ZORV_MAX_DEPTH, which ZORVParse enforces. */
ZNode* copy_tree(ZInst* inst, ZNode* node) {
    if (!node) return nullptr;
    ZNode* copy = inst->NewOp(inst, node->type);
    if (!copy) return nullptr;
    copy_record(copy, node);
    // A NULL node may hold operands (the parser leaves a * NOT b so): it is copied deeply
    // too, so that no node is ever shared between the copies.
    const bool operands =
        zkind::is_operator(node->type) || (node->type == Z_NULL && node->u.op.nargs > 0);
    if (!operands) return copy;
    if (!clone_blocks(inst, copy)) return nullptr;
    ArgCursor to(copy);
    for (ArgCursor from(node); !from.done(); from.next(), to.next()) {
        assert(!to.done() && to.index() == from.index());
        ZNode* operand = from.get();
        if (!operand) continue;
        ZNode* dup = copy_tree(inst, operand);
        if (!dup) return nullptr;
        to.slot() = dup;
    }
    return copy;
}

/* Rewrites the chained comparison at node, in place, into a LAND: the node's record moves
 * to a new node, which keeps the first two terms and becomes conjunct 0, and every further
 * link c becomes the next conjunct, comparing a copy of the previous conjunct's right-hand
 * term with c's own term. Returns 0, or ZORV_RESOLVE_NO_MEMORY when the arena gives out;
 * the LAND then holds the comparisons completed so far, the other links are dropped. Runs
 * before the operands are resolved, so each copy is resolved on its own. */
int32_t do_range(ZInst* inst, ZNode* node) {
    assert(zkind::is_comparison(node->type) || zkind::is_colon_comparison(node->type));
    ZNode* first = inst->NewOp(inst, node->type);
    if (!first) return ZORV_RESOLVE_NO_MEMORY;
    std::memcpy(first, node, sizeof(ZNode));
    std::memcpy(node, &opzero, sizeof(ZNode));
    node->type = Z_LAND;
    forget_append_cursor(inst);  // the chain of `node` now belongs to `first`
    inst->Set(inst, node, 0, first);

    int32_t status = 0;
    ZNode* prev = first;
    ArgCursor link(first);
    for (link.next(), link.next(); !link.done(); link.next()) {
        ZNode* c = link.get();
        // The parser makes every further link a comparison holding one term.
        assert(c && zkind::is_operator(c->type));
        if (!c || !zkind::is_operator(c->type)) continue;
        ZNode* term = inst->Get(inst, prev, 1);
        ZNode* shared = copy_tree(inst, term);
        if (term && !shared) {
            status = ZORV_RESOLVE_NO_MEMORY;
            break;
        }
        const int32_t placed = node->u.op.nargs;
        inst->Set(inst, c, 1, inst->Get(inst, c, 0));
        inst->Set(inst, c, 0, shared);
        inst->Set(inst, node, -1, c);
        if (node->u.op.nargs == placed) {
            status = ZORV_RESOLVE_NO_MEMORY;
            break;
        }
        prev = c;
    }

    // The links now hang from the LAND; the first comparison keeps its two terms only.
    first->u.op.nargs = 2;
    for (int32_t i = 2; i < Z_NODE_ARGS; ++i) first->u.op.args[i] = nullptr;
    first->u.op.next = nullptr;
    forget_append_cursor(inst);
    return status;
}
