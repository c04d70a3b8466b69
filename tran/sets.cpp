/* Sets: a SET node whose operands (15 in the head, 15 in each overflow block) are points
 * and ranges in ascending order, pairwise disjoint and not touching. Adding an element
 * with that order kept, membership, union of sets, and the compaction of the null slots
 * that the other operations leave behind; intersection and difference are in setsweep.cpp,
 * beside their fast forms.
 *
 * Every walk over a set goes once through its blocks, front to back. Operations that put
 * elements in a set for good store deep copies; nodes they drop without releasing (a
 * merged range, the working copy of an added range) may still be reachable from a caller's
 * tree, and go with the arena at reset. */
#include <cassert>
#include <utility>

#include "frame/instance_tail.h"
#include "frame/nodekinds.h"
#include "frame/nodeutil.h"
#include "tran/algebra.h"
#include "tran/setsweep.h"
#include "tran/tran.h"

namespace {

bool is_point(const ZNode* n) {
    return n != nullptr && zkind::is_constant(n->type);
}
bool is_range(const ZNode* n) {
    return n != nullptr && zkind::is_range(n->type);
}

/* The block of node's chain that holds position pos, or null when the chain is shorter. */
ZNode* block_of(ZNode* node, int32_t pos) {
    for (int32_t d = pos / Z_NODE_ARGS; d > 0 && node != nullptr; --d) node = node->u.op.next;
    return node;
}

/* The slot of position i + 1, given the block that holds position i. */
ZNode** slot_after(ZNode* block, int32_t i) {
    const int32_t k = (i + 1) % Z_NODE_ARGS;
    if (k != 0) return &block->u.op.args[k];
    return block->u.op.next ? &block->u.op.next->u.op.args[0] : nullptr;
}

/* A new, empty SET with the vlen of the set it is made from. */
ZNode* new_set(ZInst* inst, const ZNode* like) {
    ZNode* s = inst->NewOp(inst, Z_SET);
    if (s != nullptr && like != nullptr) s->vlen = like->vlen;
    return s;
}

/* A range that a point has just closed an end of may now touch its neighbour in the
 * slot given: the neighbour is taken out, added again (merging with it if so) and
 * released. A slot that holds no range is left alone. The nested AddToSet adds a range,
 * which never comes back here: the recursion is one level deep. */
void readd_neighbour(ZInst* inst, NQJournal* jnl, ZNode* s, ZNode** slot) {
    ZNode* r = slot ? *slot : nullptr;
    if (!is_range(r)) return;
    *slot = nullptr;
    AddToSet(inst, jnl, s, r);
    FreeTree(&r, inst, jnl);
}

void add_point(ZInst* inst, NQJournal* jnl, ZNode* s, ZNode* x) {
    ZNode** prev = nullptr; /* the slot of position i - 1 */
    for (ArgCursor c(s); !c.done(); c.next()) {
        ZNode* e = c.get();
        const int32_t i = c.index();
        if (is_point(e)) {
            const int32_t r = cmp(x, e, 1);
            if (r == kCmpLess) return Insert(inst, jnl, s, i, x);
            if (r == kCmpEqual) return;
        } else if (is_range(e)) {
            switch (PointInRange_WH(e, x)) {
                case 1:
                    return Insert(inst, jnl, s, i, x);
                case 2:
                    return;
                case 4: /* e now includes x as its low end */
                    if (i >= 1) readd_neighbour(inst, jnl, s, prev);
                    return;
                case 8: /* e now includes x as its high end */
                    if (i < s->u.op.nargs - 1)
                        readd_neighbour(inst, jnl, s, slot_after(c.block(), i));
                    return;
                default:
                    break;
            }
        }
        prev = &c.slot();
    }
    inst->Set(inst, s, -1, CopyTree(x, inst, jnl));
}

void add_range(ZInst* inst, NQJournal* jnl, ZNode* s, ZNode* x) {
    ZNode* n = CopyTree(x, inst, jnl);
    if (n == nullptr) return;
    ZNode* nl = range_lo(n);
    ZNode* nh = range_hi(n);
    int32_t pos = s->u.op.nargs;
    for (ArgCursor c(s); !c.done(); c.next()) {
        ZNode* e = c.get();
        if (is_point(e)) {
            // n may close an end on e; a point inside n (or now at its end) goes.
            if (PointInRange_WH(n, e) >= 2) {
                FreeTree(&c.slot(), inst, jnl);
            } else if (cmp(nh, e, 1) == kCmpLess) {
                pos = c.index();
                break;
            }
            continue;
        }
        if (!is_range(e)) continue;
        const int32_t nb = RangeBits(n->type);
        const int32_t eb = RangeBits(e->type);
        ZNode* el = range_lo(e);
        ZNode* eh = range_hi(e);
        // n below e, or sharing with it a point that neither includes: n goes here.
        const int32_t above = cmp(nh, el, 1);
        if (above == kCmpLess ||
            (above == kCmpEqual && (eb & kLowExcluded) && (nb & kHighExcluded))) {
            pos = c.index();
            break;
        }
        // e below n, likewise apart.
        const int32_t below = cmp(eh, nl, 1);
        if (below == kCmpLess ||
            (below == kCmpEqual && (eb & kHighExcluded) && (nb & kLowExcluded)))
            continue;
        // Overlapping or touching: n grows to cover e, whose slot empties.
        int32_t bits = nb;
        const int32_t low = cmp(el, nl, 1);
        if (low == kCmpLess) {
            copy_record(nl, el);
            bits = (bits & ~kLowExcluded) | (eb & kLowExcluded);
        } else if (low == kCmpEqual) {
            bits = (bits & ~kLowExcluded) | (nb & eb & kLowExcluded);
        }
        const int32_t high = cmp(nh, eh, 1);
        if (high == kCmpLess) {
            copy_record(nh, eh);
            bits = (bits & ~kHighExcluded) | (eb & kHighExcluded);
        } else if (high == kCmpEqual) {
            bits = (bits & ~kHighExcluded) | (nb & eb & kHighExcluded);
        }
        n->type = static_cast<uint16_t>(RangeCode(bits));
        c.slot() = nullptr;
    }
    Insert(inst, jnl, s, pos, n);
}

}  // namespace

/* 1 when p equals a point of s or lies in one of its ranges. */
int32_t PointInSet(ZNode* point, ZNode* set) {
    for (ArgCursor c(set); !c.done(); c.next()) {
        ZNode* e = c.get();
        if (is_point(e) && cmp(point, e, 1) == kCmpEqual) return 1;
        if (is_range(e) && PointInRange_YN(point, e)) return 1;
    }
    return 0;
}

/* Adds a copy of x to s keeping s sorted, disjoint and without touching ranges: a point
 * inside a range is dropped, a point at an excluded end closes that end, a range absorbs
 * the points and ranges it overlaps or touches. Any element goes into an empty set; only
 * points and ranges into a set that has elements, anything else ends the process. */
void AddToSet(ZInst* inst, NQJournal* jnl, ZNode* set, ZNode* element) {
    if (element == nullptr) return;
    if (set->u.op.nargs == 0) {
        inst->Set(inst, set, -1, CopyTree(element, inst, jnl));
        return;
    }
    if (is_point(element)) return add_point(inst, jnl, set, element);
    if (is_range(element)) return add_range(inst, jnl, set, element);
    // Without a message target the process still stops; there is just nothing to say.
    if (jnl != nullptr)
        nqlMessageToJnl(jnl, NQ_LEVEL_ERROR, U"FATAL WHERE CLAUSE ERROR: add to set code = %d", 0,
                        static_cast<int>(element->type));
    pvabort();
}

/* Stores a copy of x at position pos of s, the elements from pos on moving up one slot.
 * The shift runs front to back in one walk, carrying each displaced element on.
 * When the node store gives out, the element is lost and the set selects less: a set that
 * cannot grow by the overflow block it needs is left as it was; a copy that cannot be made
 * leaves an empty slot at pos (which yowcln removes). The transformer has no status to
 * report either. */
void Insert(ZInst* inst, NQJournal* jnl, ZNode* set, int32_t pos, ZNode* element) {
    const int32_t n = set->u.op.nargs;
    assert(pos >= 0 && pos <= n);
    inst->Set(inst, set, -1, nullptr); /* room for one more, in a new block if need be */
    if (set->u.op.nargs == n) return;
    ZNode* carry = CopyTree(element, inst, jnl);
    ZNode* block = block_of(set, pos);
    for (int32_t k = pos; k <= n; ++k) {
        if (k > pos && k % Z_NODE_ARGS == 0) block = block->u.op.next;
        assert(block != nullptr);
        std::swap(block->u.op.args[k % Z_NODE_ARGS], carry);
    }
    assert(carry == nullptr);
}

/* A new set of what s1 and s2 have in common. */
ZNode* IntersectSets(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2) {
    return setsweep::intersect_sets(inst, jnl, s1, s2, setsweep::Path::kFast);
}

/* A new set of the elements of s, or their parts, where x <op> k holds (k the
 * comparison's operand 1). */
ZNode* IntersectIneqWithSet(ZInst* inst, NQJournal* jnl, ZNode* comparison, ZNode* set) {
    return setsweep::intersect_ineq_with_set(inst, jnl, comparison, set, setsweep::Path::kFast);
}

/* Moves the elements of s1 and s2 into one new set, relinking s2's full overflow blocks
 * in front instead of moving their elements; both inputs are left empty. The result is in
 * ascending order only when s2 has at most 15 elements. */
ZNode* UnionSet(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2) {
    ZNode* last = nullptr;
    return UnionSetTail(inst, jnl, s1, s2, &last);
}

ZNode* UnionSetTail(ZInst* inst, NQJournal*, ZNode* s1, ZNode* s2, ZNode** last) {
    ZNode* s1_last = *last;
    *last = nullptr;
    ZNode* r = new_set(inst, s1);
    if (r == nullptr) return nullptr;
    forget_append_cursor(inst);
    auto take_list = [](ZNode* to, ZNode* from) {
        to->u.op.nargs = from->u.op.nargs;
        for (int32_t i = 0; i < Z_NODE_ARGS; ++i) to->u.op.args[i] = from->u.op.args[i];
        to->u.op.next = from->u.op.next;
        from->u.op.nargs = 0;
        from->u.op.next = nullptr;
    };
    if (s1->u.op.nargs == 0) {
        take_list(r, s2);
        return r;
    }
    take_list(r, s1);
    const int32_t count1 = r->u.op.nargs; /* elements in r's chain */

    ZNode* h = r;
    int32_t n = s2->u.op.nargs;
    // Full blocks of s2 beyond its first two go in front, whole.
    while (n > 2 * Z_NODE_ARGS - 1) {
        ZNode* b = s2->u.op.next;
        assert(b != nullptr);
        s2->u.op.next = b->u.op.next;
        n -= Z_NODE_ARGS;
        b->u.op.next = h;
        b->u.op.nargs = h->u.op.nargs + Z_NODE_ARGS;
        b->type = Z_SET;
        h = b;
    }
    // With 16..29 left, s2's head is full and its one overflow block holds the rest: that
    // block takes the head's fifteen and goes in front, the head keeps the rest.
    if (n > Z_NODE_ARGS) {
        ZNode* b = s2->u.op.next;
        assert(b != nullptr);
        for (int32_t i = 0; i < Z_NODE_ARGS; ++i) std::swap(b->u.op.args[i], s2->u.op.args[i]);
        b->u.op.next = h;
        b->u.op.nargs = h->u.op.nargs + Z_NODE_ARGS;
        b->type = Z_SET;
        h = b;
        s2->u.op.next = nullptr;
        n -= Z_NODE_ARGS;
    }
    // The rest of s2's head goes after s1's elements: into the free slots of the block of
    // r's chain that holds the next position, then into a new block. (That block is the
    // chain's last one, or an emptied one that a compaction left linked after it.)
    // s1's head now lives in r; a hint beyond 4,096 elements is too costly to check by walking.
    if (s1_last == s1) s1_last = r;
    assert(!s1_last || count1 > 4096 || s1_last == block_of(r, count1 - 1));
    ZNode* t = s1_last ? s1_last : block_of(r, count1 - 1);
    int32_t slot = count1 % Z_NODE_ARGS;
    if (slot == 0) {
        if (t->u.op.next != nullptr) {
            t = t->u.op.next;
        } else {
            slot = Z_NODE_ARGS; /* the last block is full */
        }
    }
    assert(t != nullptr);
    for (int32_t i = 0; i < n; ++i) {
        if (slot == Z_NODE_ARGS) {
            ZNode* b = inst->NewOp(inst, Z_NULL);
            if (b == nullptr) {
                n = i; /* what did not fit stays out of the count */
                break;
            }
            t->u.op.next = b;
            t = b;
            slot = 0;
        }
        t->u.op.args[slot++] = s2->u.op.args[i];
    }
    h->u.op.nargs += n;
    // t holds the last element placed, or s1's last when none was: that is the result's last.
    *last = n > 0 || slot == Z_NODE_ARGS || count1 % Z_NODE_ARGS != 0
                ? t
                : block_of(h, h->u.op.nargs - 1);
    s2->u.op.nargs = 0;
    s2->u.op.next = nullptr;
    forget_append_cursor(inst);
    return h;
}

/* s1 without the points and ranges of s2. With s2 empty the result shares s1's elements
 * and blocks. */
ZNode* DifferSets(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2) {
    return setsweep::differ_sets(inst, jnl, s1, s2, setsweep::Path::kFast);
}

/* Removes the null slots of any operator, keeping the order of the rest: a single walk
 * with a read and a write position. Slots at and beyond the new count are left as they
 * are; overflow blocks past the one holding the new count go back to the node store. */
void yowcln(ZNode* node, ZInst* inst) {
    const int32_t nargs = node->u.op.nargs;
    ArgCursor read(node);
    while (!read.done() && read.get() != nullptr) read.next();
    if (read.done()) return;

    int32_t w = read.index(); /* next free position */
    ZNode* wblock = read.block();
    for (; !read.done(); read.next()) {
        ZNode* x = read.get();
        if (x == nullptr) continue;
        wblock->u.op.args[w % Z_NODE_ARGS] = x;
        ++w;
        if (w % Z_NODE_ARGS == 0) wblock = wblock->u.op.next;
    }
    node->u.op.nargs = w;
    if (nargs > Z_NODE_ARGS && wblock != nullptr) {
        ZNode* b = wblock->u.op.next;
        wblock->u.op.next = nullptr;
        while (b != nullptr) {
            ZNode* next = b->u.op.next;
            inst->FreeOp(inst, b);
            b = next;
        }
    }
    forget_append_cursor(inst);
}

/* Releases node and its overflow blocks, not its operands. */
void freeinter(ZInst* inst, NQJournal*, ZNode* node) {
    if (node == nullptr) return;
    ZNode* b = zkind::is_operator(node->type) ? node->u.op.next : nullptr;
    inst->FreeOp(inst, node);
    while (b != nullptr) {
        ZNode* next = b->u.op.next;
        inst->FreeOp(inst, b);
        b = next;
    }
}
