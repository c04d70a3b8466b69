/* Pass 3: the operands of every AND and OR are put in ascending order of their estimated
 * cost (`weight`), and every node's weight is summed into its parent's, so that afterwards
 * only the root carries the cost of the whole tree. */
#include <algorithm>
#include <cstdint>
#include <utility>

#include "frame/nodeutil.h"
#include "tran/passutil.h"
#include "tran/tran.h"

using namespace tranutil;

namespace {

constexpr int32_t kMaxWeight = 32767;

bool heavier(const ZNode* a, const ZNode* b) {
    return a->weight > b->weight;
}

/* Stable merge sort by weight of a[0..n-1], with tmp of n entries. */
void sort_run(ZNode** a, ZNode** tmp, int32_t n) {
    for (int32_t width = 1; width < n; width *= 2) {
        for (int32_t lo = 0; lo < n - width; lo += 2 * width) {
            const int32_t mid = lo + width;
            const int32_t hi = std::min(lo + 2 * width, n);
            if (!heavier(a[mid - 1], a[mid])) continue;  // already in order
            int32_t i = lo, j = mid, k = 0;
            while (i < mid && j < hi) tmp[k++] = heavier(a[i], a[j]) ? a[j++] : a[i++];
            while (i < mid) tmp[k++] = a[i++];
            while (j < hi) tmp[k++] = a[j++];
            for (int32_t m = 0; m < k; ++m) a[lo + m] = tmp[m];
        }
    }
}

/* The bubble sort's own sweeps, used when no scratch memory can be had: adjacent pairs of
 * non-empty slots, the heavier one moved right, until a sweep swaps nothing. */
int32_t bubble(ZNode* node) {
    int32_t swapped = 0;
    for (bool again = true; again;) {
        again = false;
        ArgCursor cur(node);
        ZNode** left = &cur.slot();
        for (cur.next(); !cur.done(); cur.next()) {
            ZNode** right = &cur.slot();
            if (*left && *right && heavier(*left, *right)) {
                std::swap(*left, *right);
                again = true;
                swapped = 1;
            }
            left = right;
        }
    }
    return swapped;
}

/* Orders the operands by weight, ascending, equal weights keeping their order. This is the
 * bubble sort of adjacent non-empty slots: a pair is swapped only when both slots are
 * filled, so no operand ever crosses an empty slot, and each run of filled slots between
 * empty ones ends up stably sorted on its own. A stable sort of each run gives exactly that
 * result in n log n steps. Returns 1 if the order changed. */
int32_t order_by_weight(ZNode* node, ZInst* inst) {
    const int32_t n = node->u.op.nargs;
    if (n < 2) return 0;
    PoolArray<ZNode*> buf(inst, 2 * static_cast<int64_t>(n));
    if (!buf.ok()) return bubble(node);
    ZNode** a = buf.data();
    ZNode** tmp = a + n;
    bool inverted = false;
    int32_t i = 0;
    for (ArgCursor cur(node); !cur.done(); cur.next(), ++i) {
        a[i] = cur.get();
        if (i > 0 && a[i - 1] && a[i] && heavier(a[i - 1], a[i])) inverted = true;
    }
    if (!inverted) return 0;
    for (int32_t lo = 0; lo < n;) {
        if (!a[lo]) {
            ++lo;
            continue;
        }
        int32_t hi = lo;
        while (hi < n && a[hi]) ++hi;
        sort_run(a + lo, tmp, hi - lo);
        lo = hi;
    }
    i = 0;
    for (ArgCursor cur(node); !cur.done(); cur.next(), ++i) cur.slot() = a[i];
    return 1;
}

/* The cost of a node: a column or constant by its length (a numeric one counts 2), any
 * other leaf 1, an operator the sum of its operands' costs, an IN/NIN list once more for
 * every further element. The operands' weights are cleared as they are taken up. */
int32_t own_weight(ZNode* node) {
    const int32_t type = node->type;
    if (zkind::is_leaf(type)) {
        if (type == Z_NAME || type == Z_LITN || type == Z_LITC)
            return node->vlen >= 0 ? node->vlen / 4 : 2;
        return 1;
    }
    int64_t w = 0;
    if (type == Z_IN || type == Z_NIN) {
        const ZNode* x = arg(node, 0);
        const ZNode* list = arg(node, 1);
        if (x && list && zkind::is_operator(list->type))
            w = int64_t{x->weight} * (list->u.op.nargs - 1);
    }
    for (ArgCursor cur(node); !cur.done(); cur.next()) {
        if (ZNode* a = cur.get()) {
            w += a->weight;
            a->weight = 0;
        }
    }
    return static_cast<int32_t>(std::max<int64_t>(std::min<int64_t>(w, kMaxWeight), INT16_MIN));
}

}  // namespace

/* Orders the operands of an AND/OR by cost and sets the node's own weight. Returns 1 if
 * operands were reordered. */
int32_t pass3(ZNode* node, ZInst* inst, NQJournal*) {
    int32_t swapped = 0;
    if (node->type == Z_LOR || node->type == Z_LAND) swapped = order_by_weight(node, inst);
    node->weight = static_cast<int16_t>(own_weight(node));
    return swapped;
}
