/* The transformer's driver: the bottom-up walk that applies one pass to every node, the
 * order of the passes (pass 1 once, passes 2a to 2d until nothing changes, pass 3 once),
 * and the joining of a second instance's tree under an AND. */
#include <cstdint>

#include "eval/listindex.h"
#include "frame/evalwork.h"
#include "frame/instance_tail.h"
#include "frame/nodeutil.h"
#include "tran/tran.h"

/* Applies pass to every node of the subtree, arguments before their operator, and returns
 * the OR of the pass results. A pass changes only the node it is given and that node's
 * arguments, so the argument list being walked here stays as it is while the arguments'
 * own subtrees are rewritten. The recursion is as deep as the tree, which the parse driver
 * bounds; the transformer adds at most a level per pushed-down NOT. */
int32_t posttrav(ZNode* node, PassFn pass, ZInst* inst, NQJournal* jnl) {
    if (!node) return 0;
    int32_t changed = 0;
    if (zkind::is_operator(node->type))
        for (ArgCursor cur(node); !cur.done(); cur.next())
            changed |= posttrav(cur.get(), pass, inst, jnl);
    return changed | pass(node, inst, jnl);
}

/* Rewrites the instance's tree in place into a simpler equivalent. The cycles of passes 2a
 * to 2d repeat, with no limit, until a whole cycle changes nothing; the root keeps its
 * address through every rewrite, but it is read afresh for each walk all the same. The
 * final tree's long IN lists are then indexed for the evaluator.
 *
 * When the node store gives out. No pass, and not ZORVTran, has a status to say so, and
 * the tree must stay a tree the evaluator can walk. A rewrite whose node cannot be had
 * either is not made (NOT pushed into an AND/OR, BETWEEN into a range, two comparisons into
 * a range or a new list: the tree stays equivalent, and the next cycle tries again), or is
 * made without the piece that needed the node, and then the tree selects other rows than
 * the clause: an element added to a set is lost (AddToSet, Insert, the sweeps of
 * setsweep.cpp, UnionSet) while the comparison it came from is dropped all the same, so an
 * OR of comparisons selects fewer rows; an intersection whose range cannot be made counts
 * as empty, so an AND may fold to false; an operand that flattening appends to an AND/OR
 * is lost when its overflow block cannot be had (pass2b). A store that refuses once is
 * mostly healed by the next cycle; one that stays dry is not. What never happens: a node
 * still in the tree on the free list, a list shorter than its count, a walk past the end
 * of a chain, memory kept past the next reset. A list index that cannot be built leaves
 * its list unindexed; the evaluator walks it. */
void ZORVTran(ZInst* inst, NQJournal* jnl) {
    forget_list_indexes(inst);  // lists may be rewritten in place below
    if (!inst->root) return;
    posttrav(inst->root, pass1, inst, jnl);
    for (int32_t changed = 1; changed;) {
        changed = posttrav(inst->root, pass2a, inst, jnl);
        changed |= posttrav(inst->root, pass2b, inst, jnl);
        changed |= posttrav(inst->root, pass2c, inst, jnl);
        changed |= posttrav(inst->root, pass2d, inst, jnl);
    }
    posttrav(inst->root, pass3, inst, jnl);
    build_list_indexes(inst, inst->root);
}

/* Joins a copy of other's tree to this instance's tree: the copy becomes the root, or the
 * second operand of a new AND whose first operand is the old root. other is not changed.
 * With the node store exhausted the join is incomplete and nothing says so (the result is
 * always 0): without the AND node the tree stays as it was, so other's condition is
 * missing and more rows are selected; a copy that CopyTree could not complete lacks the
 * operands or list elements it had no nodes for.
 * An ESC wrapper goes on wrapping the root: left around the old one, it would hand the host
 * a node that the next transformation may dissolve into the new AND and free.
 * The stores into the node store made the instance's list indexes stale, so the whole
 * tree's lists are indexed again (the marks copied with the other tree's nodes name the
 * other instance's entries and are not trusted here). Always 0.
 *
 * The copy keeps its scratch offsets, which other's resolution counted from the start of a
 * work area, and is evaluated with this instance's work areas: they are grown to other's
 * size when that is larger. The two trees may share those bytes, since the AND evaluates
 * its second operand only once the first has given its truth value, and no value of one
 * operand's scratch space outlives that operand. */
int32_t ZORVAnd(ZInst* inst, ZInst* other, NQJournal* jnl) {
    ZNode* copy = CopyTree(other->root, inst, jnl);
    if (other->worksize > inst->worksize) {
        inst->worksize = other->worksize;
        EvalWorkSize(inst);
    }
    if (!inst->root) {
        inst->root = copy;
    } else if (ZNode* both = inst->NewOp(inst, Z_LAND)) {
        inst->Set(inst, both, 0, inst->root);
        inst->Set(inst, both, 1, copy);
        inst->root = both;
    }
    if (inst->escroot) inst->escroot->u.op.args[0] = inst->root;
    forget_list_indexes(inst);
    build_list_indexes(inst, inst->root);
    return 0;
}
