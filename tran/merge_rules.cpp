/* The rules that merge two operands testing one column, under AND and under OR, and the
 * narrowing of a comparison of a character column against a constant longer than the
 * column. The first rule that matches a pair applies. */
#include <cstdint>
#include <utility>

#include "frame/nodeutil.h"
#include "tran/merge.h"
#include "tran/partners.h"
#include "tran/passutil.h"

using namespace tranutil;

namespace tranmerge {

namespace {

/* x has a type from lo to hi and a constant as argument 1. */
bool op_const(const ZNode* x, int32_t lo, int32_t hi) {
    return x->type >= lo && x->type <= hi && is_const(arg(x, 1));
}

/* x is of the given type over a SET. */
bool over_set(const ZNode* x, int32_t type) {
    return x->type == type && is_set(arg(x, 1));
}

/* a (now of `type`) takes the set s as its list, its old argument 1 is released and b
 * dropped. An empty s instead fixes the whole node at `if_empty`; a missing s (the node
 * store could not grow) leaves everything as it was. */
Outcome take_list(Merge& m, ZNode* a, int32_t type, ZNode* s, ZNode*& sb, bool if_empty) {
    if (!s) return Outcome::kNone;
    if (s->u.op.nargs == 0) {
        FreeTree(&s, m.inst, m.jnl);
        return m.decide(if_empty);
    }
    ZNode* old = a->u.op.args[1];
    a->type = static_cast<uint16_t>(type);
    a->u.op.args[1] = s;
    FreeTree(&old, m.inst, m.jnl);
    m.drop(sb);
    return Outcome::kMerged;
}

/* Releases b and its column leaf but not its constant, which a has taken. */
void give_up(Merge& m, ZNode*& sb) {
    ZNode* b = sb;
    m.inst->FreeOp(m.inst, arg(b, 0));
    m.inst->FreeOp(m.inst, b);
    sb = nullptr;
}

/* a becomes `type` over a new set holding `element` alone or `element` then `second`. New
 * sets and ranges are typed as the resolver types a list: by their first operand. */
bool new_list(Merge& m, ZNode* a, int32_t type, ZNode* element, ZNode* second) {
    ZNode* set = m.inst->NewOp(m.inst, Z_SET);
    if (!set) return false;
    set->vlen = element->vlen;
    m.inst->Set(m.inst, set, 0, element);
    if (second) m.inst->Set(m.inst, set, 1, second);
    a->type = static_cast<uint16_t>(type);
    a->u.op.args[1] = set;
    return true;
}

/* A new range of `type` from lo to hi, or null. */
ZNode* new_range(Merge& m, int32_t type, ZNode* lo, ZNode* hi) {
    ZNode* range = m.inst->NewOp(m.inst, type);
    if (!range) return nullptr;
    range->vlen = lo->vlen;
    m.inst->Set(m.inst, range, 0, lo);
    m.inst->Set(m.inst, range, 1, hi);
    return range;
}

/* a becomes `type` over {range of range_type from a's constant to b's}. */
bool range_list(Merge& m, ZNode* a, ZNode* b, int32_t type, int32_t range_type) {
    ZNode* range = new_range(m, range_type, arg(a, 1), arg(b, 1));
    if (!range) return false;
    if (new_list(m, a, type, range, nullptr)) return true;
    m.inst->FreeOp(m.inst, range);
    return false;
}

Outcome dropped(Merge& m, ZNode*& sb) {
    m.drop(sb);
    return Outcome::kMerged;
}

/* The comparison cuts `set` (a's list or b's) in place when the facts known about the set
 * allow it: what take_list does with the cut made as a new set, a keeping or taking the set
 * as its list. kNone when the set is to be cut into a new one instead (its empty slots
 * closed first). */
Outcome cut_list(Merge& m, ZNode* a, ZNode*& sb, ZNode* comparison, ZNode* set, int32_t type,
                 bool if_empty) {
    if (m.cutting.set() != set) {
        const setsweep::SetFacts* f = m.facts_of(set);
        if (!f || !f->sorted) return Outcome::kNone;
        m.cutting.close();
        if (!m.cutting.attach(set, f->kind)) return Outcome::kNone;
    }
    const int32_t live = m.cutting.cut(m.jnl, comparison);
    if (live < 0) {
        m.cutting.close();
        return Outcome::kNone;
    }
    if (live == 0) return m.decide(if_empty);
    if (a->u.op.args[1] != set) {
        sb->u.op.args[1] = nullptr;  // the list is a's now
        ZNode* old = a->u.op.args[1];
        a->u.op.args[1] = set;
        FreeTree(&old, m.inst, m.jnl);
    }
    a->type = static_cast<uint16_t>(type);
    m.drop(sb);
    return Outcome::kReshaped;
}

}  // namespace

Outcome and_pair(Merge& m, ZNode*& sa, ZNode*& sb) {
    ZNode* a = sa;
    ZNode* b = sb;
    ZNode* ca = arg(a, 1);
    ZNode* cb = arg(b, 1);
    ZInst* inst = m.inst;
    NQJournal* jnl = m.jnl;
    const bool a_cmp = op_const(a, Z_CNE, Z_CGE);
    const bool cut =
        (a_cmp && over_set(b, Z_IN)) || (over_set(a, Z_IN) && op_const(b, Z_CNE, Z_CGE));
    if (!cut) m.settle(ca, cb);

    if (over_set(a, Z_IN) && over_set(b, Z_IN))
        return take_list(m, a, Z_IN, setsweep::intersect_sets(inst, jnl, ca, cb, m.path), sb,
                         false);
    if (cut) {
        ZNode* cmp = a_cmp ? a : b;
        ZNode* set = a_cmp ? cb : ca;
        const Outcome fast = cut_list(m, a, sb, cmp, set, Z_IN, false);
        if (fast != Outcome::kNone) return fast;
        return take_list(m, a, Z_IN, setsweep::intersect_ineq_with_set(inst, jnl, cmp, set, m.path),
                         sb, false);
    }
    if (over_set(a, Z_IN) && over_set(b, Z_NIN))
        return take_list(m, a, Z_IN, setsweep::differ_sets(inst, jnl, ca, cb, m.path), sb, false);
    if (over_set(a, Z_NIN) && over_set(b, Z_IN))
        return take_list(m, a, Z_IN, setsweep::differ_sets(inst, jnl, cb, ca, m.path), sb, false);
    if (over_set(a, Z_NIN) && over_set(b, Z_NIN)) {
        // b's elements move into a's list; b's own blocks are released with it.
        if (!m.reserve(ca, cb->u.op.nargs)) return Outcome::kNone;
        for (ArgCursor cur(cb); !cur.done(); cur.next())
            if (cur.get()) m.push(ca, cur.get());
        give_up(m, sb);
        freeinter(inst, jnl, cb);
        return Outcome::kMerged;
    }
    if (op_const(a, Z_CEQ, Z_CEQ) && over_set(b, Z_IN))
        return PointInSet(ca, cb) ? dropped(m, sb) : m.decide(false);
    if (op_const(a, Z_CEQ, Z_CEQ) && over_set(b, Z_NIN))
        return PointInSet(ca, cb) ? m.decide(false) : dropped(m, sb);
    if (over_set(a, Z_NIN) && op_const(b, Z_CNE, Z_CNE)) {
        if (m.in_set(cb, ca)) {
            m.drop(sb);
        } else {
            if (!m.reserve(ca, 1)) return Outcome::kNone;
            m.push(ca, cb);
            give_up(m, sb);
        }
        return Outcome::kAppended;
    }

    const int32_t r = yowccmp(ca, cb, 2, 1);
    if (r == kCmpNone) return Outcome::kNone;
    if (a->type == b->type && r == kCmpEqual) return dropped(m, sb);
    if (a->type == Z_CNE && b->type == Z_CNE) {
        // x <> 1 AND x <> 2 is x NOT IN {1, 2}.
        if (!new_list(m, a, Z_NIN, ca, cb)) return Outcome::kNone;
        give_up(m, sb);
        return Outcome::kMerged;
    }
    if (a->type == Z_CEQ && zkind::is_comparison(b->type))
        return (r & cand_eq[b->type - Z_CEQ]) ? dropped(m, sb) : m.decide(false);
    if (zkind::is_ordering(a->type) && b->type == Z_CNE) {
        if (!(r & cand_ne[a->type - Z_CEQ])) return Outcome::kNone;
        if (r == kCmpEqual && a->type == Z_CLE) a->type = Z_CLT;
        if (r == kCmpEqual && a->type == Z_CGE) a->type = Z_CGT;
        return dropped(m, sb);
    }
    if (zkind::is_ordering(a->type) && zkind::is_ordering(b->type) && r != kCmpGreater) {
        const int32_t v = cand_op[r == kCmpEqual ? 0 : 1][a->type - Z_CLT][b->type - Z_CLT];
        switch (v) {
            case 0:
                return m.decide(false);
            case -1:
                return dropped(m, sb);
            case -2:
                a->type = b->type;
                return dropped(m, sb);
            case -3:
                a->type = Z_CEQ;
                return dropped(m, sb);
            case -4:
                sa = b;
                sb = nullptr;
                FreeTree(&a, inst, jnl);
                return Outcome::kMerged;
            default:
                // x > 1 AND x <= 5 is x IN {(1, 5]}.
                if (!range_list(m, a, b, Z_IN, v)) return Outcome::kNone;
                give_up(m, sb);
                return Outcome::kMerged;
        }
    }
    return Outcome::kNone;
}

Outcome or_pair(Merge& m, ZNode*& sa, ZNode*& sb) {
    ZNode* a = sa;
    ZNode* b = sb;
    ZNode* ca = arg(a, 1);
    ZNode* cb = arg(b, 1);
    ZInst* inst = m.inst;
    NQJournal* jnl = m.jnl;
    const bool a_cmp = op_const(a, Z_CEQ, Z_CGE) && a->type != Z_CNE;
    const bool b_cmp = op_const(b, Z_CEQ, Z_CGE) && b->type != Z_CNE;
    const bool cut = (a_cmp && over_set(b, Z_NIN)) || (over_set(a, Z_NIN) && b_cmp);
    const bool add = over_set(a, Z_IN) && op_const(b, Z_CEQ, Z_CEQ);
    if (!cut && !add) m.settle(ca, cb);

    if (over_set(a, Z_IN) && over_set(b, Z_IN)) {
        // The last block of a set grown by unions is remembered, so that a long OR of
        // lists (or of ranges, each a list of one) unites in linear time.
        ZNode* last = m.tail_of(ca);
        ZNode* u = UnionSetTail(inst, jnl, ca, cb, &last);
        if (!u) return Outcome::kNone;
        a->u.op.args[1] = u;
        FreeTree(&ca, inst, jnl);
        m.drop(sb);
        m.united = {u, last, u->u.op.nargs};
        return Outcome::kMerged;
    }
    if (over_set(a, Z_NIN) && over_set(b, Z_NIN))
        return take_list(m, a, Z_NIN, setsweep::intersect_sets(inst, jnl, ca, cb, m.path), sb,
                         true);
    // x < 5 OR x NOT IN S is x NOT IN (S restricted to x >= 5).
    if (cut) {
        ZNode* cmp = a_cmp ? a : b;
        ZNode* set = a_cmp ? cb : ca;
        const uint16_t type = cmp->type;
        cmp->type = static_cast<uint16_t>(zkind::cnotrop[type - Z_CEQ]);
        const Outcome fast = cut_list(m, a, sb, cmp, set, Z_NIN, true);
        if (fast != Outcome::kNone) return fast;
        ZNode* s = setsweep::intersect_ineq_with_set(inst, jnl, cmp, set, m.path);
        if (!s) cmp->type = type;
        return take_list(m, a, Z_NIN, s, sb, true);
    }
    if (over_set(a, Z_NIN) && over_set(b, Z_IN))
        return take_list(m, a, Z_NIN, setsweep::differ_sets(inst, jnl, ca, cb, m.path), sb, true);
    if (over_set(a, Z_IN) && over_set(b, Z_NIN))
        return take_list(m, a, Z_NIN, setsweep::differ_sets(inst, jnl, cb, ca, m.path), sb, true);
    if (add) return m.add_point(ca, cb, sb);
    if (op_const(a, Z_CNE, Z_CNE) && (over_set(b, Z_IN) || over_set(b, Z_NIN))) {
        // x <> c OR x IN S holds everywhere when c is in S and is x <> c otherwise; with
        // NOT IN the other way round.
        const bool in = PointInSet(ca, cb) != 0;
        return (b->type == Z_IN) == in ? m.decide(true) : dropped(m, sb);
    }

    const int32_t r = yowccmp(ca, cb, 2, 1);
    if (r == kCmpNone) return Outcome::kNone;
    if (a->type == b->type && r == kCmpEqual) return dropped(m, sb);
    if (a->type == b->type && (a->type == Z_CEQ || a->type == Z_CNE)) {
        if (a->type == Z_CNE) return m.decide(true);
        // x = 1 OR x = 2 is x IN {1, 2}; the set is put in order in a later cycle.
        if (!new_list(m, a, Z_IN, ca, cb)) return Outcome::kNone;
        b->u.op.args[1] = nullptr;
        return dropped(m, sb);
    }
    if (!zkind::is_comparison(a->type) || !zkind::is_comparison(b->type)) return Outcome::kNone;
    if (a->type == Z_CLT && b->type == Z_CGT && r == kCmpEqual) {
        a->type = Z_CNE;
        return dropped(m, sb);
    }
    if (r == kCmpGreater) return Outcome::kNone;
    const int32_t v = cor_op[r == kCmpEqual ? 0 : 1][a->type - Z_CEQ][b->type - Z_CEQ];
    if (v == 0) return Outcome::kNone;
    if (v == -1) return m.decide(true);
    if (zkind::is_comparison(v)) {
        a->type = static_cast<uint16_t>(v);
        return dropped(m, sb);
    }
    if (zkind::is_comparison(-v)) {
        a->type = static_cast<uint16_t>(-v);
        std::swap(a->u.op.args[1], b->u.op.args[1]);
        return dropped(m, sb);
    }
    // x < 1 OR x > 5 is x NOT IN {[1, 5]}.
    if (!range_list(m, a, b, Z_NIN, v)) return Outcome::kNone;
    b->u.op.args[1] = nullptr;
    return dropped(m, sb);
}

/* For each kind of pair, whether and_pair / or_pair can merge it, read off the rules above:
 * the set rules apply whatever the constants; two comparisons merge only when their
 * constants compare (rule 8), and then by the merge tables, which leave a pair alone exactly
 * when a's constant is above b's (r = 8) or, under OR, for the cells that hold 0. */
Cond partner_cond(bool is_and, int32_t a, int32_t b) {
    if (is_and) {
        if (a == Z_IN) return b == Z_CEQ ? Cond::kNever : Cond::kAny;  // 1, 2, 3
        if (a == Z_NIN) return b == Z_IN || b == Z_NIN || b == Z_CNE ? Cond::kAny : Cond::kNever;
        if (b == Z_IN) return Cond::kAny;                                // 2, 5
        if (b == Z_NIN) return a == Z_CEQ ? Cond::kAny : Cond::kNever;   // 6
        if (a == Z_CEQ) return Cond::kSame;                              // 9, 11
        if (a == Z_CNE) return b == Z_CNE ? Cond::kSame : Cond::kNever;  // 9, 10
        if (b == Z_CEQ) return Cond::kNever;
        if (b == Z_CNE) return a == Z_CLT || a == Z_CLE ? Cond::kGe : Cond::kLe;  // 12
        return Cond::kGe;                                                         // 9, 13
    }
    if (a == Z_IN) return b == Z_IN || b == Z_NIN || b == Z_CEQ ? Cond::kAny : Cond::kNever;
    if (a == Z_NIN) return b == Z_CNE ? Cond::kNever : Cond::kAny;   // 2, 3, 4
    if (b == Z_NIN) return Cond::kAny;                               // 3, 6
    if (b == Z_IN) return a == Z_CNE ? Cond::kAny : Cond::kNever;    // 6
    if (a == b && (a == Z_CEQ || a == Z_CNE)) return Cond::kSame;    // 8, 9
    if (a == Z_CEQ && (b == Z_CGT || b == Z_CGE)) return Cond::kEq;  // cor_op 0
    if ((a == Z_CLT || a == Z_CLE) && b == Z_CEQ) return Cond::kEq;  // cor_op 0
    return Cond::kGe;                                                // 8, 11, 12
}

}  // namespace tranmerge

/* A comparison of a character column with a constant longer than the column: blank excess
 * is cut; otherwise no value of the column can equal the constant, so = and <> fold to
 * false and true, and an ordering compares with the constant cut to the column's width (as
 * if the cut characters were above the blank: x < 'ABCD' for a 3-character x is
 * x <= 'ABC'). A width that is not positive describes no column and is left alone. */
int32_t do_comp(ZNode* node, ZInst* inst) {
    const ZNode* col = arg(node, 0);
    ZNode* c = arg(node, 1);
    if (!col || col->type != Z_NAME || col->u.nm.colw <= 0) return 0;
    if (!c || c->type != Z_LITC) return 0;
    const int32_t w = col->u.nm.colw;
    if (c->u.litc.slen <= w) return 0;
    if (!blank_tail(c, w / 4)) {
        switch (node->type) {
            case Z_CEQ:
            case Z_CNE:
                make_truth(inst, node, node->type == Z_CNE, nullptr);
                return 1;
            case Z_CLT:
                node->type = Z_CLE;
                break;
            case Z_CGE:
                node->type = Z_CGT;
                break;
            default:
                break;
        }
    }
    c->u.litc.slen = w;
    return 1;
}
