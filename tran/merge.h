/* What the merging of operands under one AND or OR shares between the frame (merge.cpp),
 * which walks the operands, and the rules (merge_rules.cpp), which merge one pair. */
#ifndef ZORV_TRAN_MERGE_H
#define ZORV_TRAN_MERGE_H

#include <cstdint>

#include "tran/cutlist.h"
#include "tran/setindex.h"
#include "tran/setsweep.h"
#include "tran/tran.h"

namespace tranmerge {

using setsweep::Path;

/* What a rule did with a pair: nothing; merged them; merged them changing no set except by
 * appending to a's (which keeps the caches on that set valid); merged them changing a set in
 * place in a way that keeps the facts known about it right (the other caches are stale); or
 * fixed the value of the whole node, which is now a constant, so that the walk must end at
 * once. */
enum class Outcome { kNone, kMerged, kAppended, kReshaped, kDecided };

/* The node being merged and the caches that make the repeated growth of one set cheap:
 * where its last block is, which elements it holds, and what one scan found about it (the
 * order of its constants, whether it is sorted, its greatest constant). The first two are
 * dropped whenever a rule changes anything other than by appending, the facts whenever a
 * rule changes anything other than through the fast paths that keep them right. */
struct Merge {
    ZNode* node;
    ZInst* inst;
    NQJournal* jnl;
    Path path;

    struct Tail {
        ZNode* set = nullptr;
        ZNode* block = nullptr; /* the block that holds the last element */
        int32_t depth = 0;      /* its place in the chain, 0 = the head */
        int32_t nargs = -1;     /* the set's count when this was right */
    } tail;
    /* The set the last union made and the block that holds its last element: the tail
     * once the rule's change has been taken in (forget_shape). */
    struct United {
        ZNode* set = nullptr;
        ZNode* block = nullptr;
        int32_t nargs = -1;
    } united;
    SetIndex members;

    struct Known {
        ZNode* set = nullptr;
        int32_t nargs = -1;
        setsweep::SetFacts facts; /* facts.max points at `max`, a copy of the constant */
        ZNode max;
    } known;
    /* The sorted list being cut in place, which may have empty slots: they are closed
     * before any rule but another cut reads the list, and when the walk ends. */
    setsweep::CutList cutting;
    /* Points OR rule 5 adds to a set of points (copies, with the order they came in), when
     * they do not go at its end: they are put in their places all at once, at the same
     * moments as the empty slots of a cut list are closed. */
    struct Held {
        ZNode* point;
        int32_t order;
    };
    struct Later {
        ZNode* set = nullptr;
        Held* points = nullptr;
        int32_t count = 0;
        int32_t capacity = 0;
    } later;

    Merge(ZNode* n, ZInst* i, NQJournal* j, Path p = Path::kFast)
        : node(n), inst(i), jnl(j), path(p), members(i), cutting(i) {}
    ~Merge();
    Merge(const Merge&) = delete;
    Merge& operator=(const Merge&) = delete;

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
    /* The facts about set, from the cache or a new scan; null on the literal path or when
     * its constants share no order. */
    setsweep::SetFacts* facts_of(ZNode* set);
    /* The set was changed in a way its cached facts still describe: they follow its count. */
    void reshaped(ZNode* set);
    /* AddToSet (set, point), appending directly when the point lies above the whole set. */
    Outcome add_point(ZNode* set, ZNode* point, ZNode*& sb);
    /* Brings the set being cut or added to up to date when it is one of these. */
    void settle(const ZNode* x, const ZNode* y);
    void forget();       /* all caches, every set brought up to date */
    void forget_shape(); /* the tail and the member index */
    /* The block that holds the last element of set, when the tail knows it; else null. */
    ZNode* tail_of(ZNode* set) const;
    /* Puts the points held back for later in their set. */
    void place_later();

  private:
    bool hold_back(ZNode* set, ZNode* point);
};

/* The walk over the operands of an AND (is_and) or OR, as do_and and do_or run it; with
 * Path::kLiteral every set operation walks as the set algebra describes it. */
int32_t merge_all(ZNode* node, ZInst* inst, NQJournal* jnl, bool is_and, Path path);

/* The rules for one pair a (slot sa) and b (slot sb) of operands that test the same
 * column, under AND and under OR. */
Outcome and_pair(Merge& m, ZNode*& sa, ZNode*& sb);
Outcome or_pair(Merge& m, ZNode*& sa, ZNode*& sb);

}  // namespace tranmerge

#endif
