/* Comparisons of constant nodes at rewrite time, in the evaluator's order: missing values
 * below every number by rank, character values blank-padded. Also the truth of a constant,
 * the same-column test of two leaves and the boolean-operand scan of an AND/OR. */
#include <algorithm>
#include <cstring>
#include <cwchar>

#include "frame/nodekinds.h"
#include "frame/nodeutil.h"
#include "tran/tran.h"

static_assert(sizeof(wchar_t) == sizeof(NQWChar), "wmemcmp compares 4-byte characters");

namespace {

constexpr NQWChar kBlank = U' ';

/* The answer for "greater": only mode 2 tells it apart from "not comparable". */
int32_t greater_in(int32_t mode) {
    return mode == 2 ? kCmpGreater : kCmpNone;
}

int32_t compare_numbers(const ZNode* a, const ZNode* b, int32_t mode, int32_t strict) {
    if (strict && a->u.litn.tag != b->u.litn.tag) return kCmpNone;
    const double x = a->u.litn.num;
    const double y = b->u.litn.num;
    const int32_t ra = missing_rank(x);
    const int32_t rb = missing_rank(y);
    if (ra != 0) {
        if (rb == 0 || rb > ra) return kCmpLess;
        if (rb == ra) return kCmpEqual; /* the low bits of the patterns do not count */
        return greater_in(mode);
    }
    // A number above a missing value is answered in every mode: callers that only look
    // for less and equal still learn that the missing value is below.
    if (rb != 0) return kCmpGreater;
    if (x < y) return kCmpLess;
    if (x == y) return kCmpEqual;
    return greater_in(mode); /* greater, or an unordered pair of non-missing NaNs */
}

}  // namespace

/* Missing rank of a double: 0 for a number (any value whose top halfword is not all ones,
 * non-missing NaN patterns included); for a missing value (256 - kind byte) mod 256 when
 * that lies in 1..28, else 2 (the ordinary missing value). */
/* Blank-padded comparison of two wide strings (lengths in characters): negative, 0 or
 * positive. The shorter string reads as if padded with U+0020, so only a non-blank in the
 * longer one's tail decides, by whether it sorts above or below the blank. */
int32_t nqzscom(const NQWChar* s1, int32_t len1, const NQWChar* s2, int32_t len2) {
    const int32_t m = std::min(len1, len2);
    if (m > 0) {
        const int r = std::wmemcmp(reinterpret_cast<const wchar_t*>(s1),
                                   reinterpret_cast<const wchar_t*>(s2), static_cast<size_t>(m));
        if (r != 0) return r;
    }
    if (len1 == len2) return 0;
    const bool first_longer = len1 > len2;
    const NQWChar* tail = first_longer ? s1 : s2;
    const int32_t len = first_longer ? len1 : len2;
    for (int32_t i = m; i < len; ++i) {
        if (tail[i] == kBlank) continue;
        const int32_t above = tail[i] > kBlank ? 1 : -1;
        return first_longer ? above : -above;
    }
    return 0;
}

/* Comparison code of two constants. mode 0 tells only whether they are comparable (both
 * LITN or both LITC); mode 1 answers less and equal, and greater only for a number against
 * a missing value; mode 2 answers everything. strict makes LITN of different tags (a date
 * against a plain number) not comparable. */
int32_t yowccmp(const ZNode* a, const ZNode* b, int32_t mode, int32_t strict) {
    if (a == nullptr || b == nullptr) return kCmpNone;
    const bool numbers = a->type == Z_LITN && b->type == Z_LITN;
    const bool texts = a->type == Z_LITC && b->type == Z_LITC;
    if (!numbers && !texts) return kCmpNone;
    if (mode == 0) return kCmpComparable;
    if (numbers) return compare_numbers(a, b, mode, strict);
    const int32_t r = nqzscom(a->u.litc.str, a->u.litc.slen / 4, b->u.litc.str, b->u.litc.slen / 4);
    if (r < 0) return kCmpLess;
    if (r == 0) return kCmpEqual;
    return greater_in(mode);
}

/* 1 when both leaves denote the same column: two SYM leaves with the same symbol word, or
 * two NAME leaves with the same (upper-cased, hence byte-exact) name. */
int32_t yowncmp(const ZNode* a, const ZNode* b) {
    if (a == nullptr || b == nullptr || a->type != b->type) return 0;
    if (a->type == Z_SYM) return a->u.op.nargs == b->u.op.nargs ? 1 : 0;
    if (a->type != Z_NAME || a->u.nm.namelen != b->u.nm.namelen) return 0;
    // A length beyond the 32-byte field would be a host's error; never read past it.
    const int32_t len =
        std::clamp<int32_t>(a->u.nm.namelen, 0, static_cast<int32_t>(sizeof a->u.nm.name));
    return std::memcmp(a->u.nm.name, b->u.nm.name, static_cast<size_t>(len)) == 0 ? 1 : 0;
}

/* Truth of a constant: LITN is false when missing or zero (either sign), true otherwise,
 * a non-missing NaN included; LITC is false when all blanks (or empty). 2 for anything
 * that is not a constant. */
int32_t truth_of(const ZNode* node) {
    if (node == nullptr) return 2;
    if (node->type == Z_LITN) {
        const double v = node->u.litn.num;
        return missing_rank(v) != 0 || v == 0.0 ? 0 : 1;
    }
    if (node->type == Z_LITC)
        return pvMemTNot(kBlank, node->u.litc.str, node->u.litc.slen / 4) ? 0 : 1;
    return 2;
}

/* Scans the operands of an AND/OR: hasbool becomes 1 at the first boolean-valued operand
 * (a logical, IS-group or comparison node, or the number 0 or 1, -0.0 counting as 0) and
 * the scan stops there; plaincount counts the other operands before it. */
void CheckForBoolean(ZNode* node, int32_t* hasbool, int32_t* plaincount) {
    *hasbool = 0;
    *plaincount = 0;
    for (ArgCursor c(node); !c.done(); c.next()) {
        const ZNode* x = c.get();
        if (x == nullptr) continue;
        const bool boolean = zkind::is_boolean_valued(x->type) ||
                             (x->type == Z_LITN && (x->u.litn.num == 0.0 || x->u.litn.num == 1.0));
        if (boolean) {
            *hasbool = 1;
            return;
        }
        ++*plaincount;
    }
}
