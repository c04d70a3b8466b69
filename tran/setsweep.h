/* The intersections and the difference of sets, as the set algebra describes them and in
 * fast forms for long sets. The walks add every piece with AddToSet, which walks the new set
 * from its start, so building a set of n elements costs n squared; the difference cuts by one
 * element of the second set at a time. The fast forms: a builder that appends an element
 * directly where AddToSet would only have walked to the end, and sweeps over sorted arrays
 * that give a difference or an intersection in one pass (the cut of a sorted set by many
 * comparisons in place is in cutlist.h). Each gives exactly the set the walk gives (the same
 * elements, values, order and range types; the element nodes are other copies), and falls
 * back to the walk where that is not sure.
 *
 * The order the sweeps rely on: yowccmp (mode 2, not strict) is a total order on numbers
 * (missing values below them by rank) and on character values (blank-padded), as long as no
 * number is a NaN that is not a missing value and no character unit reaches 2^31 (where
 * the element-wise and the padding comparisons disagree). Constants that pass `Order::admit`
 * are such constants of one kind. */
#ifndef ZORV_TRAN_SETSWEEP_H
#define ZORV_TRAN_SETSWEEP_H

#include <cstdint>

#include "tran/tran.h"

namespace setsweep {

/* kFast takes the fast forms where they apply; kLiteral walks as the set algebra describes
 * it (the reference the fast forms are tested against). */
enum class Path : uint8_t { kFast, kLiteral };

/* The constants of one total order, as they are admitted one by one. */
class Order {
  public:
    Order() = default;
    explicit Order(int32_t kind) : kind_(kind) {}
    /* c is a constant of this order's kind (the first one admitted sets it) that compares
     * within the order. */
    bool admit(const ZNode* c);
    /* Both bounds of range r admitted. */
    bool admit_range(const ZNode* r);
    int32_t kind() const { return kind_; }

  private:
    int32_t kind_ = 0; /* Z_LITN, Z_LITC, or 0 before the first */
};

/* -1, 0 or 1 as a lies below, on or above b; both admitted to one Order. */
int32_t order(const ZNode* a, const ZNode* b);

/* The least and the greatest constant of a point or a range whose bounds are admitted. */
const ZNode* bottom(const ZNode* e);
const ZNode* top(const ZNode* e);

/* Releases a piece a range operation returned: a range made for it (not the bound nodes it
 * shares with its inputs); a point is a bound node of an input and stays. */
void release_piece(ZInst* inst, ZNode* piece);

/* The comparison codes of an element against k for which a one-sided comparison of that
 * type holds; CEQ and other types hold for none. */
int32_t ineq_mask(int32_t type);

/* Adds elements to a new, empty set as AddToSet does: directly at the end when the element
 * lies above the whole set and apart from it (AddToSet then walks past every element and
 * appends a copy), through AddToSet otherwise. With kLiteral every element goes through
 * AddToSet. */
class SetBuilder {
  public:
    SetBuilder(ZInst* inst, NQJournal* jnl, ZNode* set, Path path);
    void add(ZNode* element);

  private:
    bool appends(const ZNode* e) const;
    void raise(const ZNode* e);
    void append(ZNode* copy);

    ZInst* inst_;
    NQJournal* jnl_;
    ZNode* set_;
    Order order_;
    const ZNode* max_ = nullptr; /* the greatest constant added; the caller's node */
    bool open_top_ = false;      /* the set holds max_ only as excluded high ends of ranges */
    bool direct_;                /* false once an element could not be ordered */
    ZNode* tail_ = nullptr;      /* the block that holds position tail_nargs_ - 1 */
    int32_t tail_nargs_ = -1;    /* the count tail_ is right for */
};

/* What the cached facts about a set say, from one scan of it. */
struct SetFacts {
    int32_t kind = 0;           /* Z_LITN/Z_LITC: its constants are admitted to one Order */
    bool sorted = false;        /* no empty slot; points and regular ranges in ascending order,
                                   disjoint and not touching (what AddToSet leaves) */
    bool points = true;         /* no range among its elements */
    const ZNode* max = nullptr; /* its greatest constant, when kind is set */
};
SetFacts scan_set(ZNode* set);

/* The set operations with a choice of path; the operations of tran.h take kFast. */
ZNode* differ_sets(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2, Path path);
ZNode* intersect_sets(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2, Path path);
ZNode* intersect_ineq_with_set(ZInst* inst, NQJournal* jnl, ZNode* comparison, ZNode* set,
                               Path path);

}  // namespace setsweep

#endif
