/* A sorted set cut in place by one comparison after another: what AND rule 2 (and OR rule 3)
 * does when one IN list meets many comparisons of its column (x IN (...) AND x > 5 AND
 * x <> 7 AND x <> 9 ...). Each cut is what IntersectIneqWithSet (comparison, set) would
 * build as a new set, without copying the elements that stay.
 *
 * A table of the set's blocks finds the elements at a comparison's constant by binary search.
 * An element that goes leaves an empty slot rather than moving every element after it; the
 * empty slots are closed in one pass when they grow many (so that searches stay short), and
 * always before anyone else reads the set: `close` gives exactly the set the walks give. */
#ifndef ZORV_TRAN_CUTLIST_H
#define ZORV_TRAN_CUTLIST_H

#include <cstdint>

#include "tran/tran.h"

namespace setsweep {

class CutList {
  public:
    explicit CutList(ZInst* inst) : inst_(inst) {}
    ~CutList();
    CutList(const CutList&) = delete;
    CutList& operator=(const CutList&) = delete;

    /* The set being cut, with empty slots perhaps; null when none. */
    ZNode* set() const { return set_; }

    /* Starts on a set whose facts say it is sorted, its constants admitted to an Order of
     * `kind`. False when the pool refuses the block table. */
    bool attach(ZNode* set, int32_t kind);

    /* Cuts the set down to where the comparison (CNE..CGE against a constant) holds. Returns
     * the number of elements left, or -1 (the set unchanged) when the constant is of another
     * order or the node store cannot grow. */
    int32_t cut(NQJournal* jnl, ZNode* comparison);

    /* Closes the empty slots and lets the set go. */
    void close();

    /* Lets the set go as it is: it is being released. */
    void detach() { set_ = nullptr; }

  private:
    ZNode*& slot(int32_t i) const { return blocks_[i / Z_NODE_ARGS]->u.op.args[i % Z_NODE_ARGS]; }
    bool load();
    bool room();
    int32_t first_not_below(const ZNode* k) const;
    void compact();
    void truncate(int32_t n);
    void insert(int32_t pos, ZNode* node);

    ZInst* inst_;
    ZNode* set_ = nullptr;
    int32_t kind_ = 0;
    int32_t holes_ = 0;        /* empty slots among the set's elements */
    ZNode** blocks_ = nullptr; /* the set's chain: head, then every overflow block */
    int32_t nblocks_ = 0;
    int32_t capacity_ = 0;
};

}  // namespace setsweep

#endif
