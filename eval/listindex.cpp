/* Indexes of long IN lists: for each list of more than 15 elements, the table of its
 * blocks, so that a binary search reaches element i in one step instead of i / 15 hops
 * along the chain; and the walk that ListReader falls back to when a list has no current
 * index. */
#include "eval/listindex.h"

#include <cassert>
#include <cstring>

#include "eval/eval.h"
#include "frame/nodekinds.h"

namespace {

bool is_in_predicate(int32_t type) {
    return type == Z_IN || type == Z_NIN || type == Z_TIN || type == Z_TNIN;
}

/* Room for one more entry in the instance's table, doubling it in the arena when it is
 * full (the old table stays in the arena until the reset; the waste is at most the final
 * table's size). False when the arena refuses. */
bool reserve_entry(ZInst* inst) {
    ListIndexTable& table = list_indexes(inst);
    if (table.count < table.cap) return true;
    const int32_t cap = table.cap > 0 ? 2 * table.cap : 8;
    const int64_t bytes = static_cast<int64_t>(cap) * static_cast<int64_t>(sizeof(ListIndexEntry));
    if (bytes > INT32_MAX) return false;
    auto* entries = static_cast<ListIndexEntry*>(inst->Alloc(inst, static_cast<int32_t>(bytes)));
    if (!entries) return false;
    if (table.count > 0)
        memcpy(entries, table.entries, static_cast<size_t>(table.count) * sizeof(ListIndexEntry));
    table.entries = entries;
    table.cap = cap;
    return true;
}

/* Indexes one list unless it has a current index. A chain shorter than the argument count
 * promises is left alone (it would break the node store's invariant; the walk copes). */
void index_list(ZInst* inst, ZNode* list) {
    const int32_t nargs = list->u.op.nargs;
    if (nargs <= Z_NODE_ARGS || ListReader(inst, list).indexed()) return;
    if (!reserve_entry(inst)) return;
    const int32_t nblocks = (nargs - 1) / Z_NODE_ARGS + 1;
    const int64_t bytes = static_cast<int64_t>(nblocks) * static_cast<int64_t>(sizeof(ZNode*));
    if (bytes > INT32_MAX) return;
    auto* blocks = static_cast<ZNode**>(inst->Alloc(inst, static_cast<int32_t>(bytes)));
    if (!blocks) return;
    ZNode* block = list;
    for (int32_t k = 0; k < nblocks; ++k, block = block->u.op.next) {
        if (!block) return;
        blocks[k] = block;
    }
    ListIndexTable& table = list_indexes(inst);
    table.entries[table.count] = ListIndexEntry{list, list->u.op.next, nargs, blocks};
    list->reserved20 = static_cast<uint32_t>(++table.count);
    assert(ListReader(inst, list).indexed());
}

}  // namespace

/* Visits every operator of the subtree and indexes the list (operand 1) of each IN
 * predicate. Recursive: the depth is the tree's, which ZORVParse bounds by ZORV_MAX_DEPTH;
 * the operands of one node are visited block by block. */
void build_list_indexes(ZInst* inst, ZNode* tree) {
    if (!tree || !zkind::is_operator(tree->type)) return;
    const int32_t nargs = tree->u.op.nargs;
    if (is_in_predicate(tree->type) && nargs >= 2) {
        ZNode* list = tree->u.op.args[1];
        if (list && zkind::is_operator(list->type)) index_list(inst, list);
    }
    int32_t left = nargs;
    for (ZNode* block = tree; left > 0 && block; block = block->u.op.next) {
        const int32_t k = left < Z_NODE_ARGS ? left : Z_NODE_ARGS;
        for (int32_t s = 0; s < k; ++s) build_list_indexes(inst, block->u.op.args[s]);
        left -= k;
    }
}

/* Element i of the list by walking its blocks from the head; null when the chain ends
 * before it. */
ZNode* ListReader::walk(int32_t i) const {
    const ZNode* block = list_;
    for (; i >= Z_NODE_ARGS; i -= Z_NODE_ARGS) {
        block = block->u.op.next;
        if (!block) return nullptr;
    }
    return block->u.op.args[i];
}
