/* The order of the 28 missing values: a missing value is a NaN whose top halfword is all
 * ones; its rank (1 for the underscore, 2 for the ordinary '.', 3..28 for A..Z) places it
 * below every number and among the others. Shared by the transformer and the evaluator. */
#ifndef ZORV_FRAME_MISSING_H
#define ZORV_FRAME_MISSING_H

#include <stdint.h>
#include <string.h>

/* 0 for a number (a NaN that is not missing included); 1 .. 28 for a missing value. A
 * pattern with the missing top halfword but an unknown code ranks as the ordinary one. */
inline int32_t missing_rank(double v) {
    uint64_t bits;
    memcpy(&bits, &v, sizeof bits);
    if ((bits >> 48) != 0xFFFF) return 0;
    const int32_t rank = (256 - static_cast<int32_t>((bits >> 40) & 0xFF)) % 256;
    return rank >= 1 && rank <= 28 ? rank : 2;
}

inline bool is_missing(double v) {
    uint64_t bits;
    memcpy(&bits, &v, sizeof bits);
    return (bits >> 48) == 0xFFFF;
}

#endif
