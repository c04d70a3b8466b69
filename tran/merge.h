/* What the merging of operands under one AND or OR shares between the frame (merge.cpp),
 * which walks the operands, and the rules (merge_rules.cpp), which merge one pair. */
#ifndef ZORV_TRAN_MERGE_H
#define ZORV_TRAN_MERGE_H

#include <cstdint>

#include "tran/setindex.h"
#include "tran/tran.h"

namespace tranmerge {

/* What a rule did with a pair: nothing; merged them; merged them changing no set except by
 * appending to a's (which keeps the caches on that set valid); or fixed the value of the
 * whole node, which is now a constant, so that the walk must end at once. */
enum class Outcome { kNone, kMerged, kAppended, kDecided };

/* The node being merged and the caches that make the repeated growth of one set cheap:
 * where its last block is, and which elements it holds. Both are dropped whenever a rule
 * changes anything other than by appending. */
struct Merge {
    ZNode* node;
    ZInst* inst;
    NQJournal* jnl;

    struct Tail {
        ZNode* set = nullptr;
        ZNode* block = nullptr; /* the block that holds the last element */
        int32_t depth = 0;      /* its place in the chain, 0 = the head */
        int32_t nargs = -1;     /* the set's count when this was right */
    } tail;
    SetIndex members;

    Merge(ZNode* n, ZInst* i, NQJournal* j) : node(n), inst(i), jnl(j), members(i) {}

    /* The node becomes the constant true or false; all its operands are released. */
    Outcome decide(bool value);
    /* Releases the operand in slot and empties the slot. */
    void drop(ZNode*& slot);
    /* PointInSet, answered from the element index when the set is long. */
    bool in_set(ZNode* point, ZNode* set);
    /* Makes room for `extra` more elements at the end of set: false when the node store
     * cannot grow, and nothing may be appended then. push appends one element in that room,
     * in constant time (the chain is relinked here, so the append cursor is forgotten). */
    bool reserve(ZNode* set, int32_t extra);
    void push(ZNode* set, ZNode* element);
    void forget();
};

/* The rules for one pair a (slot sa) and b (slot sb) of operands that test the same
 * column, under AND and under OR. */
Outcome and_pair(Merge& m, ZNode*& sa, ZNode*& sb);
Outcome or_pair(Merge& m, ZNode*& sa, ZNode*& sb);

}  // namespace tranmerge

#endif
