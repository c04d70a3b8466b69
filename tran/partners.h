/* Which operands of one AND/OR an operand can merge with, found without offering it every
 * other operand. The rules merge only operands that test the same column, and for each kind
 * of pair (IN or NOT IN over a set, a comparison against a constant, any other predicate
 * against a constant) they either always apply, never apply, or apply when the partner's
 * constant stands in a fixed relation to the operand's own (not below it, not above it,
 * equal to it). Offering an operand only the partners that pass that test, in slot order,
 * gives the same merges as offering it every operand in slot order: every pair skipped is a
 * pair no rule would have changed. */
#ifndef ZORV_TRAN_PARTNERS_H
#define ZORV_TRAN_PARTNERS_H

#include <cstdint>

#include "tran/tran.h"

namespace tranmerge {

/* When a pair (a, b) can merge, by their kinds: never; whatever b's constant; when b's
 * constant is comparable with a's (same kind, and same literal kind for numbers); and
 * comparable and not below, not above, or equal to a's. */
enum class Cond : int8_t { kNever, kAny, kSame, kGe, kLe, kEq };

/* The kinds are Z_IN and Z_NIN for those predicates over a SET and CEQ..CGE for a
 * comparison against a constant. Mirrors the rules of and_pair and or_pair. */
Cond partner_cond(bool is_and, int32_t a_kind, int32_t b_kind);

/* Called for each partner slot in turn; answers false when the node's value has been fixed,
 * which ends the walk. */
using VisitFn = bool (*)(void* ctx, ZNode*& slot);

class PartnerIndex {
  public:
    /* Builds the index over the node's operands when `wanted`; ok() is false when it was
     * not wanted or the pool refused its memory. */
    PartnerIndex(ZNode* node, ZInst* inst, bool is_and, bool wanted);
    ~PartnerIndex();
    PartnerIndex(const PartnerIndex&) = delete;
    PartnerIndex& operator=(const PartnerIndex&) = delete;

    bool ok() const { return ok_; }

    /* Offers the operand in slot i to every operand it might merge with, in slot order.
     * False when a visit fixed the node's value. */
    bool partners(int32_t i, VisitFn visit, void* ctx);

  private:
    struct Entry;
    struct Bucket;
    struct Group;

    bool build(ZNode* node);
    bool rank_group(int32_t g, void* scratch);
    int32_t kind_of(const ZNode* x, const ZNode** constant) const;
    int32_t find(const Bucket& b, int32_t after, Cond c, int32_t v) const;
    void kill(int32_t e);
    void unlink(int32_t e);
    bool offer(int32_t e, VisitFn visit, void* ctx);
    bool literal_scan(int32_t g, int32_t e, int32_t after, VisitFn visit, void* ctx);

    ZInst* inst_;
    bool is_and_;
    bool ok_ = false;
    int32_t nslots_ = 0;
    int32_t nentries_ = 0;
    int32_t ngroups_ = 0;
    int32_t nbuckets_ = 0;
    void* memory_[8] = {};
    int32_t* where_ = nullptr;  /* slot -> entry, or -1 */
    Entry* entries_ = nullptr;  /* by group, then slot */
    int32_t* gorder_ = nullptr; /* entries by group, then slot */
    Group* groups_ = nullptr;
    Bucket* buckets_ = nullptr;
    int32_t* members_ = nullptr; /* entries of each bucket, in slot order */
    int32_t* tree_ = nullptr;    /* min/max trees of the buckets */
};

}  // namespace tranmerge

#endif
