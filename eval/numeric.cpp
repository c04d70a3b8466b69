/* Numeric operators of the evaluator: the four arithmetic operators and negation, the
 * right-associative power chain, and the search of a number in a sorted IN list of
 * constants and ranges (over the list's key intervals when it has an index, else by binary
 * search over its elements). Every result that cannot be computed is the ordinary missing
 * value, whichever missing value an operand held. */
#include <cassert>
#include <cstring>

#include "eval/eval.h"

namespace {

int32_t set_number(ZNode* result, double v, int32_t truth) {
    result->type = Z_LITN;
    result->u.litn.num = v;
    return truth;
}

/* A numeric operand; an empty slot reads as 1.0, the value eval_tree gives it. */
inline double number_of(EvalCtx* ctx, ZNode* x, const void* row) {
    return x ? num_operand(ctx, x, row) : 1.0;
}

ZNode* operand(EvalCtx* ctx, ZNode* node, int32_t i) {
    if (i >= node->u.op.nargs) return nullptr;
    return i < Z_NODE_ARGS ? node->u.op.args[i] : ctx->inst->Get(ctx->inst, node, i);
}

/* The sign bit inverted, NaNs included (so negating 0.0 gives -0.0). */
double negated(double v) {
    uint64_t bits;
    memcpy(&bits, &v, sizeof bits);
    bits ^= 0x8000000000000000ull;
    memcpy(&v, &bits, sizeof v);
    return v;
}

double power(double x, double y) {
    int32_t status;  // every failing case is already the ordinary missing value
    return nqzpower(x, y, &status);
}

/* The value of the chain from operand `from` to the last (n - 1) of an APOW node, folded
 * from the right, each operand evaluated again. The blocks are walked from the head once
 * for every group of kGroup blocks, and the group's blocks are then read backwards, so the
 * stack stays bounded and the walks cost (n / 15)^2 / kGroup steps. Used only for chains
 * longer than do_apow holds values for. */
double fold_from_right(EvalCtx* ctx, ZNode* node, const void* row, int32_t from, int32_t n) {
    constexpr int32_t kGroup = 64;
    ZNode* group[kGroup];
    double y = 0.0;
    bool have = false;
    for (int32_t top = n - 1; top >= from;) {
        const int32_t last = top / Z_NODE_ARGS;
        const int32_t first0 = from / Z_NODE_ARGS;
        const int32_t first = last - first0 >= kGroup ? last - kGroup + 1 : first0;
        ZNode* block = node;
        for (int32_t b = 0; b < first; ++b) block = block->u.op.next;
        for (int32_t b = first; b <= last; ++b, block = block->u.op.next) group[b - first] = block;
        for (int32_t b = last; b >= first; --b) {
            const int32_t base = b * Z_NODE_ARGS;
            const int32_t lo = from > base ? from - base : 0;
            for (int32_t s = top - base; s >= lo; --s) {
                const double v = number_of(ctx, group[b - first]->u.op.args[s], row);
                if (is_missing(v)) return ordinary_missing();
                y = have ? power(v, y) : v;
                have = true;
                if (is_missing(y)) return ordinary_missing();
            }
            top = base - 1;
        }
    }
    return y;
}

}  // namespace

/* The value of the power chain from operand i of an APOW node: operand i to the power of
 * the chain after it, so a ** b ** c is a ** (b ** c). Operands are evaluated left to
 * right, and the first missing one ends the evaluation: nothing to its right is evaluated
 * and the chain is the ordinary missing value, as is any step whose power fails.
 * The values are held on the stack for the fold from the right; a chain longer than that
 * evaluates its operands past the first kHeld a second time, right to left, for the fold
 * (an evaluation reads an unchanging row and tree, so the values are the same), which
 * keeps the stack bounded whatever the chain's length.
 * Chains of fewer than two operands, which the parser never makes: none gives the ordinary
 * missing value, one gives that operand's value (missing values as the ordinary one). */
double do_apow(EvalCtx* ctx, ZNode* node, const void* row, int32_t i) {
    constexpr int32_t kHeld = 64;
    const int32_t n = node->u.op.nargs;
    if (i < 0 || i >= n) return ordinary_missing();
    double held[kHeld];
    ZNode* block = node;
    for (int32_t b = i / Z_NODE_ARGS; b > 0; --b) block = block->u.op.next;
    for (int32_t k = i; k < n; ++k) {
        if (k > i && k % Z_NODE_ARGS == 0) block = block->u.op.next;
        const double v = number_of(ctx, block->u.op.args[k % Z_NODE_ARGS], row);
        if (is_missing(v)) return ordinary_missing();
        if (k - i < kHeld) held[k - i] = v;
    }
    const int32_t count = n - i;
    int32_t j = count <= kHeld ? count - 1 : kHeld;
    double y = count <= kHeld ? held[j] : fold_from_right(ctx, node, row, i + kHeld, n);
    while (--j >= 0 && !is_missing(y)) y = power(held[j], y);
    return is_missing(y) ? ordinary_missing() : y;
}

namespace {

/* The value of AADD, ASUB, AMUL, ADIV (operands 0 and 1, both read), ANEG (operand 0) or
 * APOW (the whole chain), with its truth in *truth. A missing operand or a division by
 * zero gives the ordinary missing value, false; otherwise the node is true when the result
 * is not zero (infinities and NaNs are true). A power is false when missing or zero. Kept
 * inline so that an operand, which needs only the value, does not pay for the truth. */
inline double arith_value(EvalCtx* ctx, ZNode* node, const void* row, int32_t* truth) {
    const int32_t type = node->type;
    if (type == Z_APOW) {
        const double r = do_apow(ctx, node, row, 0);
        *truth = num_truth(r);
        return r;
    }
    *truth = 0;
    const double a = number_of(ctx, operand(ctx, node, 0), row);
    if (type == Z_ANEG) {
        if (is_missing(a)) return ordinary_missing();
        const double r = negated(a);
        *truth = r != 0.0;
        return r;
    }
    const double b = number_of(ctx, operand(ctx, node, 1), row);
    if (is_missing(a) || is_missing(b)) return ordinary_missing();
    double r;
    switch (type) {
        case Z_AADD:
            r = a + b;
            break;
        case Z_ASUB:
            r = a - b;
            break;
        case Z_AMUL:
            r = a * b;
            break;
        default:
            assert(type == Z_ADIV);
            if (b == 0.0) return ordinary_missing();
            r = a / b;
            break;
    }
    *truth = r != 0.0;
    return r;
}

}  // namespace

int32_t eval_arith(EvalCtx* ctx, ZNode* node, const void* row, ZNode* result) {
    int32_t truth;
    const double r = arith_value(ctx, node, row, &truth);
    return set_number(result, r, truth);
}

namespace {

/* An operand that has to be evaluated in full, into a record on a frame of its own.
 * Characters where a number is expected (only in a tree the resolver refused) read as the
 * ordinary missing value, since they have no numeric value. */
__attribute__((noinline)) double evaluated_number(EvalCtx* ctx, ZNode* x, const void* row) {
    ZNode v;
    eval_tree(ctx, x, row, &v);
    return v.type == Z_LITN ? v.u.litn.num : ordinary_missing();
}

/* An arithmetic node's value computed directly, without a result record; anything else
 * evaluated in full. */
__attribute__((noinline)) double number_by_call(EvalCtx* ctx, ZNode* x, const void* row) {
    if (x->type >= Z_AADD && x->type <= Z_APOW) {
        int32_t truth;
        return arith_value(ctx, x, row, &truth);
    }
    return evaluated_number(ctx, x, row);
}

/* The value of AADD, ASUB, AMUL or ADIV when both operands are read in place, by the rules
 * of arith_value; false for any other node. It makes no call, so the usual innermost
 * arithmetic (a column times a constant) needs no frame. */
inline bool arith_in_place(const ZNode* node, const void* row, double* v) {
    const int32_t type = node->type;
    if (type < Z_AADD || type > Z_ADIV || node->u.op.nargs < 2) return false;
    const ZNode* x = node->u.op.args[0];
    const ZNode* y = node->u.op.args[1];
    double a, b;
    if (!x || !y || !number_in_place(x, row, &a) || !number_in_place(y, row, &b)) return false;
    if (is_missing(a) || is_missing(b)) {
        *v = ordinary_missing();
    } else if (type == Z_AADD) {
        *v = a + b;
    } else if (type == Z_ASUB) {
        *v = a - b;
    } else if (type == Z_AMUL) {
        *v = a * b;
    } else {
        *v = b == 0.0 ? ordinary_missing() : a / b;
    }
    return true;
}

}  // namespace

/* A numeric operand that is neither a constant nor a plain numeric column. */
double num_operand_slow(EvalCtx* ctx, ZNode* x, const void* row) {
    double v;
    if (arith_in_place(x, row, &v)) return v;
    return number_by_call(ctx, x, row);
}

/* A binary search that always halves, so that rows that vary cost no mispredicted jumps. */
int32_t in_intervals_long(const int64_t* lows, const int64_t* highs, int32_t n, int64_t k) {
    const int64_t* base = lows;  // the last interval that starts at or below k, or the first
    for (int32_t len = n; len > 1;) {
        const int32_t half = len / 2;
        base = base[half] <= k ? base + half : base;
        len -= half;
    }
    const size_t i = static_cast<size_t>(base - lows);
    return (lows[i] <= k) & (k <= highs[i]);
}

namespace {

/* The binary search of do_ninop over the list's elements themselves. */
__attribute__((noinline)) int32_t search_elements(EvalCtx* ctx, double v, ZNode* list,
                                                  const void* row) {
    int32_t lo = 0;
    int32_t hi = list->u.op.nargs - 1;
    const ListReader elements(ctx->inst, list);
    bool down = true;
    while (lo <= hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        const ZNode* e = elements[mid];
        const int32_t type = e ? static_cast<int32_t>(e->type) : static_cast<int32_t>(Z_NULL);
        if (type == Z_LITN) {
            const int32_t c = num_compare(v, e->u.litn.num);
            if (c == kOrdEqual) return 1;
            down = c == kOrdLess;
        } else if (type >= Z_RANB && type <= Z_RANN) {
            const int32_t c = num_compare(v, number_of(ctx, e->u.op.args[0], row));
            if (c == kOrdLess || (c == kOrdEqual && (type == Z_RANH || type == Z_RANN))) {
                down = true;
            } else {
                const int32_t d = num_compare(v, number_of(ctx, e->u.op.args[1], row));
                if (d == kOrdGreater || (d == kOrdEqual && (type == Z_RANL || type == Z_RANN)))
                    down = false;
                else
                    return 1;
            }
        }
        if (down)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return 0;
}

}  // namespace

/* 1 when the value of x lies in the sorted, disjoint list: a LITN element is a point, a
 * RANB/RANL/RANH/RANN element the range between its operands 0 and 1 with the ends its
 * type includes. Binary search by the numeric order, so missing values are found only as
 * constants of the same missing value and lie below every range of numbers.
 * An element of another type (the transformer never leaves one) moves the search the way
 * the previous probe did; at the first probe it moves downward.
 * A list whose index holds its elements as intervals of order keys (every list of
 * constants and constant ranges a transformed clause has) is searched there instead, with
 * the same answer: the index is built only for lists sorted and disjoint by the same
 * order. */
int32_t do_ninop(EvalCtx* ctx, ZNode* x, ZNode* list, const void* row) {
    const double v = number_of(ctx, x, row);
    const int32_t n = list->u.op.nargs;
    if (n <= 0) return 0;
    int64_t k;
    if (const ListIndexEntry* e = list_index(ctx->inst, list); e && e->lows && order_key(v, &k))
        return in_intervals(e->lows, e->highs, n, k);
    return search_elements(ctx, v, list, row);
}
