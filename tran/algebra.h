/* Pieces shared by the range and the set algebra: the ordinary comparison of points, the
 * bounds and exclusion bits of a range, and the making of a new range over given bound
 * nodes. Private to tran/. */
#ifndef ZORV_TRAN_ALGEBRA_H
#define ZORV_TRAN_ALGEBRA_H

#include "tran/tran.h"

/* Exclusion bits of a range: the low end, the high end is not part of it. */
constexpr int32_t kLowExcluded = 1;
constexpr int32_t kHighExcluded = 2;

/* The comparison of points throughout the algebra: yowccmp, not strict. */
inline int32_t cmp(const ZNode* a, const ZNode* b, int32_t mode) {
    return yowccmp(a, b, mode, 0);
}

inline ZNode* range_lo(const ZNode* r) {
    return r->u.op.args[0];
}
inline ZNode* range_hi(const ZNode* r) {
    return r->u.op.args[1];
}

/* A new range lo..hi with these exclusion bits; its vlen is like's (the range it is cut
 * from), 0 when there is none. Null when the node store is exhausted. */
ZNode* new_range(ZInst* inst, int32_t bits, ZNode* lo, ZNode* hi, const ZNode* like);

#endif
