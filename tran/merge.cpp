/* Merging under AND and OR: the walk over the operands shared by do_and and do_or (constant
 * operands folded or dropped, then each operand offered, in slot order, to the other
 * operands it might merge with), the merge tables, and the appends to a growing set. */
#include "tran/merge.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "frame/instance_tail.h"
#include "frame/nodeutil.h"
#include "tran/partners.h"
#include "tran/passutil.h"

using namespace tranutil;

/* x = c1 AND x op c2: the codes of c1 against c2 for which the first implies the second,
 * by op - CEQ. */
constexpr int32_t cand_eq[6] = {4, 10, 2, 6, 8, 12};

/* x op c1 AND x <> c2, op CLT..CGE: the codes for which x <> c2 adds nothing, by op - CEQ. */
constexpr int32_t cand_ne[6] = {0, 0, 6, 6, 12, 12};

/* x op1 c1 AND x op2 c2, c1 not above c2: [c1 equal to c2 ? 0 : 1][op1 - CLT][op2 - CLT].
 * 0 the AND is false, -1 drop b, -2 a takes op2, -3 a becomes CEQ, -4 drop a and keep b,
 * a range type: x IN {range from c1 to c2}. */
constexpr int32_t cand_op[2][4][4] = {
    /* c1 = c2   CLT   CLE   CGT   CGE */
    {/* CLT */ {-1, -1, 0, 0},
     /* CLE */ {-2, -1, 0, -3},
     /* CGT */ {0, 0, -1, -1},
     /* CGE */ {0, -3, -2, -1}},
    /* c1 < c2   CLT     CLE     CGT  CGE */
    {/* CLT */ {-1, -1, 0, 0},
     /* CLE */ {-1, -1, 0, 0},
     /* CGT */ {Z_RANN, Z_RANH, -4, -4},
     /* CGE */ {Z_RANL, Z_RANB, -4, -4}},
};

/* x op1 c1 OR x op2 c2, c1 not above c2: [c1 equal to c2 ? 0 : 1][op1 - CEQ][op2 - CEQ].
 * 0 no merge, -1 the OR is true, a comparison t: a becomes t keeping c1, -t: a becomes t
 * with c2, a range type: x NOT IN {range from c1 to c2}. */
constexpr int32_t cor_op[2][6][6] = {
    /* c1 = c2    CEQ    CNE    CLT    CLE    CGT    CGE */
    {/* CEQ */ {0, -1, Z_CLE, Z_CLE, Z_CGE, Z_CGE},
     /* CNE */ {-1, Z_CNE, Z_CNE, -1, Z_CNE, -1},
     /* CLT */ {Z_CLE, Z_CNE, Z_CLT, Z_CLE, Z_CNE, -1},
     /* CLE */ {Z_CLE, -1, Z_CLE, Z_CLE, -1, -1},
     /* CGT */ {Z_CGE, Z_CNE, Z_CNE, -1, Z_CGT, Z_CGE},
     /* CGE */ {Z_CGE, -1, -1, -1, Z_CGE, Z_CGE}},
    /* c1 < c2    CEQ    CNE     CLT     CLE     CGT     CGE */
    {/* CEQ */ {0, -Z_CNE, -Z_CLT, -Z_CLE, 0, 0},
     /* CNE */ {Z_CNE, -1, -1, -1, Z_CNE, Z_CNE},
     /* CLT */ {0, -Z_CNE, -Z_CLT, -Z_CLE, Z_RANB, Z_RANL},
     /* CLE */ {0, -Z_CNE, -Z_CLT, -Z_CLE, Z_RANH, Z_RANN},
     /* CGT */ {Z_CGT, -1, -1, -1, Z_CGT, Z_CGT},
     /* CGE */ {Z_CGE, -1, -1, -1, Z_CGE, Z_CGE}},
};

namespace tranmerge {

Outcome Merge::decide(bool value) {
    cutting.detach();
    for (int32_t j = 0; j < later.count; ++j) FreeTree(&later.points[j].point, inst, jnl);
    later.count = 0;
    later.set = nullptr;
    make_truth(inst, node, value, jnl);
    return Outcome::kDecided;
}

void Merge::drop(ZNode*& slot) {
    FreeTree(&slot, inst, jnl);
}

bool Merge::in_set(ZNode* point, ZNode* set) {
    return members.contains(point, set);
}

void Merge::settle(const ZNode* x, const ZNode* y) {
    if (cutting.set() && (cutting.set() == x || cutting.set() == y)) cutting.close();
    if (later.set && (later.set == x || later.set == y)) place_later();
}

/* A rule other than a cut or an add changed something, but not the set being cut or added
 * to (it would have been settled before the rule read it): bringing that set up to date now
 * leaves it as the walks do. */
void Merge::forget() {
    place_later();
    cutting.close();
    forget_shape();
    known.set = nullptr;
}

void Merge::forget_shape() {
    tail = Tail{};
    if (united.set && united.block && united.nargs > 0)
        tail = Tail{united.set, united.block, (united.nargs - 1) / Z_NODE_ARGS, united.nargs};
    united = United{};
    members.forget();
}

ZNode* Merge::tail_of(ZNode* set) const {
    return tail.set == set && tail.nargs == set->u.op.nargs && set->u.op.nargs > 0 ? tail.block
                                                                                   : nullptr;
}

setsweep::SetFacts* Merge::facts_of(ZNode* set) {
    if (path == Path::kLiteral) return nullptr;
    if (known.set != set || known.nargs != set->u.op.nargs) {
        known.set = set;
        known.nargs = set->u.op.nargs;
        known.facts = setsweep::scan_set(set);
        if (known.facts.kind) {
            copy_record(&known.max, known.facts.max);
            known.facts.max = &known.max;
        }
    }
    return known.facts.kind ? &known.facts : nullptr;
}

void Merge::reshaped(ZNode* set) {
    if (known.set == set) known.nargs = set->u.op.nargs;
}

/* A point above every constant of the set is where AddToSet's walk ends: it is appended,
 * and a sorted set stays sorted. Another point for a set of points is held back, to be put
 * in place with the others. Any other point goes through AddToSet, after which the set still
 * holds constants of one order below the greatest one known, but may have empty slots.
 * The comparison the point came from is dropped in every case, also when the node store
 * could not give the copy that AddToSet (or place_later, for a point held back) stores:
 * the point is then lost, and an OR selects fewer rows. */
Outcome Merge::add_point(ZNode* set, ZNode* point, ZNode*& sb) {
    if (later.set != set) place_later();
    setsweep::SetFacts* f = facts_of(set);
    setsweep::Order o(f ? f->kind : 0);
    const bool placed = f && o.admit(point);
    const bool above = placed && setsweep::order(point, f->max) > 0;
    if (placed && (later.set == set || (!above && f->points)) && hold_back(set, point)) {
        if (above) copy_record(&known.max, point);
        drop(sb);
        return Outcome::kAppended;
    }
    place_later();
    if (above && reserve(set, 1)) {
        if (ZNode* copy = CopyTree(point, inst, jnl)) {
            push(set, copy);
            known.set = set;  // push forgot the facts, but they hold: the point tops the set
            copy_record(&known.max, point);
            reshaped(set);
            drop(sb);
            return Outcome::kAppended;
        }
    }
    AddToSet(inst, jnl, set, point);
    drop(sb);
    if (!placed) {
        known.set = nullptr;
        return Outcome::kMerged;
    }
    if (above) copy_record(&known.max, point);
    f->sorted = false;
    reshaped(set);
    return Outcome::kReshaped;
}

/* The walk brings every set up to date before it ends; a caller that applies the rules
 * itself gets its sets brought up to date here. */
Merge::~Merge() {
    place_later();
    cutting.close();
    if (later.points) inst->pool->Free(inst->pool, later.points);
}

/* Holds a copy of point back for set; false, with nothing held, when the pool or the node
 * store refuses. */
bool Merge::hold_back(ZNode* set, ZNode* point) {
    if (later.count == later.capacity) {
        const int64_t cap = later.capacity ? 2 * int64_t{later.capacity} : 64;
        const uint64_t bytes = static_cast<uint64_t>(cap) * sizeof(Held);
        if (bytes > UINT32_MAX) return false;
        auto* fresh =
            static_cast<Held*>(inst->pool->Alloc(inst->pool, static_cast<uint32_t>(bytes), 0));
        if (!fresh) return false;
        if (later.points) {
            std::memcpy(fresh, later.points, static_cast<size_t>(later.count) * sizeof(Held));
            inst->pool->Free(inst->pool, later.points);
        }
        later.points = fresh;
        later.capacity = static_cast<int32_t>(cap);
    }
    ZNode* copy = CopyTree(point, inst, jnl);
    if (!copy) return false;
    later.set = set;
    later.points[later.count] = Held{copy, later.count};
    ++later.count;
    return true;
}

/* AddToSet walks a set of points to the first element not below the new point and puts the
 * point before it, or leaves it out when equal. That element is always a record (an element
 * above all before it), and the new point becomes one: so every point held back goes just
 * before the first of the set's own records above it (or at the end), the points that go to
 * one place in ascending order, and a point equal to a record or to a point come before it
 * is left out. One sorted pass over the records and the held points places them all. */
void Merge::place_later() {
    ZNode* set = later.set;
    if (!set) return;
    later.set = nullptr;
    Held* held = later.points;
    const int32_t m = later.count;
    later.count = 0;
    const int32_t n = set->u.op.nargs;
    std::sort(held, held + m, [](const Held& a, const Held& b) {
        const int32_t c = setsweep::order(a.point, b.point);
        return c < 0 || (c == 0 && a.order < b.order);
    });
    tranutil::PoolArray<ZNode*> out(inst, int64_t{n} + m);
    if (!out.ok() || !reserve(set, m)) {
        // One by one, in the order they came.
        std::sort(held, held + m, [](const Held& a, const Held& b) { return a.order < b.order; });
        for (int32_t j = 0; j < m; ++j) {
            AddToSet(inst, jnl, set, held[j].point);
            FreeTree(&held[j].point, inst, jnl);
        }
        forget_shape();
        reshaped(set);
        return;
    }
    int32_t w = 0;
    int32_t j = 0;
    const ZNode* record = nullptr;
    const ZNode* last = nullptr; /* the last point placed */
    auto place_below = [&](const ZNode* bound) {
        for (; j < m && (!bound || setsweep::order(held[j].point, bound) <= 0); ++j) {
            ZNode*& p = held[j].point;
            if ((bound && setsweep::order(p, bound) == 0) ||
                (last && setsweep::order(p, last) == 0)) {
                FreeTree(&p, inst, jnl);
            } else {
                out[w++] = p;
                last = p;
            }
        }
    };
    for (ArgCursor c(set); !c.done(); c.next()) {
        ZNode* e = c.get();
        if (e && (!record || setsweep::order(e, record) > 0)) {
            place_below(e);
            record = e;
        }
        out[w++] = e;
    }
    place_below(nullptr);
    ZNode* block = set;
    for (int32_t i = 0; i < w; ++i) {
        if (i > 0 && i % Z_NODE_ARGS == 0) block = block->u.op.next;
        block->u.op.args[i % Z_NODE_ARGS] = out[i];
    }
    set->u.op.nargs = w;
    forget_shape();
    forget_append_cursor(inst);
    reshaped(set);
}

bool Merge::reserve(ZNode* set, int32_t extra) {
    const int32_t n = set->u.op.nargs;
    if (tail.set != set || tail.nargs != n) {
        tail = Tail{set, set, 0, n};
        for (int32_t k = n > 0 ? (n - 1) / Z_NODE_ARGS : 0; k > 0; --k) {
            tail.block = tail.block->u.op.next;
            ++tail.depth;
        }
    }
    const int64_t last = int64_t{n} + extra - 1;
    ZNode* b = tail.block;
    for (int64_t depth = tail.depth; depth < last / Z_NODE_ARGS; ++depth) {
        if (!b->u.op.next) {
            ZNode* fresh = inst->NewOp(inst, Z_NULL);
            if (!fresh) return false;
            b->u.op.next = fresh;
            forget_append_cursor(inst);
        }
        b = b->u.op.next;
    }
    return true;
}

void Merge::push(ZNode* set, ZNode* element) {
    const int32_t n = set->u.op.nargs;
    assert(tail.set == set && tail.nargs == n);
    if (n > 0 && n % Z_NODE_ARGS == 0) {
        tail.block = tail.block->u.op.next;
        ++tail.depth;
    }
    tail.block->u.op.args[n % Z_NODE_ARGS] = element;
    set->u.op.nargs = n + 1;
    tail.nargs = n + 1;
    if (known.set == set) known.set = nullptr;  // the element may lie anywhere
}

}  // namespace tranmerge

namespace {

using tranmerge::Merge;
using tranmerge::Outcome;

/* Below this many operands the operands are simply scanned pair by pair. */
constexpr int32_t kIndexFrom = 16;

/* What the offer of one operand to its partners needs. */
struct Offer {
    Merge* m;
    ZNode** sa; /* the slot of the operand offered */
    Outcome (*pair)(Merge&, ZNode*&, ZNode*&);
    bool changed;

    /* Applies the rules to the pair; false when the node's value has been fixed. */
    static bool visit(void* ctx, ZNode*& sb) {
        Offer& o = *static_cast<Offer*>(ctx);
        ZNode* b = sb;
        if (!b || zkind::is_leaf(b->type) || !yowncmp(arg(*o.sa, 0), arg(b, 0))) return true;
        const Outcome r = o.pair(*o.m, *o.sa, sb);
        if (r == Outcome::kNone) return true;
        o.changed = true;
        if (r == Outcome::kDecided) return false;
        if (r == Outcome::kMerged) o.m->forget();
        if (r == Outcome::kReshaped) o.m->forget_shape();
        return true;
    }
};

}  // namespace

/* The walk shared by do_and and do_or. */
int32_t tranmerge::merge_all(ZNode* node, ZInst* inst, NQJournal* jnl, bool is_and,
                             tranmerge::Path path) {
    int32_t hasbool = 0;
    int32_t plain = 0;
    CheckForBoolean(node, &hasbool, &plain);
    const int32_t entry = node->u.op.nargs;
    const int32_t deciding = is_and ? 0 : 1;
    int32_t changed = 0;
    Merge m(node, inst, jnl, path);
    tranmerge::PartnerIndex index(node, inst, is_and, entry >= kIndexFrom);

    int32_t i = 0;
    for (ArgCursor cur(node); !cur.done(); cur.next(), ++i) {
        ZNode*& sa = cur.slot();
        if (!sa) continue;
        int32_t t;
        if (sa->type == Z_NULL && is_and) {
            make_truth(inst, sa, true, jnl);
            changed = 1;
            t = 1;
        } else {
            t = sa->type == Z_NULL ? 0 : truth_of(sa);  // under OR an empty operand is false
        }
        if (t == deciding) {
            m.decide(!is_and);
            return 1;
        }
        if (t == 1 - deciding) {
            // A constant that decides nothing goes, unless the node's value is the value of
            // its operands themselves (no boolean among them and fewer than three).
            if (hasbool || plain >= 3) {
                m.drop(sa);
                --plain;
                changed = 1;
            }
            continue;
        }
        if (zkind::is_leaf(sa->type)) continue;

        // Every other operand in slot order, or (the same merges) only those the rules
        // could merge with it.
        Offer offer{&m, &sa, is_and ? tranmerge::and_pair : tranmerge::or_pair, false};
        bool going = true;
        if (index.ok()) {
            going = index.partners(i, Offer::visit, &offer);
        } else {
            int32_t j = 0;
            for (ArgCursor other(node); going && !other.done(); other.next(), ++j)
                if (j != i) going = Offer::visit(&offer, other.slot());
        }
        if (offer.changed) changed = 1;
        if (!going) return 1;
    }
    m.place_later();
    m.cutting.close();
    if (changed) yowcln(node, inst);
    if (entry == 1 && node->u.op.nargs == 1 && node->u.op.args[0]) {
        take_over(inst, node, node->u.op.args[0]);
        return 1;
    }
    return changed;
}

/* Folds the constants of an AND and merges its operands that test one column. */
int32_t do_and(ZNode* node, ZInst* inst, NQJournal* jnl) {
    return tranmerge::merge_all(node, inst, jnl, true, tranmerge::Path::kFast);
}

/* Folds the constants of an OR and merges its operands that test one column. */
int32_t do_or(ZNode* node, ZInst* inst, NQJournal* jnl) {
    return tranmerge::merge_all(node, inst, jnl, false, tranmerge::Path::kFast);
}
