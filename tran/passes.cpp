/* The rewriting passes of the transformer: pass 1 normalises operands once (column to the
 * left of a comparison, pending NOTs, unary signs, empty colon constants); pass 2a pushes
 * negations down; pass 2b flattens nested AND/OR; pass 2c hands each node to its merging
 * routine; pass 2d turns one-constant lists into comparisons. Each pass rewrites only the
 * node it is given and that node's arguments. */
#include <cstdint>
#include <cstring>
#include <utility>

#include "frame/nodeutil.h"
#include "tran/passutil.h"
#include "tran/tran.h"

using namespace tranutil;

namespace {

bool is_column(const ZNode* n) {
    return n && (n->type == Z_NAME || n->type == Z_ANAM || n->type == Z_SYM);
}

/* The evaluator's negation: the sign bit flipped, a missing value made the ordinary one. */
double negate(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    if ((bits >> 48) == 0xFFFF) return pvMissVal('.');
    bits ^= uint64_t{1} << 63;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

/* NOT over an AND/OR y: the node becomes the OR/AND of the negated operands of y. The new
 * LNOT nodes are all taken before anything changes, so a node store that cannot grow
 * leaves the tree as it was. */
int32_t push_not_into(ZNode* node, ZNode* y, ZInst* inst, NQJournal* jnl) {
    const int32_t n = y->u.op.nargs;
    ZNode* fresh = nullptr;  // chained through `next` until used
    for (int32_t k = 0; k < n; ++k) {
        ZNode* x = inst->NewOp(inst, Z_LNOT);
        if (!x) {
            while (fresh) {
                ZNode* next = fresh->u.op.next;
                inst->FreeOp(inst, fresh);
                fresh = next;
            }
            return 0;
        }
        x->vlen = -8;  // boolean-valued, as the resolver types it
        x->u.op.next = fresh;
        fresh = x;
    }
    node->type = y->type == Z_LOR ? Z_LAND : Z_LOR;
    int32_t i = 0;
    for (ArgCursor c(y); !c.done(); c.next(), ++i) {
        ZNode* x = fresh;
        fresh = x->u.op.next;
        x->u.op.next = nullptr;
        x->u.op.args[0] = c.get();
        x->u.op.nargs = 1;
        inst->Set(inst, node, i, x);
    }
    // An AND/OR without operands (left so by a merge) is true/false; its negation is the
    // other one without operands, not an OR/AND over it.
    if (n == 0) {
        node->u.op.args[0] = nullptr;
        node->u.op.nargs = 0;
    }
    freeinter(inst, jnl, y);
    return 1;
}

}  // namespace

/* Normalises operands once, before the merging cycles. Always 0: nothing it does needs a
 * second look by itself. */
int32_t pass1(ZNode* node, ZInst* inst, NQJournal*) {
    const int32_t type = node->type;
    if (zkind::is_comparison(type)) {
        // 5 < x becomes x > 5: a column is on the left against a constant or expression.
        ZNode* left = arg(node, 0);
        ZNode* right = arg(node, 1);
        if (left && (is_const(left) || zkind::is_operator(left->type)) && is_column(right)) {
            std::swap(node->u.op.args[0], node->u.op.args[1]);
            node->type = static_cast<uint16_t>(zkind::cinvert[type - Z_CEQ]);
        }
    } else if (type == Z_INOT) {
        ZNode* y = arg(node, 1);
        if (y && zkind::is_is_group(y->type) && zkind::is_not[y->type - Z_IN] != 0) {
            node->type = static_cast<uint16_t>(zkind::is_not[y->type - Z_IN]);
            node->u.op.args[1] = arg(y, 0);
            inst->FreeOp(inst, y);
        }
    } else if (type == Z_ANEG) {
        ZNode* x = arg(node, 0);
        if (x && x->type == Z_LITN) {
            take_over(inst, node, x);
            node->u.litn.num = negate(node->u.litn.num);
        } else if (x && x->type == Z_ANEG && arg(x, 0)) {
            take_over(inst, node, arg(x, 0));  // - - e is e
            inst->FreeOp(inst, x);
        }
    } else if (type == Z_APOS) {
        if (ZNode* x = arg(node, 0)) take_over(inst, node, x);
    } else if (zkind::is_colon_comparison(type)) {
        // An empty constant of a colon comparison becomes one blank.
        ZNode* c = arg(node, 1);
        if (c && c->type == Z_LITC && c->u.litc.slen == 0) {
            c->u.litc.inl[0] = U' ';
            c->u.litc.str = c->u.litc.inl;
            c->u.litc.slen = 4;
            c->vlen = 4;
        }
    }
    return 0;
}

/* Pushes an LNOT into its operand: De Morgan over AND/OR, a NOT removed from three stacked
 * ones, and the negated form of a predicate or comparison. Colon comparisons keep their
 * NOT. */
int32_t pass2a(ZNode* node, ZInst* inst, NQJournal* jnl) {
    if (node->type != Z_LNOT) return 0;
    ZNode* y = arg(node, 0);
    if (!y) return 0;
    if (y->type == Z_LOR || y->type == Z_LAND) return push_not_into(node, y, inst, jnl);
    if (y->type == Z_LNOT) {
        ZNode* z = arg(y, 0);
        if (!z || z->type != Z_LNOT) return 0;
        node->u.op.args[0] = arg(z, 0);
        inst->FreeOp(inst, y);
        inst->FreeOp(inst, z);
        return 1;
    }
    if (zkind::is_is_group(y->type) && zkind::is_not[y->type - Z_IN] != 0) {
        const int32_t negated = zkind::is_not[y->type - Z_IN];
        take_over(inst, node, y);
        node->type = static_cast<uint16_t>(negated);
        return 1;
    }
    if (zkind::is_comparison(y->type)) {
        const int32_t negated = zkind::cnotrop[y->type - Z_CEQ];
        take_over(inst, node, y);
        node->type = static_cast<uint16_t>(negated);
        return 1;
    }
    return 0;
}

/* Flattens an AND/OR: an operand of the node's own type gives its first operand to its slot
 * and its others to the end of the node, and the scan goes on over the appended ones, so
 * (a AND b) AND c becomes AND(a, c, b). The dissolved operands' blocks are released at the
 * end: releasing a node would make the next append walk the chain from its head. An append
 * that needs an overflow block the node store cannot give is lost (ZORVSet leaves the node
 * as it was), and with it that operand of the AND/OR. */
int32_t pass2b(ZNode* node, ZInst* inst, NQJournal* jnl) {
    if (node->type != Z_LOR && node->type != Z_LAND) return 0;
    ZNode* dissolved = nullptr;  // chained through their freed slot 0
    bool emptied = false;        // an operand without operands left its slot empty
    ArgCursor cur(node);
    for (; !cur.done(); cur.next()) {
        ZNode* y = cur.get();
        if (!y || y->type != node->type) continue;
        emptied |= y->u.op.nargs == 0;
        cur.slot() = arg(y, 0);
        ArgCursor rest(y);
        for (rest.next(); !rest.done(); rest.next()) inst->Set(inst, node, -1, rest.get());
        y->u.op.args[0] = dissolved;
        dissolved = y;
        cur.extend(node->u.op.nargs);
    }
    if (!dissolved) return 0;
    // An empty slot is closed at once: under an OR the evaluator would read it as true.
    if (emptied) yowcln(node, inst);
    while (dissolved) {
        ZNode* next = dissolved->u.op.args[0];
        freeinter(inst, jnl, dissolved);
        dissolved = next;
    }
    return 1;
}

/* Merging and folding, by the node's type. */
int32_t pass2c(ZNode* node, ZInst* inst, NQJournal* jnl) {
    switch (node->type) {
        case Z_LAND:
            return do_and(node, inst, jnl);
        case Z_LOR:
            return do_or(node, inst, jnl);
        case Z_CEQ:
        case Z_CNE:
        case Z_CLT:
        case Z_CLE:
        case Z_CGT:
        case Z_CGE:
            return do_comp(node, inst);
        case Z_IN:
        case Z_NIN:
            return do_in(node, inst, jnl);
        case Z_BETW:
        case Z_NBTW:
            return do_betw(node, inst);
        case Z_TIN:
        case Z_TNIN:
            return do_tin(node, inst, jnl);
        case Z_SET:
            return do_set(node, inst, jnl);
        default:
            return 0;
    }
}

/* x IN (c) becomes x = c, x NOT IN (c) becomes x <> c; a lone range stays a list. */
int32_t pass2d(ZNode* node, ZInst* inst, NQJournal* jnl) {
    if (node->type != Z_IN && node->type != Z_NIN) return 0;
    ZNode* list = arg(node, 1);
    if (!list || !zkind::is_operator(list->type) || list->u.op.nargs != 1) return 0;
    ZNode* c = list->u.op.args[0];
    if (!is_const(c)) return 0;
    node->type = node->type == Z_IN ? Z_CEQ : Z_CNE;
    node->u.op.args[1] = c;
    freeinter(inst, jnl, list);
    return 1;
}
