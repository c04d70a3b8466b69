/* Sets kept sorted and disjoint: the sort of a set's elements (by their keys in a flat
 * array, or by an in-place quicksort over its chained blocks), the merge of neighbouring
 * elements that overlap, and the comparison and range test that serve them. */
#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <utility>

#include "frame/missing.h"
#include "frame/nodeutil.h"
#include "tran/passutil.h"
#include "tran/setpos.h"
#include "tran/tran.h"

using namespace tranutil;
using namespace setpos;

namespace {

/* The sort key: a constant itself, a range its low bound. */
const ZNode* sort_key(const ZNode* e) {
    return is_range(e) ? arg(e, 0) : e;
}

struct Sorter {
    ZInst* inst;
    NQJournal* jnl;

    bool less(ZNode* x, ZNode* y) const { return NodeCompare(inst, jnl, x, y) == 2; }

    /* Straight insertion of lo..hi: each element moves left past the greater ones. */
    void insertion(const SetPos& lo, const SetPos& hi) const {
        if (hi.index <= lo.index) return;
        SetPos k = lo;
        for (forward(k); k.index <= hi.index; forward(k)) {
            ZNode* v = at(k);
            SetPos dst = k;
            SetPos p = k;
            backward(p);
            while (p.index >= lo.index && less(v, at(p))) {
                at(dst) = at(p);
                dst = p;
                backward(p);
            }
            at(dst) = v;
        }
    }

    /* Heapsort of lo..hi through a scratch array: the fallback that bounds the quicksort at
     * n log n. False when the pool refuses the array; the quicksort then goes on (still
     * right, only slower). A comparison that is not a strict weak order (keys of different
     * kinds) leaves some order, never an index out of bounds. */
    bool heapsort(const SetPos& lo, const SetPos& hi) const {
        const int32_t n = hi.index - lo.index + 1;
        PoolArray<ZNode*> a(inst, n);
        if (!a.ok()) return false;
        SetPos p = lo;
        for (int32_t k = 0; k < n; ++k, forward(p)) a[k] = at(p);
        auto sift = [&](int32_t root, int32_t end) {
            for (int32_t child; (child = 2 * root + 1) < end; root = child) {
                if (child + 1 < end && less(a[child], a[child + 1])) ++child;
                if (!less(a[root], a[child])) return;
                std::swap(a[root], a[child]);
            }
        };
        for (int32_t k = n / 2 - 1; k >= 0; --k) sift(k, n);
        for (int32_t end = n - 1; end > 0; --end) {
            std::swap(a[0], a[end]);
            sift(0, end);
        }
        p = lo;
        for (int32_t k = 0; k < n; ++k, forward(p)) at(p) = a[k];
        return true;
    }

    /* Median-of-three quicksort with an explicit stack; segments of up to 8 elements are
     * finished by insertion. The larger part is always the one pushed, so the stack holds
     * fewer entries than the base-2 logarithm of the element count. Inputs that defeat the
     * median of three (two sorted runs interleaved, as the union of two lists leaves them)
     * would make it quadratic: a segment split more than twice the logarithm of the count
     * times is heapsorted instead. */
    void sort(SetPos lo, SetPos hi) const {
        struct Segment {
            SetPos lo, hi;
            int32_t depth;
        };
        Segment stack[32];
        int32_t top = 0;
        int32_t limit = 0;
        for (int32_t n = hi.index - lo.index + 1; n > 1; n >>= 1) limit += 2;
        int32_t depth = 0;
        for (;;) {
            if (hi.index - lo.index > 7 && !(depth > limit && heapsort(lo, hi))) {
                SetPos m;
                MIDPOS(&lo, &hi, &m);
                SetPos lo1 = lo;
                forward(lo1);
                std::swap(at(lo1), at(m));
                if (less(at(hi), at(lo1))) std::swap(at(lo1), at(hi));
                if (less(at(hi), at(lo))) std::swap(at(lo), at(hi));
                if (less(at(lo), at(lo1))) std::swap(at(lo), at(lo1));
                // Element lo is the pivot; lo+1 is not above it and hi not below it, so the
                // scans stop there at the latest. The bounds tests only matter for elements
                // that are not ordered among themselves (mixed kinds, unordered numbers).
                ZNode* pivot = at(lo);
                SetPos i = lo1;
                SetPos j = hi;
                for (;;) {
                    do forward(i);
                    while (i.index < hi.index && less(at(i), pivot));
                    do backward(j);
                    while (j.index > lo1.index && less(pivot, at(j)));
                    if (j.index < i.index) break;
                    std::swap(at(i), at(j));
                }
                at(lo) = at(j);
                at(j) = pivot;
                SetPos left_hi = j;
                backward(left_hi);
                assert(top < 32);
                ++depth;
                if (hi.index - i.index + 1 < j.index - lo.index) {
                    stack[top++] = {lo, left_hi, depth};
                    lo = i;
                } else {
                    stack[top++] = {i, hi, depth};
                    hi = left_hi;
                }
            } else {
                if (hi.index - lo.index <= 7) insertion(lo, hi);
                if (top == 0) return;
                --top;
                lo = stack[top].lo;
                hi = stack[top].hi;
                depth = stack[top].depth;
            }
        }
    }
};

struct Merger {
    ZInst* inst;
    NQJournal* jnl;

    void release(ZNode*& slot) const { FreeTree(&slot, inst, jnl); }

    /* Range e is folded into range c (c's low bound is not above e's). False when they are
     * apart: c ends below e's start, or both leave out the one point they share. */
    bool merge_ranges(ZNode* c, ZNode*& eslot) const {
        ZNode* e = eslot;
        const int32_t cb = RangeBits(c->type);
        const int32_t eb = RangeBits(e->type);
        const int32_t touch = yowccmp(arg(c, 1), arg(e, 0), 1, 0);
        if (touch == kCmpLess) return false;
        if (touch == kCmpEqual && (cb & 2) && (eb & 1)) return false;
        int32_t bits = cb;
        if (yowccmp(arg(c, 0), arg(e, 0), 1, 0) == kCmpEqual) bits = (cb & eb & 1) | (bits & 2);
        const int32_t high = yowccmp(arg(c, 1), arg(e, 1), 1, 0);
        if (high == kCmpLess) {
            // c takes e's high end; its old high bound leaves with e.
            std::swap(c->u.op.args[1], e->u.op.args[1]);
            bits = (bits & 1) | (eb & 2);
        } else if (high == kCmpEqual) {
            bits = (bits & 1) | (cb & eb & 2);
        }
        c->type = static_cast<uint16_t>(RangeCode(bits));
        release(eslot);
        return true;
    }

    /* Folds the elements that follow position `cur` into the element there while they
     * overlap it; returns the position that stopped the scan (or the end). */
    SetPos absorb(SetPos cur, int32_t nargs, int32_t& changed) const {
        ZNode* c = at(cur);
        SetPos p = cur;
        for (forward(p); p.index < nargs; forward(p)) {
            ZNode*& eslot = at(p);
            ZNode* e = eslot;
            if (!e) {
                changed = 1;
                continue;
            }
            if (e == c) {
                eslot = nullptr;
            } else if (is_const(c) && is_const(e)) {
                if (yowccmp(c, e, 1, 0) != kCmpEqual) break;
                release(eslot);
            } else if (is_const(c) && is_range(e)) {
                const int32_t w = point_in_range_wh(e, c);
                if (w != 2 && w != 4 && w != 8) break;
                release(at(cur));
                at(cur) = e;
                eslot = nullptr;
                c = e;
            } else if (is_range(c) && is_const(e)) {
                const int32_t w = point_in_range_wh(c, e);
                if (w != 2 && w != 4 && w != 8) break;
                release(eslot);
            } else if (is_range(c) && is_range(e)) {
                if (!merge_ranges(c, eslot)) break;
            } else {
                break;  // an element of another kind has no place in the order
            }
            changed = 1;
        }
        return p;
    }

    int32_t merge(ZNode* set) const {
        const int32_t nargs = set->u.op.nargs;
        int32_t changed = 0;
        SetPos cur = first(set);
        while (cur.index < nargs - 1) {
            if (!at(cur)) {
                changed = 1;
                forward(cur);
                continue;
            }
            cur = absorb(cur, nargs, changed);
        }
        return changed;
    }
};

}  // namespace

void MIDPOS(const SetPos* lo, const SetPos* hi, SetPos* out) {
    const int32_t index = lo->index + (hi->index - lo->index) / 2;
    int32_t slot = lo->slot + (index - lo->index);
    ZNode* block = lo->block;
    for (; slot >= Z_NODE_ARGS; slot -= Z_NODE_ARGS) block = block->u.op.next;
    *out = SetPos{block, slot, index};
}

/* 2 when the key of x (the constant, or a range's low bound) sorts before the key of y,
 * else 0; empty slots sort last. The kind of x's key decides how the two are compared; a
 * key of the other kind is never read as this kind, and such a pair is not less. */
int32_t NodeCompare(ZInst*, NQJournal*, ZNode* x, ZNode* y) {
    if (!x) return 0;
    if (!y) return 2;
    const ZNode* kx = sort_key(x);
    const ZNode* ky = sort_key(y);
    if (!kx || !ky) return 0;
    if (kx->type == Z_LITN) {
        if (ky->type != Z_LITN) return 0;
        const int32_t rx = missing_rank(kx->u.litn.num);
        const int32_t ry = missing_rank(ky->u.litn.num);
        if (rx == 0 && ry == 0) return kx->u.litn.num < ky->u.litn.num ? 2 : 0;
        if (rx == 0) return 0;
        return ry == 0 || ry > rx ? 2 : 0;
    }
    if (kx->type == Z_LITC && ky->type == Z_LITC)
        return nqzscom(kx->u.litc.str, kx->u.litc.slen / 4, ky->u.litc.str, ky->u.litc.slen / 4) < 0
                   ? 2
                   : 0;
    return 0;
}

/* Where point lies against range: 1 below, 2 inside (an included end counts), 4 or 8 on
 * the excluded low or high end, which the range then includes, 0 above or not comparable. */
int32_t point_in_range_wh(ZNode* range, ZNode* point) {
    const int32_t bits = RangeBits(range->type);
    switch (yowccmp(point, arg(range, 0), 2, 0)) {
        case kCmpLess:
            return 1;
        case kCmpEqual:
            if (!(bits & 1)) return 2;
            range->type = static_cast<uint16_t>(RangeCode(bits & ~1));
            return 4;
        case kCmpGreater:
            switch (yowccmp(point, arg(range, 1), 1, 0)) {
                case kCmpLess:
                    return 2;
                case kCmpEqual:
                    if (!(bits & 2)) return 2;
                    range->type = static_cast<uint16_t>(RangeCode(bits & ~2));
                    return 8;
                default:
                    return 0;
            }
        default:
            return 0;
    }
}

namespace {

/* An element of a set with its sort key taken out, for sorting in a flat array: a number
 * with its missing-value rank made an order (numbers after every missing value), or a
 * character key's text. */
struct Keyed {
    ZNode* node;
    int32_t index; /* the element's place in the set, which breaks ties */
    int32_t order; /* missing rank 1 to 28, or 29 for a number */
    double num;
    const NQWChar* str;
    int32_t chars;
};

constexpr int32_t kNumberOrder = 29;

/* NodeCompare's order on the extracted keys, ties broken by the place in the set. */
bool keyed_less_num(const Keyed& x, const Keyed& y) {
    if (x.order != y.order) return x.order < y.order;
    if (x.order == kNumberOrder && x.num != y.num) return x.num < y.num;
    return x.index < y.index;
}
bool keyed_less_chr(const Keyed& x, const Keyed& y) {
    const int32_t c = nqzscom(x.str, x.chars, y.str, y.chars);
    return c != 0 ? c < 0 : x.index < y.index;
}

/* Sorts the set as NodeCompare orders it, in a flat array of keys: a large IN list is
 * sorted without a walk over the chained blocks and a call per comparison, and a set that
 * is sorted already (as it is in every cycle after the first) costs one pass. Elements of
 * equal keys keep their order. False, with the set untouched, when the keys are not all
 * numbers that are ordered among themselves (no NaN that is no missing value) or all
 * character values: NodeCompare is then no strict order, which the library's sort needs,
 * and the Sorter above does the work. False as well when the pool refuses the array. */
bool sort_flat(ZNode* node, ZInst* inst, NQJournal* jnl) {
    int32_t kind = 0; /* Z_LITN or Z_LITC once an element is seen */
    int32_t elements = 0;
    bool sorted = true;
    bool hole = false; /* an empty slot seen: any element after it is out of place */
    ZNode* prev = nullptr;
    for (ArgCursor cur(node); !cur.done(); cur.next()) {
        ZNode* e = cur.get();
        if (!e) {
            hole = true;
            continue;
        }
        const ZNode* key = sort_key(e);
        if (!key || (key->type != Z_LITN && key->type != Z_LITC)) return false;
        if (kind == 0) kind = key->type;
        if (key->type != kind) return false;
        if (kind == Z_LITN && missing_rank(key->u.litn.num) == 0 &&
            key->u.litn.num != key->u.litn.num)
            return false;
        if (hole || (prev && NodeCompare(inst, jnl, e, prev) == 2)) sorted = false;
        prev = e;
        ++elements;
    }
    if (sorted) return true;
    PoolArray<Keyed> keyed(inst, elements);
    if (!keyed.ok()) return false;
    int32_t n = 0;
    for (ArgCursor cur(node); !cur.done(); cur.next()) {
        ZNode* e = cur.get();
        if (!e) continue;
        const ZNode* key = sort_key(e);
        Keyed& k = keyed[n++];
        k = Keyed{e, n - 1, kNumberOrder, 0.0, nullptr, 0};
        if (kind == Z_LITN) {
            const int32_t rank = missing_rank(key->u.litn.num);
            k.order = rank == 0 ? kNumberOrder : rank;
            k.num = key->u.litn.num;
        } else {
            k.str = key->u.litc.str;
            k.chars = key->u.litc.slen / 4;
        }
    }
    assert(n == elements);
    std::sort(keyed.data(), keyed.data() + n, kind == Z_LITN ? keyed_less_num : keyed_less_chr);
    int32_t i = 0;
    for (ArgCursor cur(node); !cur.done(); cur.next(), ++i)
        cur.slot() = i < n ? keyed[i].node : nullptr;
    return true;
}

}  // namespace

/* Sorts a set's elements by their keys and merges neighbours that overlap or touch; empty
 * slots go last and are removed. Returns 1 when elements were merged or empty slots
 * removed; the reordering alone is no change, so a sorted set gives 0 every cycle. */
int32_t do_set(ZNode* node, ZInst* inst, NQJournal* jnl) {
    const int32_t nargs = node->u.op.nargs;
    if (nargs < 2) return 0;
    if (!sort_flat(node, inst, jnl)) {
        link_prev_blocks(node);
        Sorter{inst, jnl}.sort(first(node), position(node, nargs - 1));
        clear_prev_blocks(node);
    }
    const int32_t changed = Merger{inst, jnl}.merge(node);
    if (changed) yowcln(node, inst);
    return changed;
}
