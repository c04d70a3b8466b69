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

/* The index of one IN list, so that the evaluator's searches need not walk the list:
 * - `blocks` (lists of more than Z_NODE_ARGS elements): blocks[k] is the block that holds
 *   elements 15k .. 15k + 14 (blocks[0] the list node), so element i is one step away
 *   instead of i / 15 hops along the chain;
 * - `lows`, `highs` (numeric lists of constants and ranges with constant bounds, sorted and
 *   disjoint): element i as the closed interval lows[i] .. highs[i] of order keys (see
 *   order_key in eval/eval.h), excluded range ends already stepped inside; null otherwise.
 * The list node carries its 1-based entry number in `reserved20`, a word list nodes have
 * no other use for. An entry is trusted only while it records that very node with the
 * argument count and first overflow block the node still has, and no node of the instance
 * has been stored into or freed through the node store since it was built (`generation`);
 * see list_index in eval/eval.h. Its arrays live in the instance's arena. */
struct ListIndexEntry {
    const ZNode* list;
    const ZNode* first;
    int32_t nargs;
    uint32_t generation;
    ZNode* const* blocks;
    const int64_t* lows;
    const int64_t* highs;
};

/* The instance's list indexes: `count` entries in arena memory of room for `cap`;
 * `generation` counts the stores and frees of the node store. */
struct ListIndexTable {
    ListIndexEntry* entries;
    int32_t count;
    int32_t cap;
    uint32_t generation;
};

struct ZInstWithTail {
    ZInst inst;
    AppendCursor cursor;
    ListIndexTable lists;
    /* The line reader could not make the clause's string object during this parse, so the
     * engine saw an empty input: the parse must not pass for the empty clause. */
    bool line_refused;
};

inline AppendCursor& append_cursor(ZInst* inst) {
    return reinterpret_cast<ZInstWithTail*>(inst)->cursor;
}

inline void forget_append_cursor(ZInst* inst) {
    append_cursor(inst) = AppendCursor{};
}

inline bool& line_refused(ZInst* inst) {
    return reinterpret_cast<ZInstWithTail*>(inst)->line_refused;
}

inline ListIndexTable& list_indexes(ZInst* inst) {
    return reinterpret_cast<ZInstWithTail*>(inst)->lists;
}
inline const ListIndexTable& list_indexes(const ZInst* inst) {
    return reinterpret_cast<const ZInstWithTail*>(inst)->lists;
}

/* A node was stored into or freed: indexes built before may describe lists that have
 * changed since, and are no longer trusted. */
inline void note_tree_change(ZInst* inst) {
    ++list_indexes(inst).generation;
}

/* Drops every list index: the marks left in list nodes then name no entry, or an entry made
 * later for another node, and are not trusted. Called when the arena goes (reset,
 * destruction) and before the transformer rewrites the tree. */
inline void forget_list_indexes(ZInst* inst) {
    list_indexes(inst) = ListIndexTable{};
}

#endif
