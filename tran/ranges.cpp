/* Ranges: a RANB/RANL/RANH/RANN node whose operands 0 and 1 are its low and high bound and
 * whose type says which ends belong to it. Membership of a point, the intersection of two
 * ranges and of a one-sided comparison with a range, and the difference of two ranges.
 * Results are built from the inputs' own bound nodes, never copies of them; a result that
 * shrinks to one point is that bound node itself. */
#include <cassert>

#include "frame/nodekinds.h"
#include "frame/nodeutil.h"
#include "tran/algebra.h"
#include "tran/tran.h"

/* `cineq_range`: what remains of a range under x <op> k, by the comparison (CNE, CLT, CLE,
 * CGT, CGE) and where k lies: below lo, at lo, between, at hi, above hi. The actions are
 * listed at IntersectIneqWithRange. */
const int32_t cineq_range[5][5] = {
    /*         below  =lo  between  =hi  above */
    /* CNE */ {2, 5, 1, 9, 2},
    /* CLT */ {0, 0, 8, 9, 2},
    /* CLE */ {0, 4, 10, 2, 2},
    /* CGT */ {2, 5, 6, 0, 0},
    /* CGE */ {2, 2, 7, 3, 0},
};

namespace {

bool low_excluded(int32_t bits) {
    return (bits & kLowExcluded) != 0;
}
bool high_excluded(int32_t bits) {
    return (bits & kHighExcluded) != 0;
}

/* A copy of r's whole record (bounds shared) with the given exclusion bits; null when that
 * leaves nothing: equal bounds with an end excluded. Such an empty range must not reach a
 * set, where [a, a) would still count as holding a (its low end is included). */
ZNode* retyped_copy(ZInst* inst, ZNode* r, int32_t bits) {
    if (bits != 0 && cmp(range_lo(r), range_hi(r), 2) == kCmpEqual) return nullptr;
    ZNode* n = inst->NewOp(inst, Z_NULL);
    if (n == nullptr) return nullptr;
    copy_record(n, r);
    n->type = static_cast<uint16_t>(RangeCode(bits));
    return n;
}

/* Positions of k against a range, the column index of `cineq_range`. */
enum : int32_t { kBelow = 0, kAtLow = 1, kBetween = 2, kAtHigh = 3, kAbove = 4 };

int32_t position_of(ZNode* k, ZNode* r) {
    const int32_t c = cmp(k, range_lo(r), 2);
    if (c == kCmpLess) return kBelow;
    if (c == kCmpEqual) return kAtLow;
    if (c != kCmpGreater) return kBelow; /* not comparable */
    switch (cmp(k, range_hi(r), 2)) {
        case kCmpLess:
            return kBetween;
        case kCmpEqual:
            return kAtHigh;
        case kCmpGreater:
            return kAbove;
        default:
            return kBelow;
    }
}

}  // namespace

int32_t RangeCode(int32_t bits) {
    return Z_RANB + (low_excluded(bits) ? 2 : 0) + (high_excluded(bits) ? 1 : 0);
}

int32_t RangeBits(int32_t type) {
    switch (type) {
        case Z_RANL:
            return kHighExcluded;
        case Z_RANH:
            return kLowExcluded;
        case Z_RANN:
            return kLowExcluded | kHighExcluded;
        default:
            return 0;
    }
}

ZNode* new_range(ZInst* inst, int32_t bits, ZNode* lo, ZNode* hi, const ZNode* like) {
    ZNode* n = inst->NewOp(inst, RangeCode(bits));
    if (n == nullptr) return nullptr;
    n->vlen = like ? like->vlen : 0;
    n->u.op.nargs = 2;
    n->u.op.args[0] = lo;
    n->u.op.args[1] = hi;
    return n;
}

/* 1 when p lies in r, its ends included or not as r's type says; a point that does not
 * compare with the bounds lies outside. */
int32_t PointInRange_YN(ZNode* point, ZNode* range) {
    const int32_t bits = RangeBits(range->type);
    const int32_t lo = cmp(point, range_lo(range), 2);
    const int32_t hi = cmp(point, range_hi(range), 2);
    const bool above_low = lo == kCmpGreater || (lo == kCmpEqual && !low_excluded(bits));
    const bool below_high = hi == kCmpLess || (hi == kCmpEqual && !high_excluded(bits));
    return above_low && below_high ? 1 : 0;
}

/* Where p lies against r: 1 below, 2 inside, 4 at an excluded low end (which r now
 * includes), 8 at an excluded high end (likewise), 0 above or not comparable. */
int32_t PointInRange_WH(ZNode* range, ZNode* point) {
    const int32_t bits = RangeBits(range->type);
    switch (cmp(point, range_lo(range), 2)) {
        case kCmpLess:
            return 1;
        case kCmpEqual:
            if (!low_excluded(bits)) return 2;
            range->type = static_cast<uint16_t>(RangeCode(bits & ~kLowExcluded));
            return 4;
        case kCmpGreater:
            switch (cmp(point, range_hi(range), 1)) {
                case kCmpEqual:
                    if (!high_excluded(bits)) return 2;
                    range->type = static_cast<uint16_t>(RangeCode(bits & ~kHighExcluded));
                    return 8;
                case kCmpLess:
                    return 2;
                default:
                    return 0;
            }
        default:
            return 0;
    }
}

/* The common part of two ranges, a new range over their bound nodes, or null when they
 * do not meet. The larger low and smaller high bound are chosen strictly (numeric bounds
 * of different tags do not compare, and r2's bound is then taken); the ends' inclusion is
 * decided with the ordinary comparison. Only numeric r1 or character r2 bounds are
 * intersected: a pair of ranges outside that test gives null. */
ZNode* IntersectRanges(ZInst* inst, NQJournal*, ZNode* r1, ZNode* r2) {
    ZNode* lo1 = range_lo(r1);
    ZNode* hi1 = range_hi(r1);
    ZNode* lo2 = range_lo(r2);
    ZNode* hi2 = range_hi(r2);
    const bool numeric1 = lo1 && hi1 && lo1->type == Z_LITN && hi1->type == Z_LITN;
    const bool text2 = lo2 && hi2 && lo2->type == Z_LITC && hi2->type == Z_LITC;
    if (!numeric1 && !text2) return nullptr;

    ZNode* lo = yowccmp(lo1, lo2, 2, 1) == kCmpGreater ? lo1 : lo2;
    ZNode* hi = yowccmp(hi1, hi2, 2, 1) == kCmpLess ? hi1 : hi2;
    if (cmp(lo, hi, 2) == kCmpGreater) return nullptr;

    const int32_t b1 = RangeBits(r1->type);
    const int32_t b2 = RangeBits(r2->type);
    int32_t bits = 0;
    {
        // A is the range with the lower low bound; if its bound is the chosen one the two
        // bounds are equal and either exclusion excludes.
        const bool a_is_1 = cmp(lo1, lo2, 2) == kCmpLess;
        const ZNode* a_lo = a_is_1 ? lo1 : lo2;
        const int32_t a_bits = a_is_1 ? b1 : b2;
        const int32_t b_bits = a_is_1 ? b2 : b1;
        if (cmp(a_lo, lo, 2) == kCmpEqual)
            bits |= (a_bits | b_bits) & kLowExcluded;
        else
            bits |= b_bits & kLowExcluded;
    }
    {
        const bool a_is_1 = cmp(hi1, hi2, 2) == kCmpGreater;
        const ZNode* a_hi = a_is_1 ? hi1 : hi2;
        const int32_t a_bits = a_is_1 ? b1 : b2;
        const int32_t b_bits = a_is_1 ? b2 : b1;
        if (cmp(a_hi, hi, 2) == kCmpEqual)
            bits |= (a_bits | b_bits) & kHighExcluded;
        else
            bits |= b_bits & kHighExcluded;
    }
    if (cmp(lo, hi, 2) == kCmpEqual && bits != 0) return nullptr;
    return new_range(inst, bits, lo, hi, r1);
}

/* The part of r where x <op> k holds, k being the comparison's operand 1: a first piece
 * and, for CNE with k inside, a second one. A comparison type outside CNE..CGE keeps
 * nothing (null): callers only pass the one-sided comparisons. */
ZNode* IntersectIneqWithRange(ZInst* inst, NQJournal*, ZNode* comparison, ZNode* range,
                              ZNode** second) {
    *second = nullptr;
    if (comparison->type < Z_CNE || comparison->type > Z_CGE) return nullptr;
    ZNode* k = comparison->u.op.args[1];
    ZNode* lo = range_lo(range);
    ZNode* hi = range_hi(range);
    const int32_t bits = RangeBits(range->type);
    const int32_t low_as_r = bits & kLowExcluded;
    const int32_t high_as_r = bits & kHighExcluded;

    switch (cineq_range[comparison->type - Z_CNE][position_of(k, range)]) {
        case 0:
            return nullptr;
        case 1:
            *second = new_range(inst, kLowExcluded | high_as_r, k, hi, range);
            return new_range(inst, low_as_r | kHighExcluded, lo, k, range);
        case 2:
            return retyped_copy(inst, range, bits);
        case 3:
            return high_excluded(bits) ? nullptr : hi;
        case 4:
            return low_excluded(bits) ? nullptr : lo;
        case 5:
            return retyped_copy(inst, range, bits | kLowExcluded);
        case 6:
            return new_range(inst, kLowExcluded | high_as_r, k, hi, range);
        case 7:
            return new_range(inst, high_as_r, k, hi, range);
        case 8:
            return new_range(inst, low_as_r | kHighExcluded, lo, k, range);
        case 9:
            return retyped_copy(inst, range, bits | kHighExcluded);
        case 10:
            return new_range(inst, low_as_r, lo, k, range);
        default:
            assert(!"cineq_range holds actions 0..10");
            return nullptr;
    }
}

/* The parts of r1 outside r2: a first piece and possibly a second (the part above r2), or
 * null when r2 covers r1. A piece that is a single point is r1's bound node itself. */
ZNode* DifferRanges(ZInst* inst, NQJournal*, ZNode* r1, ZNode* r2, ZNode** second) {
    *second = nullptr;
    ZNode* lo1 = range_lo(r1);
    ZNode* hi1 = range_hi(r1);
    ZNode* lo2 = range_lo(r2);
    ZNode* hi2 = range_hi(r2);
    const int32_t b1 = RangeBits(r1->type);
    const int32_t b2 = RangeBits(r2->type);

    // r2 wholly below or above r1, or touching one end of it.
    const int32_t below = cmp(hi2, lo1, 2);
    if (below == kCmpLess) return retyped_copy(inst, r1, b1);
    if (below == kCmpEqual) {
        const bool low_out = low_excluded(b1) || !high_excluded(b2);
        return retyped_copy(inst, r1, (low_out ? kLowExcluded : 0) | (b1 & kHighExcluded));
    }
    const int32_t above = cmp(lo2, hi1, 2);
    if (above == kCmpGreater) return retyped_copy(inst, r1, b1);
    if (above == kCmpEqual) {
        const bool high_out = high_excluded(b1) || !low_excluded(b2);
        return retyped_copy(inst, r1, (b1 & kLowExcluded) | (high_out ? kHighExcluded : 0));
    }

    // r2 reaches into r1.
    const int32_t c3 = cmp(lo2, lo1, 2);
    const int32_t c4 = cmp(hi2, hi1, 2);
    const bool hi1_left = !high_excluded(b1) && high_excluded(b2);
    const int32_t upper_bits = (high_excluded(b2) ? 0 : kLowExcluded) | (b1 & kHighExcluded);
    if (c3 != kCmpLess && c3 != kCmpEqual) {
        const int32_t left_bits = (b1 & kLowExcluded) | (low_excluded(b2) ? 0 : kHighExcluded);
        ZNode* left = new_range(inst, left_bits, lo1, lo2, r1);
        if (c4 == kCmpEqual)
            *second = hi1_left ? hi1 : nullptr;
        else if (c4 == kCmpLess)
            *second = new_range(inst, upper_bits, hi2, hi1, r1);
        return left;
    }
    if (c3 == kCmpEqual && !low_excluded(b1) && low_excluded(b2)) *second = lo1;
    if (c4 == kCmpEqual) return hi1_left ? hi1 : nullptr;
    if (c4 == kCmpLess) return new_range(inst, upper_bits, hi2, hi1, r1);
    return nullptr;
}
