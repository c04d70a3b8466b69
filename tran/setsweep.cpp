/* The set operations as the set algebra describes them (a walk over the elements, each
 * piece added with AddToSet) and their fast forms: direct appends, sweeps over sorted arrays,
 * the cut in place. See setsweep.h for the order the fast forms rely on and what they keep
 * exactly as the walks give it. */
#include "tran/setsweep.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstring>
#include <utility>

#include "frame/instance_tail.h"
#include "frame/nodeutil.h"
#include "tran/algebra.h"
#include "tran/passutil.h"

using tranutil::is_const;
using tranutil::is_range;
using tranutil::PoolArray;

namespace setsweep {

namespace {

bool is_missing(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return (bits >> 48) == 0xFFFF;
}

bool low_in(const ZNode* r) {
    return (RangeBits(r->type) & kLowExcluded) == 0;
}
bool high_in(const ZNode* r) {
    return (RangeBits(r->type) & kHighExcluded) == 0;
}

/* a lies wholly below b and does not touch it, as AddToSet keeps neighbours: only two
 * ranges may share a bound, and only when neither includes it. */
bool apart(const ZNode* a, const ZNode* b) {
    const int32_t c = order(top(a), bottom(b));
    if (c != 0) return c < 0;
    return is_range(a) && is_range(b) && !high_in(a) && !low_in(b);
}

/* Two constants that would give a set the same values whichever of them it copies. */
bool identical(const ZNode* a, const ZNode* b) {
    if (a->type != b->type || std::memcmp(a, b, offsetof(ZNode, u)) != 0) return false;
    if (a->type == Z_LITN)
        return std::memcmp(&a->u.litn.num, &b->u.litn.num, sizeof a->u.litn.num) == 0 &&
               a->u.litn.tag == b->u.litn.tag;
    const int32_t n = a->u.litc.slen;
    return n == b->u.litc.slen &&
           (n <= 0 || std::memcmp(a->u.litc.str, b->u.litc.str, static_cast<size_t>(n)) == 0);
}

ZNode* new_set(ZInst* inst, const ZNode* like) {
    ZNode* s = inst->NewOp(inst, Z_SET);
    if (s) s->vlen = like->vlen;
    return s;
}

/* One interval of a set's union, ends included or not; a point is an interval lo = hi. */
struct Span {
    const ZNode* lo;
    const ZNode* hi;
    bool lo_in, hi_in;
};

/* The union of a set's points and ranges as sorted, disjoint, untouching spans. */
class Union {
  public:
    Union(ZInst* inst, int64_t capacity) : spans_(inst, capacity) {}
    bool ok() const { return spans_.ok(); }

    void add(const ZNode* lo, bool lo_in, const ZNode* hi, bool hi_in) {
        spans_[n_++] = Span{lo, hi, lo_in, hi_in};
    }

    /* Sorts by low end (an included end first) and folds overlapping or touching spans. */
    void close() {
        Span* s = spans_.data();
        if (n_ == 0) return;
        std::sort(s, s + n_, [](const Span& a, const Span& b) {
            const int32_t c = order(a.lo, b.lo);
            return c < 0 || (c == 0 && a.lo_in && !b.lo_in);
        });
        int32_t w = 0;
        for (int32_t i = 1; i < n_; ++i) {
            Span& c = s[w];
            const Span& x = s[i];
            const int32_t meet = order(x.lo, c.hi);
            if (meet > 0 || (meet == 0 && !x.lo_in && !c.hi_in)) {
                s[++w] = x;
                continue;
            }
            const int32_t h = order(x.hi, c.hi);
            if (h > 0) {
                c.hi = x.hi;
                c.hi_in = x.hi_in;
            } else if (h == 0) {
                c.hi_in = c.hi_in || x.hi_in;
            }
        }
        n_ = w + 1;
    }

    /* PointInSet on the set the spans came from. */
    bool contains(const ZNode* p) const {
        const Span* s = spans_.data();
        const Span* it = std::upper_bound(
            s, s + n_, p, [](const ZNode* v, const Span& x) { return order(v, x.lo) < 0; });
        if (it == s) return false;
        const Span& x = *(it - 1);
        const int32_t a = order(p, x.lo);
        const int32_t b = order(p, x.hi);
        return (a > 0 || (a == 0 && x.lo_in)) && (b < 0 || (b == 0 && x.hi_in));
    }

    /* The first span that does not end below v. */
    int32_t from(const ZNode* v) const {
        const Span* s = spans_.data();
        return static_cast<int32_t>(
            std::lower_bound(s, s + n_, v,
                             [](const Span& x, const ZNode* w) { return order(x.hi, w) < 0; }) -
            s);
    }

    int32_t size() const { return n_; }
    const Span& operator[](int32_t i) const { return spans_[i]; }

  private:
    PoolArray<Span> spans_;
    int32_t n_ = 0;
};

/* The elements of a set that a sweep looks at: its points and ranges. */
bool is_element(const ZNode* e) {
    return e && (is_const(e) || is_range(e));
}

/* Spans of the elements of s that are of `o`'s kind. A constant of that kind that the order
 * cannot place gives false. With `strict`, so does any element of another kind or a range
 * that is not regular (lo below hi); otherwise such elements are left out, as membership
 * never finds a point of one kind in them, and so are ranges that hold nothing (a reversed
 * one, or equal bounds with an end excluded). */
bool spans_of(ZNode* s, Order o, bool strict, Union& u) {
    for (ArgCursor c(s); !c.done(); c.next()) {
        ZNode* e = c.get();
        if (!is_element(e)) continue;
        if (is_const(e)) {
            if (e->type != o.kind()) {
                if (strict) return false;
                continue;
            }
            if (!o.admit(e)) return false;
            u.add(e, true, e, true);
            continue;
        }
        const ZNode* lo = range_lo(e);
        const ZNode* hi = range_hi(e);
        if (!lo || !hi || lo->type != o.kind() || hi->type != o.kind()) {
            if (strict) return false;
            continue;
        }
        if (!o.admit(lo) || !o.admit(hi)) return false;
        const int32_t r = order(lo, hi);
        if (r < 0) {
            u.add(lo, low_in(e), hi, high_in(e));
        } else if (strict) {
            return false;
        } else if (r == 0 && e->type == Z_RANB) {
            u.add(lo, true, lo, true);
        }
    }
    return true;
}

/* s holds no range and its constants share one order, *o (which admits them); *n counts
 * them. */
bool points_of_one_order(ZNode* s, Order* o, int32_t* n) {
    *n = 0;
    for (ArgCursor c(s); !c.done(); c.next()) {
        ZNode* e = c.get();
        if (is_range(e) || (is_const(e) && !o->admit(e))) return false;
        *n += is_const(e);
    }
    return true;
}

/* A new set of the n points of s that `keep` keeps, in ascending order with the first of
 * equal points kept: what AddToSet makes of them added in s's order, since it puts a point
 * before the first element above it and drops one equal to an element already there. Null
 * when the pool refuses. */
template <class Keep>
ZNode* keep_points(ZInst* inst, NQJournal* jnl, ZNode* s, int32_t n, Keep keep) {
    struct Kept {
        ZNode* node;
        int32_t at;
    };
    PoolArray<Kept> kept(inst, n);
    if (n > 0 && !kept.ok()) return nullptr;
    int32_t m = 0;
    for (ArgCursor c(s); !c.done(); c.next()) {
        ZNode* e = c.get();
        if (is_const(e) && keep(e)) {
            kept[m] = Kept{e, m};
            ++m;
        }
    }
    std::sort(kept.data(), kept.data() + m, [](const Kept& a, const Kept& b) {
        const int32_t c = order(a.node, b.node);
        return c < 0 || (c == 0 && a.at < b.at);
    });
    ZNode* r = new_set(inst, s);
    if (!r) return nullptr;
    SetBuilder out(inst, jnl, r, Path::kFast);
    for (int32_t i = 0; i < m; ++i)
        if (i == 0 || order(kept[i - 1].node, kept[i].node) != 0) out.add(kept[i].node);
    return r;
}

/* The points of s1 that do (keep_in) or do not lie in s2. Null when s1 holds a range or
 * constants that do not share one order. */
ZNode* filter_points(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2, bool keep_in) {
    Order o;
    int32_t n1;
    if (!points_of_one_order(s1, &o, &n1)) return nullptr;
    Union u(inst, s2->u.op.nargs);
    if (o.kind() != 0 && s2->u.op.nargs > 0) {
        if (!u.ok() || !spans_of(s2, o, false, u)) return nullptr;
        u.close();
    }
    return keep_points(inst, jnl, s1, n1, [&](const ZNode* e) { return u.contains(e) == keep_in; });
}

/* All numbers among the constants of s's points and ranges have one literal kind, *tag (-1
 * before the first). */
bool one_tag(ZNode* s, int64_t* tag) {
    auto same = [tag](const ZNode* c) {
        if (!c || c->type != Z_LITN) return true;
        if (*tag < 0) *tag = c->u.litn.tag;
        return *tag == c->u.litn.tag;
    };
    for (ArgCursor c(s); !c.done(); c.next()) {
        const ZNode* e = c.get();
        if (is_const(e) ? !same(e) : is_range(e) && (!same(range_lo(e)) || !same(range_hi(e))))
            return false;
    }
    return true;
}

/* The intersection when s1 holds ranges and s2 is sorted and apart: a range of s1 meets only
 * the run of s2's elements that reach it (the others give IntersectRanges nothing and lie
 * outside it), so only that run is visited, in s2's order, and the pieces go to the builder
 * in the walk's order. IntersectRanges chooses bounds by the strict comparison, under which
 * numbers of different literal kinds do not compare: the numbers must share one. Null when
 * that does not hold or the pool refuses. */
ZNode* intersect_by_sweep(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2) {
    const SetFacts f2 = scan_set(s2);
    int64_t tag = -1;
    if (!f2.sorted || !one_tag(s1, &tag) || !one_tag(s2, &tag)) return nullptr;
    Order o(f2.kind);
    for (ArgCursor c(s1); !c.done(); c.next()) {
        const ZNode* e = c.get();
        if (is_const(e) ? !o.admit(e) : is_range(e) && !o.admit_range(e)) return nullptr;
    }
    const int32_t n2 = s2->u.op.nargs;
    PoolArray<ZNode*> b(inst, n2);
    if (!b.ok()) return nullptr;
    int32_t i = 0;
    for (ArgCursor c(s2); !c.done(); c.next()) b[i++] = c.get();
    // The first element of s2 whose greatest constant is not below v.
    auto reach = [&](const ZNode* v) {
        return static_cast<int32_t>(
            std::lower_bound(b.data(), b.data() + n2, v,
                             [](const ZNode* e, const ZNode* w) { return order(top(e), w) < 0; }) -
            b.data());
    };
    ZNode* r = new_set(inst, s1);
    if (!r) return nullptr;
    SetBuilder out(inst, jnl, r, Path::kFast);
    for (ArgCursor c(s1); !c.done(); c.next()) {
        ZNode* x = c.get();
        if (is_const(x)) {
            // Only the first element that reaches x can hold it: the next starts above x,
            // or at x without including it.
            const int32_t j = reach(x);
            if (j < n2 && (is_range(b[j]) ? PointInRange_YN(x, b[j]) : order(x, b[j]) == 0))
                out.add(x);
            continue;
        }
        if (!is_range(x)) continue;
        for (int32_t j = reach(bottom(x)); j < n2 && order(bottom(b[j]), top(x)) <= 0; ++j) {
            if (is_range(b[j])) {
                ZNode* piece = IntersectRanges(inst, jnl, x, b[j]);
                out.add(piece);
                release_piece(inst, piece);
            } else if (PointInRange_YN(b[j], x)) {
                out.add(b[j]);
            }
        }
    }
    return r;
}

/* The pieces of range x outside the union, in ascending order, each given to `emit` as a
 * point (a bound node) or a range made for it: x's own record when the piece keeps both of
 * x's bounds (as DifferRanges copies a range it only trims at an end), else a new range
 * typed like x. */
template <class Emit>
void cut_range(ZInst* inst, ZNode* x, const Union& u, Emit emit) {
    const ZNode* lo = range_lo(x);
    bool lo_in = low_in(x);
    const ZNode* xh = range_hi(x);
    const bool xh_in = high_in(x);
    auto piece = [&](const ZNode* from, bool from_in, const ZNode* to, bool to_in) {
        const int32_t c = order(from, to);
        if (c == 0) {
            if (from_in && to_in) emit(const_cast<ZNode*>(from));
            return;
        }
        const int32_t bits = (from_in ? 0 : kLowExcluded) | (to_in ? 0 : kHighExcluded);
        ZNode* r;
        if (order(from, range_lo(x)) == 0 && order(to, xh) == 0) {
            r = inst->NewOp(inst, Z_NULL);
            if (r) {
                copy_record(r, x);
                r->type = static_cast<uint16_t>(RangeCode(bits));
            }
        } else {
            r = new_range(inst, bits, const_cast<ZNode*>(from), const_cast<ZNode*>(to), x);
        }
        if (r) emit(r);
    };
    for (int32_t j = u.from(lo); j < u.size(); ++j) {
        const Span& s = u[j];
        const int32_t beyond = order(s.lo, xh);
        if (beyond > 0 || (beyond == 0 && !(s.lo_in && xh_in))) break;
        const int32_t before = order(s.hi, lo);
        if (before < 0 || (before == 0 && !(s.hi_in && lo_in))) continue;
        const int32_t lead = order(lo, s.lo);
        if (lead < 0 || (lead == 0 && lo_in && !s.lo_in)) piece(lo, lo_in, s.lo, !s.lo_in);
        const int32_t rest = order(s.hi, xh);
        if (rest > 0 || (rest == 0 && (s.hi_in || !xh_in))) return;
        lo = s.hi;
        lo_in = !s.hi_in;
    }
    if (order(lo, xh) < 0 || lo_in) piece(lo, lo_in, xh, xh_in);
}

/* The difference by one sweep, where it is sure to give what the rounds give: when s1 holds
 * no range (its points are filtered), or when s2 has two elements or more, all constants share
 * one order, every range is regular, s1 is sorted and untouching, and equal constants that
 * could become a piece's bound are identical. The rounds then only ever append: every
 * round's pieces come in ascending order without touching, so the last round leaves the
 * pieces of s1 outside s2, one element for each, in order. (With one element in s2 there is
 * one round, which the walk with direct appends already does in one pass.) Null otherwise. */
ZNode* differ_by_sweep(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2) {
    bool ranges = false;
    int32_t n2 = 0;
    for (ArgCursor c(s1); !c.done() && !ranges; c.next()) ranges = is_range(c.get());
    for (ArgCursor c(s2); !c.done(); c.next()) n2 += is_element(c.get());
    if (n2 == 0) return nullptr; /* no round: the result shares s1's elements */
    if (!ranges) return filter_points(inst, jnl, s1, s2, false);
    if (n2 == 1) return nullptr;

    // s1: one order, regular ranges, ascending and apart.
    Order o;
    int32_t n1 = 0;
    const ZNode* prev = nullptr;
    for (ArgCursor c(s1); !c.done(); c.next()) {
        ZNode* e = c.get();
        if (!is_element(e)) continue;
        if (is_const(e) ? !o.admit(e) : !o.admit_range(e) || order(range_lo(e), range_hi(e)) >= 0)
            return nullptr;
        if (prev && !apart(prev, e)) return nullptr;
        prev = e;
        n1 += is_range(e) ? 2 : 0;
    }
    Union u(inst, n2);
    if (!u.ok() || !spans_of(s2, o, true, u)) return nullptr;

    // Equal constants among the bounds that pieces may take must be identical.
    PoolArray<const ZNode*> bounds(inst, n1 + 2 * int64_t{n2});
    if (!bounds.ok()) return nullptr;
    int64_t nb = 0;
    auto both = [&](const ZNode* lo, const ZNode* hi) {
        bounds[nb++] = lo;
        bounds[nb++] = hi;
    };
    for (ArgCursor c(s1); !c.done(); c.next())
        if (is_range(c.get())) both(range_lo(c.get()), range_hi(c.get()));
    for (int32_t j = 0; j < u.size(); ++j) both(u[j].lo, u[j].hi);
    std::sort(bounds.data(), bounds.data() + nb,
              [](const ZNode* a, const ZNode* b) { return order(a, b) < 0; });
    for (int64_t i = 1; i < nb; ++i)
        if (order(bounds[i - 1], bounds[i]) == 0 && !identical(bounds[i - 1], bounds[i]))
            return nullptr;
    u.close();

    ZNode* r = new_set(inst, s1);
    if (!r) return nullptr;
    SetBuilder out(inst, jnl, r, Path::kFast);
    for (ArgCursor c(s1); !c.done(); c.next()) {
        ZNode* x = c.get();
        if (is_const(x)) {
            if (!u.contains(x)) out.add(x);
        } else if (is_range(x)) {
            cut_range(inst, x, u, [&](ZNode* piece) {
                out.add(piece);
                release_piece(inst, piece);
            });
        }
    }
    return r;
}

/* The difference as the set algebra describes it: every element of s2 in turn cuts what is
 * left so far, the remaining constants being tested against the whole of s2; with no element
 * in s2 the result shares s1's elements and blocks. An element of s2 that is neither a point
 * nor a range cuts nothing. What a round leaves behind (its working set, the pieces the range
 * operations made) is released once the next set holds copies of it. */
ZNode* differ_by_rounds(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2, Path path) {
    ZNode* cur = inst->NewOp(inst, Z_NULL);
    if (!cur) return nullptr;
    copy_record(cur, s1);
    bool shared = true; /* cur still holds s1's elements and blocks */
    for (ArgCursor b(s2); !b.done(); b.next()) {
        ZNode* y = b.get();
        if (!is_element(y)) continue;
        ZNode* tmp = new_set(inst, s1);
        if (!tmp) break;
        SetBuilder out(inst, jnl, tmp, path);
        for (ArgCursor a(cur); !a.done(); a.next()) {
            ZNode* x = a.get();
            if (is_const(x)) {
                if (!PointInSet(x, s2)) out.add(x);
            } else if (is_range(x)) {
                ZNode* t = is_const(y) ? new_range(inst, 0, y, y, x) : y;
                assert(t != nullptr);
                ZNode* second = nullptr;
                ZNode* first = DifferRanges(inst, jnl, x, t, &second);
                out.add(first);
                out.add(second);
                release_piece(inst, first);
                release_piece(inst, second);
                if (t != y) {
                    std::memset(t, 0, sizeof *t);
                    inst->FreeOp(inst, t);
                }
            }
        }
        if (shared)
            inst->FreeOp(inst, cur);
        else
            FreeTree(&cur, inst, jnl);
        cur = tmp;
        shared = false;
    }
    cur->type = Z_SET;
    return cur;
}

}  // namespace

const ZNode* bottom(const ZNode* e) {
    if (!is_range(e)) return e;
    return order(range_lo(e), range_hi(e)) <= 0 ? range_lo(e) : range_hi(e);
}

const ZNode* top(const ZNode* e) {
    if (!is_range(e)) return e;
    return order(range_lo(e), range_hi(e)) <= 0 ? range_hi(e) : range_lo(e);
}

void release_piece(ZInst* inst, ZNode* piece) {
    if (is_range(piece)) inst->FreeOp(inst, piece);
}

int32_t ineq_mask(int32_t type) {
    constexpr int32_t kMask[6] = {0,           kCmpLess | kCmpGreater,
                                  kCmpLess,    kCmpLess | kCmpEqual,
                                  kCmpGreater, kCmpGreater | kCmpEqual};
    return type >= Z_CEQ && type <= Z_CGE ? kMask[type - Z_CEQ] : 0;
}

bool Order::admit(const ZNode* c) {
    if (!c || (c->type != Z_LITN && c->type != Z_LITC) || (kind_ != 0 && c->type != kind_))
        return false;
    if (c->type == Z_LITN) {
        const double v = c->u.litn.num;
        if (v != v && !is_missing(v)) return false;
    } else {
        const int32_t n = c->u.litc.slen / 4;
        if (c->u.litc.slen < 0 || (n > 0 && !c->u.litc.str)) return false;
        for (int32_t i = 0; i < n; ++i)
            if (c->u.litc.str[i] >= 0x80000000u) return false;
    }
    kind_ = c->type;
    return true;
}

bool Order::admit_range(const ZNode* r) {
    return r->u.op.nargs >= 2 && admit(range_lo(r)) && admit(range_hi(r));
}

int32_t order(const ZNode* a, const ZNode* b) {
    const int32_t c = yowccmp(a, b, 2, 0);
    assert(c == kCmpLess || c == kCmpEqual || c == kCmpGreater);
    return c == kCmpLess ? -1 : c == kCmpEqual ? 0 : 1;
}

SetBuilder::SetBuilder(ZInst* inst, NQJournal* jnl, ZNode* set, Path path)
    : inst_(inst), jnl_(jnl), set_(set), direct_(path == Path::kFast) {
    assert(set->u.op.nargs == 0);
}

/* AddToSet's walk passes every element below the new one and appends it at the end when
 * each of its constants lies above every constant in the set, and also when it is a range
 * that starts, with its low end excluded, on the set's greatest constant while that is
 * only ever the excluded high end of a range: two ranges that share a bound neither
 * includes stay apart. */
bool SetBuilder::appends(const ZNode* e) const {
    if (!max_) return true;
    if (!is_range(e)) return order(e, max_) > 0;
    if (order(range_hi(e), max_) <= 0) return false;
    const int32_t c = order(range_lo(e), max_);
    return c > 0 || (c == 0 && open_top_ && !low_in(e));
}

void SetBuilder::raise(const ZNode* e) {
    const ZNode* t = top(e);
    const int32_t c = max_ ? order(t, max_) : 1;
    if (c > 0) {
        max_ = t;
        open_top_ = is_range(e) && !high_in(e) && order(range_lo(e), range_hi(e)) < 0;
    } else if (c == 0) {
        open_top_ = false;  // whatever AddToSet made of it, the set may now hold max_ itself
    }
}

void SetBuilder::append(ZNode* copy) {
    const int32_t n = set_->u.op.nargs;
    if (tail_nargs_ != n) {
        tail_ = set_;
        for (int32_t d = n > 0 ? (n - 1) / Z_NODE_ARGS : 0; d > 0; --d) tail_ = tail_->u.op.next;
    }
    ZNode* block = tail_;
    if (n > 0 && n % Z_NODE_ARGS == 0) {
        if (!block->u.op.next) {
            ZNode* fresh = inst_->NewOp(inst_, Z_NULL);
            if (!fresh) return;
            block->u.op.next = fresh;
            forget_append_cursor(inst_);
        }
        block = block->u.op.next;
    }
    block->u.op.args[n % Z_NODE_ARGS] = copy;
    set_->u.op.nargs = n + 1;
    tail_ = block;
    tail_nargs_ = n + 1;
}

void SetBuilder::add(ZNode* e) {
    if (!e) return;
    if (direct_) {
        Order probe = order_;
        const bool placed = is_const(e) ? probe.admit(e) : is_range(e) && probe.admit_range(e);
        if (placed && appends(e)) {
            order_ = probe;
            // As AddToSet: a failed copy of a point, or of anything into an empty set, still
            // takes a slot; a failed copy of a range does not.
            ZNode* copy = CopyTree(e, inst_, jnl_);
            if (copy || is_const(e) || set_->u.op.nargs == 0) append(copy);
            raise(e);
            return;
        }
        if (placed) {
            order_ = probe;
            raise(e);
        } else {
            direct_ = false;
        }
    }
    AddToSet(inst_, jnl_, set_, e);
}

SetFacts scan_set(ZNode* set) {
    SetFacts f;
    Order o;
    bool sorted = true;
    const ZNode* prev = nullptr;
    for (ArgCursor c(set); !c.done(); c.next()) {
        ZNode* e = c.get();
        if (!e) {
            sorted = false;
            continue;
        }
        if (is_const(e) ? !o.admit(e) : !is_range(e) || !o.admit_range(e)) return SetFacts{};
        if (is_range(e)) f.points = false;
        if (is_range(e) && order(range_lo(e), range_hi(e)) >= 0) sorted = false;
        if (sorted && prev && !apart(prev, e)) sorted = false;
        if (!f.max || order(top(e), f.max) > 0) f.max = top(e);
        prev = e;
    }
    f.kind = o.kind();
    f.sorted = sorted && f.kind != 0;
    return f;
}

ZNode* differ_sets(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2, Path path) {
    if (path == Path::kFast)
        if (ZNode* r = differ_by_sweep(inst, jnl, s1, s2)) return r;
    return differ_by_rounds(inst, jnl, s1, s2, path);
}

/* Every point of s1 that lies in s2, and every range of s1 intersected with every element
 * of s2; by one sweep when s1 holds only points or s2 is sorted. */
ZNode* intersect_sets(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2, Path path) {
    if (path == Path::kFast) {
        if (ZNode* r = filter_points(inst, jnl, s1, s2, true)) return r;
        if (ZNode* r = intersect_by_sweep(inst, jnl, s1, s2)) return r;
    }
    ZNode* r = new_set(inst, s1);
    if (!r) return nullptr;
    SetBuilder out(inst, jnl, r, path);
    for (ArgCursor a(s1); !a.done(); a.next()) {
        ZNode* x = a.get();
        if (is_const(x)) {
            if (PointInSet(x, s2)) out.add(x);
            continue;
        }
        if (!is_range(x)) continue;
        for (ArgCursor b(s2); !b.done(); b.next()) {
            ZNode* y = b.get();
            if (is_range(y)) {
                ZNode* piece = IntersectRanges(inst, jnl, x, y);
                out.add(piece);
                release_piece(inst, piece);
            } else if (is_const(y) && PointInRange_YN(y, x)) {
                out.add(y);
            }
        }
    }
    return r;
}

/* A set of points in any order (as a union leaves it) is filtered and sorted in one pass;
 * otherwise every element is cut in turn, in the set's order. */
ZNode* intersect_ineq_with_set(ZInst* inst, NQJournal* jnl, ZNode* comparison, ZNode* set,
                               Path path) {
    const int32_t mask = ineq_mask(comparison->type);
    ZNode* k = comparison->u.op.args[1];
    Order o;
    int32_t n;
    if (path == Path::kFast && points_of_one_order(set, &o, &n)) {
        ZNode* r = keep_points(inst, jnl, set, n,
                               [&](const ZNode* e) { return (yowccmp(e, k, 2, 0) & mask) != 0; });
        if (r) return r;
    }
    ZNode* r = new_set(inst, set);
    if (!r) return nullptr;
    SetBuilder out(inst, jnl, r, path);
    for (ArgCursor c(set); !c.done(); c.next()) {
        ZNode* e = c.get();
        if (is_range(e)) {
            ZNode* second = nullptr;
            ZNode* first = IntersectIneqWithRange(inst, jnl, comparison, e, &second);
            out.add(first);
            out.add(second);
            release_piece(inst, first);
            release_piece(inst, second);
        } else if (is_const(e) && (yowccmp(e, k, 2, 0) & mask) != 0) {
            out.add(e);
        }
    }
    return r;
}

}  // namespace setsweep
