/* The evaluator's comparisons: the mask table, the blank-padded character order and
 * equality, the comparison nodes (plain and colon forms, numeric and character),
 * BETWEEN, and MIN/MAX. */
#include <algorithm>
#include <cassert>
#include <cstring>
#include <cwchar>

#include "eval/eval.h"

static_assert(sizeof(wchar_t) == sizeof(NQWChar), "wmemcmp compares 4-byte characters");

const int32_t cmpmask[6] = {kOrdEqual,                /* CEQ */
                            kOrdLess | kOrdGreater,   /* CNE: also the character equality's 5 */
                            kOrdLess,                 /* CLT */
                            kOrdLess | kOrdEqual,     /* CLE */
                            kOrdGreater,              /* CGT */
                            kOrdGreater | kOrdEqual}; /* CGE */

namespace {

/* Whether operands 0 .. n-1 are all there: a node short of one (the parser and the
 * transformer never make it) is false rather than read through a null slot. */
inline bool has_operands(const ZNode* node, int32_t n) {
    if (node->u.op.nargs < n) return false;
    for (int32_t i = 0; i < n; ++i)
        if (node->u.op.args[i] == nullptr) return false;
    return true;
}

inline int32_t order_of(int r) {
    return r < 0 ? kOrdLess : r > 0 ? kOrdGreater : kOrdEqual;
}

/* The blank-padded order without a collating service: 32-bit code order over the common
 * length, then the longer value's tail against blanks. */
inline int32_t code_compare(const NQWChar* a, int32_t na, const NQWChar* b, int32_t nb) {
    const int32_t n = std::min(na, nb);
    if (n > 0) {
        const int r = std::wmemcmp(reinterpret_cast<const wchar_t*>(a),
                                   reinterpret_cast<const wchar_t*>(b), static_cast<size_t>(n));
        if (r != 0) return order_of(r);
    }
    if (na == nb) return kOrdEqual;
    return order_of(mynqzscom(a + n, na - n, b + n, nb - n));
}

/* A comparison's two operands read as numbers, operand 0 first. */
inline int32_t compare_numbers(EvalCtx* ctx, ZNode* x, ZNode* y, const void* row) {
    const double a = num_operand(ctx, x, row);
    const double b = num_operand(ctx, y, row);
    return num_compare(a, b);
}

}  // namespace

/* Tail of a blank-padded comparison: the values agree up to the shorter length, and the
 * one tail left is compared with blanks. A character above the blank makes its value the
 * greater, one below (a control character) the smaller. */
int32_t mynqzscom(const NQWChar* a, int32_t na, const NQWChar* b, int32_t nb) {
    assert(na == 0 || nb == 0);
    const bool a_longer = na > 0;
    const NQWChar* tail = a_longer ? a : b;
    const int32_t len = a_longer ? na : nb;
    for (int32_t i = 0; i < len; ++i) {
        if (tail[i] == kBlank) continue;
        const int32_t above = tail[i] > kBlank ? 1 : -1;
        return a_longer ? above : -above;
    }
    return 0;
}

int32_t char_compare(const ZInst* inst, const NQWChar* a, int32_t na, const NQWChar* b,
                     int32_t nb) {
    if (NQCollator* c = inst->options2; c != nullptr)
        return order_of(c->Compare(c, a, na, b, nb, 1));
    return code_compare(a, na, b, nb);
}

/* Byte equality over the common length; the longer value's rest must be blanks. */
int32_t char_equal(const NQWChar* a, int32_t na, const NQWChar* b, int32_t nb) {
    const int32_t n = std::min(na, nb);
    // Short values, the usual codes and names, are compared unit by unit in place; a call
    // pays off only for longer ones.
    constexpr int32_t kShort = 16;
    if (n <= kShort) {
        for (int32_t i = 0; i < n; ++i)
            if (a[i] != b[i]) return kOrdUnequal;
    } else if (std::memcmp(a, b, 4 * static_cast<size_t>(n)) != 0) {
        return kOrdUnequal;
    }
    if (na == nb) return kOrdEqual;
    const NQWChar* rest = na > nb ? a + n : b + n;
    return pvMemTNot(kBlank, rest, std::max(na, nb) - n) ? kOrdEqual : kOrdUnequal;
}

/* CEQ..CGE and CTEQ..CTGE whose operands are not all read in place (eval_compare has
 * answered those): each operand is read in place when it can be, and evaluated into a
 * scratch record of this frame otherwise. */
int32_t compare_general(EvalCtx* ctx, ZNode* node, const void* row) {
    if (!has_operands(node, 2)) return 0;
    int32_t plain = node->type;
    const bool truncate = plain >= Z_CTEQ;
    if (truncate) plain -= Z_CTEQ - Z_CEQ;
    assert(plain >= Z_CEQ && plain <= Z_CGE);
    ZNode* x = node->u.op.args[0];
    ZNode* y = node->u.op.args[1];
    int32_t code;
    if (x->vlen < 0) {
        code = compare_numbers(ctx, x, y, row);
    } else {
        // Equality never collates; ordering may.
        ZNode sa, sb; /* hold operands that have to be evaluated */
        const CharVal a = char_operand(ctx, x, row, &sa);
        const CharVal b = char_operand(ctx, y, row, &sb);
        int32_t na = a.bytes / 4, nb = b.bytes / 4;
        if (truncate) na = nb = std::min(na, nb);
        code = plain <= Z_CNE ? short_char_equal(a.str, na, b.str, nb)
                              : char_compare(ctx->inst, a.str, na, b.str, nb);
    }
    return (code & cmpmask[plain - Z_CEQ]) != 0;
}

/* Operands read in place are compared here without a frame to set up; the rest is
 * compare_general's. */
int32_t eval_compare(EvalCtx* ctx, ZNode* node, const void* row) {
    const int32_t t = compare_in_place(node, row);
    return t >= 0 ? t : compare_general(ctx, node, row);
}

/* BETW, NBTW: x against bounds given in either order, both included. Numeric operands are
 * read in place like a comparison's; the order is the comparisons' (numbers by the
 * numeric order, characters blank-padded). */
int32_t eval_between(EvalCtx* ctx, ZNode* node, const void* row, ZNode* result) {
    if (!has_operands(node, 3)) return set_truth(result, 0);
    ZNode* const* arg = node->u.op.args;
    bool inside;
    if (arg[0]->vlen < 0) {
        const double x = num_operand(ctx, arg[0], row);
        double lo = num_operand(ctx, arg[1], row);
        double hi = num_operand(ctx, arg[2], row);
        if (num_compare(lo, hi) == kOrdGreater) std::swap(lo, hi);
        inside = num_compare(x, lo) != kOrdLess && num_compare(x, hi) != kOrdGreater;
    } else {
        ZNode sx, slo, shi;
        const CharVal xv = char_operand(ctx, arg[0], row, &sx);
        CharVal lo = char_operand(ctx, arg[1], row, &slo);
        CharVal hi = char_operand(ctx, arg[2], row, &shi);
        const ZInst* inst = ctx->inst;
        if (char_compare(inst, lo.str, lo.bytes / 4, hi.str, hi.bytes / 4) == kOrdGreater)
            std::swap(lo, hi);
        inside = char_compare(inst, xv.str, xv.bytes / 4, lo.str, lo.bytes / 4) != kOrdLess &&
                 char_compare(inst, xv.str, xv.bytes / 4, hi.str, hi.bytes / 4) != kOrdGreater;
    }
    return set_truth(result, node->type == Z_BETW ? inside : !inside);
}

/* MIN, MAX of operands 0 (A) and 1 (B). Ties go to B for MIN and to A for MAX, so MIN of
 * 'ab' and 'ab ' is 'ab '. A chosen character value of at most 48 bytes is copied into the
 * result's inline buffer (the operand's own record dies with this frame); a longer one is
 * never built by the evaluator in a record, so it is pointed at where it lies. */
int32_t eval_minmax(EvalCtx* ctx, ZNode* node, const void* row, ZNode* result) {
    if (!has_operands(node, 2)) return set_truth(result, 0);
    ZNode* x = node->u.op.args[0];
    ZNode* y = node->u.op.args[1];
    const bool is_min = node->type == Z_MIN;
    if (x->vlen < 0) {
        const double a = num_operand(ctx, x, row);
        const double b = num_operand(ctx, y, row);
        const bool a_less = num_compare(a, b) == kOrdLess;
        const double v = is_min == a_less ? a : b;
        result->type = Z_LITN;
        result->u.litn.num = v;
        return num_truth(v);
    }
    ZNode sa, sb;
    const CharVal a = char_operand(ctx, x, row, &sa);
    const CharVal b = char_operand(ctx, y, row, &sb);
    const bool a_less = char_compare(ctx->inst, a.str, a.bytes / 4, b.str, b.bytes / 4) == kOrdLess;
    const CharVal v = is_min == a_less ? a : b;
    result->type = Z_LITC;
    result->u.litc.slen = v.bytes;
    if (v.bytes > static_cast<int32_t>(sizeof result->u.litc.inl)) {
        result->u.litc.str = const_cast<NQWChar*>(v.str);
    } else {
        if (v.bytes > 0) std::memcpy(result->u.litc.inl, v.str, static_cast<size_t>(v.bytes));
        result->u.litc.str = result->u.litc.inl;
    }
    return char_truth(result->u.litc.str, v.bytes);
}
