/* Indexes of long IN lists: for each list of more than 15 elements, the table of its
 * blocks, so that a binary search reaches element i in one step instead of i / 15 hops
 * along the chain; and the walk that ListReader falls back to when a list has no current
 * index. */
#include "eval/listindex.h"

#include <cassert>
#include <cstring>

#include "eval/eval.h"
#include "frame/nodekinds.h"
#include "frame/nodeutil.h"

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

/* The closed interval of order keys an element covers, excluded ends stepped inside;
 * false for an element that is not a numeric constant or a range of two numeric constants,
 * or that holds a NaN that is no missing value. */
bool element_keys(const ZNode* e, int64_t* lo, int64_t* hi) {
    if (!e) return false;
    if (e->type == Z_LITN) {
        if (!order_key(e->u.litn.num, lo)) return false;
        *hi = *lo;
        return true;
    }
    if (!zkind::is_range(e->type) || e->u.op.nargs < 2) return false;
    const ZNode* a = e->u.op.args[0];
    const ZNode* b = e->u.op.args[1];
    if (!a || !b || a->type != Z_LITN || b->type != Z_LITN) return false;
    if (!order_key(a->u.litn.num, lo) || !order_key(b->u.litn.num, hi)) return false;
    if (e->type == Z_RANH || e->type == Z_RANN) ++*lo;  // keys never reach INT64_MAX
    if (e->type == Z_RANL || e->type == Z_RANN) --*hi;  // nor INT64_MIN
    return true;
}

/* The list's elements as key intervals, when every element has one and they are non-empty,
 * ascending and disjoint: then an interval search answers exactly as the binary search
 * over the elements does. 1 when made, 0 when the list does not qualify, -1 when the arena
 * refuses. */
int32_t key_intervals(ZInst* inst, ZNode* list, const int64_t** lows, const int64_t** highs) {
    const int32_t n = list->u.op.nargs;
    const int64_t bytes = static_cast<int64_t>(n) * static_cast<int64_t>(sizeof(int64_t));
    if (bytes > INT32_MAX) return 0;
    // Checked before any memory is taken: most lists that fail do so at once.
    if (int64_t a, b; !element_keys(list->u.op.args[0], &a, &b)) return 0;
    auto* lo = static_cast<int64_t*>(inst->Alloc(inst, static_cast<int32_t>(bytes)));
    if (!lo) return -1;
    auto* hi = static_cast<int64_t*>(inst->Alloc(inst, static_cast<int32_t>(bytes)));
    if (!hi) return -1;
    int32_t i = 0;
    for (ArgCursor it(list); !it.done(); it.next(), ++i) {
        if (!element_keys(it.get(), &lo[i], &hi[i]) || lo[i] > hi[i]) return 0;
        if (i > 0 && hi[i - 1] >= lo[i]) return 0;
    }
    *lows = lo;
    *highs = hi;
    return 1;
}

/* The block table of a list of more than Z_NODE_ARGS elements; null when the arena refuses
 * or the chain is shorter than the count promises (the walk copes with that). */
ZNode* const* block_table(ZInst* inst, ZNode* list) {
    const int32_t nblocks = (list->u.op.nargs - 1) / Z_NODE_ARGS + 1;
    const int64_t bytes = static_cast<int64_t>(nblocks) * static_cast<int64_t>(sizeof(ZNode*));
    if (bytes > INT32_MAX) return nullptr;
    auto* blocks = static_cast<ZNode**>(inst->Alloc(inst, static_cast<int32_t>(bytes)));
    if (!blocks) return nullptr;
    ZNode* block = list;
    for (int32_t k = 0; k < nblocks; ++k, block = block->u.op.next) {
        if (!block) return nullptr;
        blocks[k] = block;
    }
    return blocks;
}

/* Indexes one list unless it has a current index: key intervals for a numeric list of
 * constants, a block table for a long one. A list that gets neither (a short list of
 * characters) has no entry. When the arena refuses any part the list stays unindexed. */
void index_list(ZInst* inst, ZNode* list) {
    const int32_t nargs = list->u.op.nargs;
    if (nargs <= 0 || list_index(inst, list)) return;
    ListIndexEntry entry{list,    list->u.op.next, nargs,  list_indexes(inst).generation,
                         nullptr, nullptr,         nullptr};
    const int32_t keyed = key_intervals(inst, list, &entry.lows, &entry.highs);
    if (keyed < 0) return;
    if (nargs > Z_NODE_ARGS) {
        entry.blocks = block_table(inst, list);
        if (!entry.blocks) return;
    } else if (keyed == 0) {
        return;
    }
    if (!reserve_entry(inst)) return;
    ListIndexTable& table = list_indexes(inst);
    table.entries[table.count] = entry;
    list->reserved20 = static_cast<uint32_t>(++table.count);
    assert(list_index(inst, list) == &table.entries[table.count - 1]);
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
