/* The list side of membership tests: BETWEEN rewritten as an IN over a one-range set, the
 * constants of an IN list narrowed to the width of a character column, and the redundant
 * prefixes of a truncated IN list removed. */
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#include "frame/nodeutil.h"
#include "tran/passutil.h"
#include "tran/setpos.h"
#include "tran/tran.h"

using namespace tranutil;

bool tranutil::blank_tail(const ZNode* litc, int32_t from) {
    const int32_t n = litc->u.litc.slen / 4;
    if (from >= n) return true;
    return pvMemTNot(U' ', litc->u.litc.str + from, n - from) != 0;
}

namespace {

/* Narrows one element of an IN list tested against a character column w bytes wide.
 * Returns 1 when the element (or its slot) changed. */
int32_t narrow_element(ZInst* inst, NQJournal* jnl, ZNode*& slot, int32_t w) {
    ZNode* e = slot;
    if (!e) return 0;
    if (e->type == Z_LITC) {
        if (e->u.litc.slen <= w) return 0;
        if (blank_tail(e, w / 4))
            e->u.litc.slen = w;
        else
            FreeTree(&slot, inst, jnl);  // no value of the column can equal it
        return 1;
    }
    if (!is_range(e)) return 0;
    int32_t changed = 0;
    int32_t bits = RangeBits(e->type);
    ZNode* lo = arg(e, 0);
    if (lo && lo->type == Z_LITC && lo->u.litc.slen > w) {
        if (blank_tail(lo, w / 4)) {
            lo->u.litc.slen = w;
            changed = 1;
        } else {
            bits |= 1;  // every value of the column lies below the bound, so not on it
        }
    }
    ZNode* hi = arg(e, 1);
    if (hi && hi->type == Z_LITC && hi->u.litc.slen > w) {
        if (blank_tail(hi, w / 4)) {
            hi->u.litc.slen = w;
            changed = 1;
        } else {
            bits &= ~2;
        }
    }
    const int32_t type = RangeCode(bits);
    if (type != e->type) {
        e->type = static_cast<uint16_t>(type);
        changed = 1;
    }
    return changed;
}

}  // namespace

/* x BETWEEN low AND high over two constants of one kind becomes x IN {[low, high]} (the
 * bounds in either order), or x = low when they are equal; NBTW likewise becomes NIN or
 * CNE. Other bounds are left alone. */
int32_t do_betw(ZNode* node, ZInst* inst) {
    ZNode* low = arg(node, 1);
    ZNode* high = arg(node, 2);
    const int32_t r = yowccmp(high, low, 2, 1);
    if (r == kCmpNone) return 0;
    const bool negated = node->type == Z_NBTW;
    if (r == kCmpEqual) {
        node->type = negated ? Z_CNE : Z_CEQ;
        node->u.op.args[2] = nullptr;
        node->u.op.nargs = 2;
        inst->FreeOp(inst, high);
        return 1;
    }
    if (r == kCmpLess) std::swap(low, high);
    ZNode* range = inst->NewOp(inst, Z_RANB);
    ZNode* set = inst->NewOp(inst, Z_SET);
    if (!range || !set) {
        inst->FreeOp(inst, range);
        inst->FreeOp(inst, set);
        return 0;
    }
    // Typed as the resolver types a list: by the first operand.
    range->vlen = low->vlen;
    set->vlen = low->vlen;
    inst->Set(inst, range, 0, low);
    inst->Set(inst, range, 1, high);
    inst->Set(inst, set, 0, range);
    node->type = negated ? Z_NIN : Z_IN;
    node->u.op.args[1] = set;
    node->u.op.args[2] = nullptr;
    node->u.op.nargs = 2;
    return 1;
}

/* An IN/NIN list tested against a character column: constants longer than the column are
 * cut when the excess is blank and dropped otherwise; range bounds longer than the column
 * are cut, or the range's ends adjusted. A list left empty makes the node the constant false
 * (IN) or true (NIN). Elements are visited from the last to the first. */
int32_t do_in(ZNode* node, ZInst* inst, NQJournal* jnl) {
    ZNode* column = arg(node, 0);
    ZNode* list = arg(node, 1);
    if (!column || column->type != Z_NAME || column->vlen <= 0 || column->u.nm.colw <= 0) return 0;
    if (!list || !zkind::is_operator(list->type)) return 0;
    const int32_t w = column->u.nm.colw;
    const int32_t nargs = list->u.op.nargs;
    int32_t changed = 0;
    if (nargs > 0) {
        setpos::link_prev_blocks(list);
        for (SetPos p = setpos::position(list, nargs - 1); p.index >= 0; setpos::backward(p))
            changed |= narrow_element(inst, jnl, setpos::at(p), w);
        setpos::clear_prev_blocks(list);
    }
    if (!changed) return 0;
    yowcln(list, inst);
    if (list->u.op.nargs == 0) make_truth(inst, node, node->type == Z_NIN, jnl);
    return 1;
}

/* A truncated IN list: of two neighbours where one is a prefix of the other, the longer one
 * can never decide anything and is removed. Only neighbours in list order are compared
 * (the list is a sorted set by the time this runs). The change is not reported. */
int32_t do_tin(ZNode* node, ZInst* inst, NQJournal* jnl) {
    ZNode* list = arg(node, 1);
    if (!list || !zkind::is_operator(list->type) || list->u.op.nargs < 2) return 0;
    bool removed = false;
    ArgCursor cur(list);
    ZNode** prev = &cur.slot();
    for (cur.next(); !cur.done(); cur.next()) {
        ZNode** slot = &cur.slot();
        ZNode* e = *slot;
        ZNode* p = *prev;
        if (!e) continue;
        if (!p || p->type != Z_LITC || e->type != Z_LITC) {
            prev = slot;
            continue;
        }
        const int32_t n = std::min(p->u.litc.slen, e->u.litc.slen);
        if (n > 0 && std::memcmp(p->u.litc.str, e->u.litc.str, static_cast<size_t>(n)) != 0) {
            prev = slot;
            continue;
        }
        if (p->u.litc.slen < e->u.litc.slen) {
            FreeTree(slot, inst, jnl);
        } else {
            FreeTree(prev, inst, jnl);
            prev = slot;
        }
        removed = true;
    }
    if (removed) yowcln(list, inst);
    return 0;
}
