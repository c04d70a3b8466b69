/* Binary searches of a character value in a sorted IN list: the full search over
 * constants and ranges (blank-padded order, through the collating service when there is
 * one), and the truncated search, where a prefix of either side is a match. */
#include <algorithm>
#include <cwchar>

#include "eval/eval.h"

namespace {

constexpr bool is_range(int32_t type) {
    return type >= Z_RANB && type <= Z_RANN;
}
constexpr bool low_excluded(int32_t type) {
    return type == Z_RANH || type == Z_RANN;
}
constexpr bool high_excluded(int32_t type) {
    return type == Z_RANL || type == Z_RANN;
}

/* What the search answers at one element: found, or the half to go on in. */
enum class Step { kFound, kDown, kUp, kKeep };

/* x (nx characters) against a range element with character bounds, ends excluded by type. */
Step against_range(EvalCtx* ctx, const NQWChar* x, int32_t nx, ZNode* range, const void* row) {
    ZNode scratch; /* reused: each bound's value is done with before the next is read */
    const CharVal lo = char_operand(ctx, range->u.op.args[0], row, &scratch);
    int32_t c = char_compare(ctx->inst, x, nx, lo.str, lo.bytes / 4);
    if (c == kOrdLess || (c == kOrdEqual && low_excluded(range->type))) return Step::kDown;
    const CharVal hi = char_operand(ctx, range->u.op.args[1], row, &scratch);
    c = char_compare(ctx->inst, x, nx, hi.str, hi.bytes / 4);
    if (c == kOrdGreater || (c == kOrdEqual && high_excluded(range->type))) return Step::kUp;
    return Step::kFound;
}

/* The first n characters of x against those of an element: negative, 0 or positive. */
int prefix_order(const ZInst* inst, const NQWChar* x, const NQWChar* e, int32_t n) {
    if (n <= 0) return 0;
    if (NQCollator* c = inst->options2; c != nullptr) return c->Compare(c, x, n, e, n, 1);
    return std::wmemcmp(reinterpret_cast<const wchar_t*>(x), reinterpret_cast<const wchar_t*>(e),
                        static_cast<size_t>(n));
}

}  // namespace

/* The numeric search's binary search with character comparisons. An element that is
 * neither a constant nor a range (none is left in a transformed tree) keeps the direction
 * of the previous step; at the first probe it sends the search downward, as the numeric
 * search does. The list reader is made once, so its index check is paid once per search. */
int32_t do_cinop(EvalCtx* ctx, ZNode* x, ZNode* list, const void* row) {
    ZNode sx;
    const CharVal v = char_operand(ctx, x, row, &sx);
    const int32_t nx = v.bytes / 4;
    int32_t lo = 0, hi = list->u.op.nargs - 1;
    const ListReader elements(ctx->inst, list);
    bool down = true;
    while (lo <= hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        ZNode* e = elements[mid];
        Step step = Step::kKeep;
        if (e == nullptr) {
            /* no element: keep the direction */
        } else if (e->type == Z_LITC) {
            const int32_t c = char_compare(ctx->inst, v.str, nx, e->u.litc.str, e->u.litc.slen / 4);
            step = c == kOrdEqual ? Step::kFound : c == kOrdLess ? Step::kDown : Step::kUp;
        } else if (is_range(e->type)) {
            step = against_range(ctx, v.str, nx, e, row);
        }
        if (step == Step::kFound) return 1;
        if (step != Step::kKeep) down = step == Step::kDown;
        if (down)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return 0;
}

/* Truncated search: x and an element match when they agree over the shorter of their
 * lengths, so x matches an element it is a prefix of, or one that is a prefix of it. The
 * list is searched as a sorted list of constants; any other element ends the search. */
int32_t do_tinop(EvalCtx* ctx, ZNode* x, ZNode* list, const void* row) {
    ZNode sx;
    const CharVal v = char_operand(ctx, x, row, &sx);
    const int32_t nx = v.bytes / 4;
    int32_t lo = 0, hi = list->u.op.nargs - 1;
    const ListReader elements(ctx->inst, list);
    while (lo <= hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        const ZNode* e = elements[mid];
        if (e == nullptr || e->type != Z_LITC) return 0;
        const int r =
            prefix_order(ctx->inst, v.str, e->u.litc.str, std::min(nx, e->u.litc.slen / 4));
        if (r == 0) return 1;
        if (r < 0)
            hi = mid - 1;
        else
            lo = mid + 1;
    }
    return 0;
}
