/* The in-place cuts of a sorted set: the block table, the search for a comparison's constant,
 * the pieces of the elements at it, and the empty slots the cuts leave; see cutlist.h. */
#include "tran/cutlist.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <utility>

#include "frame/instance_tail.h"
#include "tran/passutil.h"
#include "tran/setsweep.h"

using tranutil::is_const;

namespace setsweep {

namespace {

/* Empty slots are closed once they are more than about twice the square root of the set's
 * length: a search may step over a run of them, a closing costs a pass over the set, and
 * that bound keeps both small. */
bool too_many(int32_t holes, int32_t n) {
    return holes > 32 && int64_t{holes} * holes > 4 * int64_t{n};
}

/* Makes sure the next `n` nodes taken from the store cannot fail: they are taken and given
 * back, so they wait at the head of the free list. */
bool reserve_nodes(ZInst* inst, int32_t n) {
    ZNode* taken = nullptr;
    bool ok = true;
    for (int32_t i = 0; i < n && ok; ++i) {
        ZNode* x = inst->NewOp(inst, Z_NULL);
        ok = x != nullptr;
        if (ok) {
            x->u.op.next = taken;
            taken = x;
        }
    }
    while (taken) {
        ZNode* next = taken->u.op.next;
        inst->FreeOp(inst, taken);
        taken = next;
    }
    return ok;
}

}  // namespace

CutList::~CutList() {
    if (blocks_) inst_->pool->Free(inst_->pool, blocks_);
}

/* Room in the table for one block more. */
bool CutList::room() {
    if (nblocks_ < capacity_) return true;
    const int64_t cap = capacity_ ? 2 * int64_t{capacity_} : 16;
    const uint64_t bytes = static_cast<uint64_t>(cap) * sizeof(ZNode*);
    if (bytes > UINT32_MAX) return false;
    auto* fresh =
        static_cast<ZNode**>(inst_->pool->Alloc(inst_->pool, static_cast<uint32_t>(bytes), 0));
    if (!fresh) return false;
    if (blocks_) {
        std::memcpy(fresh, blocks_, static_cast<size_t>(nblocks_) * sizeof *fresh);
        inst_->pool->Free(inst_->pool, blocks_);
    }
    blocks_ = fresh;
    capacity_ = static_cast<int32_t>(cap);
    return true;
}

bool CutList::load() {
    nblocks_ = 0;
    for (ZNode* b = set_; b; b = b->u.op.next) {
        if (!room()) return false;
        blocks_[nblocks_++] = b;
    }
    return true;
}

bool CutList::attach(ZNode* set, int32_t kind) {
    set_ = set;
    kind_ = kind;
    holes_ = 0;
    if (load()) return true;
    set_ = nullptr;
    return false;
}

void CutList::close() {
    if (set_ && holes_ > 0) compact();
    set_ = nullptr;
}

void CutList::compact() {
    yowcln(set_, inst_);
    holes_ = 0;
    load();  // the chain only got shorter: the table has room
}

/* The set keeps its first n slots; the blocks after the one that holds the last go back to
 * the node store. */
void CutList::truncate(int32_t n) {
    set_->u.op.nargs = n;
    const int32_t keep = n > 0 ? (n - 1) / Z_NODE_ARGS + 1 : 1;
    if (keep >= nblocks_) return;
    blocks_[keep - 1]->u.op.next = nullptr;
    for (int32_t d = keep; d < nblocks_; ++d) inst_->FreeOp(inst_, blocks_[d]);
    nblocks_ = keep;
    forget_append_cursor(inst_);
}

/* Stores node at position pos, the elements from there on moving up one slot; the block it
 * may need was reserved with the node store and the table. */
void CutList::insert(int32_t pos, ZNode* node) {
    const int32_t n = set_->u.op.nargs;
    if (n > 0 && n % Z_NODE_ARGS == 0 && nblocks_ <= n / Z_NODE_ARGS) {
        ZNode* fresh = inst_->NewOp(inst_, Z_NULL);
        assert(fresh != nullptr && nblocks_ < capacity_);
        blocks_[nblocks_ - 1]->u.op.next = fresh;
        blocks_[nblocks_++] = fresh;
        forget_append_cursor(inst_);
    }
    set_->u.op.nargs = n + 1;
    slot(n) = nullptr;
    for (int32_t i = pos; i <= n; ++i) std::swap(slot(i), node);
    assert(node == nullptr);
}

/* The first position whose element does not lie wholly below k, or the count: a binary
 * search for the first block whose last element (or the last one before it, past empty
 * slots) does not, then a scan of that block. */
int32_t CutList::first_not_below(const ZNode* k) const {
    const int32_t n = set_->u.op.nargs;
    int32_t lo = 0;
    int32_t hi = (n + Z_NODE_ARGS - 1) / Z_NODE_ARGS;
    while (lo < hi) {
        const int32_t mid = lo + (hi - lo) / 2;
        int32_t i = std::min(n, (mid + 1) * Z_NODE_ARGS) - 1;
        while (i >= 0 && !slot(i)) --i;
        if (i < 0 || order(top(slot(i)), k) < 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    for (int32_t i = lo * Z_NODE_ARGS; i < n; ++i)
        if (slot(i) && order(top(slot(i)), k) >= 0) return i;
    return n;
}

/* The elements wholly below k stay when the comparison holds below k and go otherwise,
 * likewise those above; the elements that reach k (two at most, in a sorted set whose
 * elements are apart) give way to the pieces IntersectIneqWithRange leaves of them. In
 * ascending order and apart, those are the elements the walk appends to its new set. */
int32_t CutList::cut(NQJournal* jnl, ZNode* comparison) {
    assert(set_ != nullptr);
    const int32_t type = comparison->type;
    if (type < Z_CNE || type > Z_CGE || comparison->u.op.nargs < 2) return -1;
    ZNode* k = comparison->u.op.args[1];
    Order o(kind_);
    // Nothing below may fail: room for a block more, and nodes for two fresh ranges, two
    // copies of three nodes and the block.
    if (!o.admit(k) || !room() || !reserve_nodes(inst_, 12)) return -1;

    const int32_t mask = ineq_mask(type);
    const int32_t n = set_->u.op.nargs;
    const int32_t at = first_not_below(k);
    ZNode* pieces[2];
    int32_t np = 0;
    int32_t end = at; /* past the last element that reaches k */
    [[maybe_unused]] int32_t hits = 0;
    for (int32_t i = at; i < n; ++i) {
        ZNode*& e = slot(i);
        if (!e) continue;
        if (order(bottom(e), k) > 0) break;
        ++hits;
        assert(hits <= 2);
        if (is_const(e)) {
            if ((yowccmp(e, k, 2, 0) & mask) != 0) {
                pieces[np++] = e;
                e = nullptr;
            }
        } else {
            ZNode* second = nullptr;
            ZNode* first = IntersectIneqWithRange(inst_, jnl, comparison, e, &second);
            for (ZNode* p : {first, second}) {
                if (!p) continue;
                assert(np < 2);
                pieces[np++] = CopyTree(p, inst_, jnl);
                release_piece(inst_, p);
            }
        }
        FreeTree(&e, inst_, jnl);
        ++holes_;
        end = i + 1;
    }

    // The pieces take the empty slots of that stretch in order; the second half of a range
    // cut in two takes the slot after it when that is empty, or the elements from there
    // move up one.
    for (int32_t p = 0, w = at; p < np; ++p) {
        while (w < end && slot(w)) ++w;
        if (w < end) {
            slot(w++) = pieces[p];
            --holes_;
        } else if (end < set_->u.op.nargs && !slot(end)) {
            slot(end) = pieces[p];
            --holes_;
        } else {
            insert(end, pieces[p]);
        }
    }

    if ((mask & kCmpLess) == 0) {
        for (int32_t i = 0; i < at; ++i) {
            if (slot(i)) {
                FreeTree(&slot(i), inst_, jnl);
                ++holes_;
            }
        }
    }
    if ((mask & kCmpGreater) == 0) {
        for (int32_t i = end; i < n; ++i) {
            if (slot(i))
                FreeTree(&slot(i), inst_, jnl);
            else
                --holes_;
        }
        truncate(end);
    }
    const int32_t live = set_->u.op.nargs - holes_;
    if (live > 0 && too_many(holes_, set_->u.op.nargs)) compact();
    return live;
}

}  // namespace setsweep
