/* The evaluator's driver: ZORVEval with its work area and lock, the dispatch of eval_tree
 * over node types, the column and reference leaves, the logical operators (which test
 * comparisons and IN predicates in place rather than through a nested eval_tree), the null
 * tests and the IN dispatch. */
#include <cassert>
#include <cstddef>
#include <cstring>

#include "eval/eval.h"
#include "frame/evalwork.h"
#include "frame/nodekinds.h"

namespace {

int32_t set_number(ZNode* result, double v, int32_t truth) {
    result->type = Z_LITN;
    result->u.litn.num = v;
    return truth;
}

int32_t set_chars(ZNode* result, const NQWChar* s, int32_t bytes) {
    result->type = Z_LITC;
    result->u.litc.str = const_cast<NQWChar*>(s);
    result->u.litc.slen = bytes;
    return char_truth(s, bytes);
}

/* Operand i of an operator, or null past its last operand. Slots beyond the inline ones
 * go through the instance's Get. */
ZNode* operand(EvalCtx* ctx, ZNode* node, int32_t i) {
    if (i >= node->u.op.nargs) return nullptr;
    return i < Z_NODE_ARGS ? node->u.op.args[i] : ctx->inst->Get(ctx->inst, node, i);
}

/* A pointer word stored in the row or in a descriptor, which need not be aligned. */
const char* read_address(const void* at) {
    const char* p;
    memcpy(&p, at, sizeof p);
    return p;
}

/* The 32-bit byte length of a counted value, as a length in whole characters' bytes that
 * fits slen. */
int32_t counted_length(uint32_t n) {
    constexpr uint32_t kMost = 0x7FFFFFFCu;
    return static_cast<int32_t>(n > kMost ? kMost : n & ~3u);
}

/* Column leaf. The value's place follows colmode and fetch; the length found there (the
 * leaf's vlen, or what fetch returns, or the count in front of the characters) says its
 * kind: below zero a number of that many bytes, otherwise characters. A fetch callback is
 * taken at its word: its length is in the leaf's convention (-8 or -L numeric, 0 or more
 * characters). A character column with a colmode other than 0, 2 and 4 and no fetch has
 * no defined length; it is read as the row's address of `vlen` characters, the same rule
 * as a numeric column of that kind. */
int32_t eval_name(ZNode* leaf, const void* row, ZNode* result) {
    const char* base = static_cast<const char*>(row);
    const int32_t off = column_offset(leaf);
    const uint32_t mode = leaf->u.nm.colmode;
    const char* at;
    int32_t len = leaf->vlen;
    if (mode == 0) {
        at = base + off;
    } else if (leaf->u.nm.fetch) {
        const void* addr = nullptr;
        int32_t flen = 0;
        if (leaf->u.nm.fetch(leaf, row, &addr, &flen) != 0) return set_number(result, 0.0, 0);
        at = static_cast<const char*>(addr);
        len = flen;
    } else {
        const char* p = read_address(base + off);
        if (len < 0 || (mode != 2 && mode != 4)) {
            at = p;
        } else if (mode == 2) {
            uint16_t n;
            memcpy(&n, p, sizeof n);
            len = n & ~3;
            at = p + sizeof n;
        } else {
            uint32_t n;
            memcpy(&n, p, sizeof n);
            len = counted_length(n);
            at = p + sizeof n;
        }
    }
    if (len < 0) {
        const double v = read_number(at, len);
        return set_number(result, v, num_truth(v));
    }
    return set_chars(result, reinterpret_cast<const NQWChar*>(at), len);
}

/* The descriptor a DREF of kind 6 points at: the byte length in bytes 2 and 3, the
 * characters' address after it (bytes 4 to 7 on the 32-bit layout). */
struct RefDescriptor {
    uint16_t reserved;
    uint16_t length;
    const NQWChar* text;
};
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(RefDescriptor, length) == 2 && offsetof(RefDescriptor, text) == 4);
#endif

/* Reference leaf: the value lies at row + refoff, or at refaddr when refoff is negative;
 * refkind says what it is. Kinds 7, 8, 10 and unknown kinds are not read. */
int32_t eval_dref(const ZNode* leaf, const void* row, ZNode* result) {
    const int32_t refoff = leaf->u.dref.refoff;
    const char* at = refoff >= 0 ? static_cast<const char*>(row) + refoff
                                 : static_cast<const char*>(leaf->u.dref.refaddr);
    switch (leaf->u.dref.refkind) {
        case 1: {
            int16_t n;
            memcpy(&n, at, sizeof n);
            return set_number(result, n, n != 0);
        }
        case 2:
        case 3: {
            int32_t n;
            memcpy(&n, at, sizeof n);
            return set_number(result, n, n != 0);
        }
        case 4: {
            const double v = read_number(at, leaf->vlen);
            return set_number(result, v, num_truth(v));
        }
        case 5:
            return set_chars(result, reinterpret_cast<const NQWChar*>(at),
                             leaf->vlen > 0 ? leaf->vlen : 0);
        case 6: {
            RefDescriptor d;
            memcpy(&d, at, sizeof d);
            return set_chars(result, d.text, d.length & ~3);
        }
        case 9: {
            uint32_t n;
            memcpy(&n, at, sizeof n);
            return set_chars(result, reinterpret_cast<const NQWChar*>(at + sizeof n),
                             counted_length(n));
        }
        default:
            return set_number(result, 0.0, 0);
    }
}

/* Whether the IN node's operand 0 is found in its list (operand 1). Operand 0's vlen picks
 * the numeric or the character search. A node without both operands, or whose list is not
 * an operator, finds nothing (the parser and the transformer never make one). */
__attribute__((noinline)) int32_t in_found(EvalCtx* ctx, ZNode* node, const void* row) {
    ZNode* x = node->u.op.args[0];
    ZNode* list = node->u.op.args[1];
    if (node->u.op.nargs < 2 || !x || !list || !zkind::is_operator(list->type)) return 0;
    return x->vlen < 0 ? do_ninop(ctx, x, list, row) : do_cinop(ctx, x, list, row);
}

int32_t tin_found(EvalCtx* ctx, ZNode* node, const void* row) {
    ZNode* x = node->u.op.args[0];
    ZNode* list = node->u.op.args[1];
    if (node->u.op.nargs < 2 || !x || !list || !zkind::is_operator(list->type)) return 0;
    return do_tinop(ctx, x, list, row);
}

/* Any other operand: evaluated into a record of its own frame, which stays off the frames
 * of the loops that call it. */
__attribute__((noinline)) int32_t truth_by_eval(EvalCtx* ctx, ZNode* op, const void* row) {
    ZNode scratch;
    return eval_tree(ctx, op, row, &scratch);
}

/* CEQ..CGE and CTEQ..CTGE, and not the unused codes between them. */
inline bool is_comparison(uint32_t type) {
    constexpr uint32_t kComparisons = 0xFC3Fu;  // bit d for type CEQ + d
    const uint32_t d = type - Z_CEQ;
    return d < 16 && ((kComparisons >> d) & 1u) != 0;
}

/* The operands of LAND, LOR and LNOT that truth_of does not test itself: NIN, TIN, TNIN
 * and anything that needs a full evaluation. */
__attribute__((noinline)) int32_t other_truth(EvalCtx* ctx, ZNode* op, const void* row) {
    switch (op->type) {
        case Z_NIN:
            return !in_found(ctx, op, row);
        case Z_TIN:
            return tin_found(ctx, op, row);
        case Z_TNIN:
            return !tin_found(ctx, op, row);
        default:
            return truth_by_eval(ctx, op, row);
    }
}

/* The truth value of an operand of LAND, LOR or LNOT, whose own value is discarded:
 * comparisons and IN predicates are tested here without a nested eval_tree and without a
 * result record, in place when their operands allow; anything else goes through
 * other_truth. An empty slot is true, as eval_tree has it. */
__attribute__((always_inline)) inline int32_t truth_of(EvalCtx* ctx, ZNode* op, const void* row) {
    if (!op) return 1;
    const uint32_t type = op->type;
    if (is_comparison(type)) {
        const int32_t t = compare_in_place(op, row);
        return t >= 0 ? t : compare_general(ctx, op, row);
    }
    if (type == Z_IN) {
        const int32_t t = in_in_place(ctx, op, row);
        return t >= 0 ? t : in_found(ctx, op, row);
    }
    return other_truth(ctx, op, row);
}

/* LAND (want = 0) stops at the first false operand and LOR (want = 1) at the first true
 * one; the node's truth is then `want`, and !want when no operand stops it (an empty LAND
 * is true, an empty LOR false). A list longer than the node's own slots is visited block
 * by block. */
__attribute__((noinline)) int32_t logical_long(EvalCtx* ctx, const ZNode* node, const void* row,
                                               int32_t want) {
    int32_t left = node->u.op.nargs;
    for (const ZNode* block = node; left > 0 && block; block = block->u.op.next) {
        const int32_t k = left < Z_NODE_ARGS ? left : Z_NODE_ARGS;
        for (int32_t s = 0; s < k; ++s)
            if (truth_of(ctx, block->u.op.args[s], row) == want) return want;
        left -= k;
    }
    return !want;
}

/* LAND or LOR with its operands in the node's own slots looped over in the caller's frame;
 * a longer list goes to logical_long. */
__attribute__((always_inline)) inline int32_t logical_body(EvalCtx* ctx, const ZNode* node,
                                                           const void* row, int32_t want) {
    const int32_t n = node->u.op.nargs;
    if (n > Z_NODE_ARGS) return logical_long(ctx, node, row, want);
    for (int32_t s = 0; s < n; ++s)
        if (truth_of(ctx, node->u.op.args[s], row) == want) return want;
    return !want;
}

__attribute__((noinline)) int32_t logical(EvalCtx* ctx, const ZNode* node, const void* row,
                                          int32_t want) {
    return logical_body(ctx, node, row, want);
}

/* truth_of as a call of its own, for LNOT, so that eval_tree's frame stays small. */
__attribute__((noinline)) int32_t operand_truth(EvalCtx* ctx, ZNode* op, const void* row) {
    return truth_of(ctx, op, row);
}

/* An IN node tested in place when it can be, else searched. */
__attribute__((noinline)) int32_t in_truth(EvalCtx* ctx, ZNode* node, const void* row) {
    const int32_t t = in_in_place(ctx, node, row);
    return t >= 0 ? t : in_found(ctx, node, row);
}

/* ISNL (want_null = 1) and NTNL (0): operand 0 in full; a number is null when missing,
 * characters when all blank or empty. */
int32_t null_test(EvalCtx* ctx, ZNode* node, const void* row, int32_t want_null) {
    ZNode v;
    eval_tree(ctx, operand(ctx, node, 0), row, &v);
    const int32_t null =
        v.type == Z_LITN ? is_missing(v.u.litn.num) : !char_truth(v.u.litc.str, v.u.litc.slen);
    return null == want_null;
}

}  // namespace

/* A character operand evaluated into `scratch`: a function call without its truth value,
 * anything else by eval_tree. A number where characters are expected (only in a tree the
 * resolver refused) reads as an empty value rather than as the bits of the double. */
CharVal char_operand_slow(EvalCtx* ctx, ZNode* x, const void* row, ZNode* scratch) {
    if (x->type == Z_FLST)
        func_value(ctx, x, row, scratch);
    else
        eval_tree(ctx, x, row, scratch);
    if (scratch->type != Z_LITC) return {scratch->u.litc.inl, 0};
    return {scratch->u.litc.str, scratch->u.litc.slen};
}

/* Evaluates the subtree at node for one row into result and returns its truth value. A
 * null node is true (1.0); every type not handled below is false with 0.0. Recursive:
 * the depth is the tree's, which ZORVParse bounds by ZORV_MAX_DEPTH. */
int32_t eval_tree(EvalCtx* ctx, ZNode* node, const void* row, ZNode* result) {
    if (!node) return set_truth(result, 1);
    switch (node->type) {
        case Z_NAME:
            return eval_name(node, row, result);
        case Z_LITN:
            return set_number(result, node->u.litn.num, num_truth(node->u.litn.num));
        case Z_LITC:
            return set_chars(result, node->u.litc.str, node->u.litc.slen);
        case Z_DREF:
            return eval_dref(node, row, result);
        case Z_LOR:
            return set_truth(result, logical(ctx, node, row, 1));
        case Z_LAND:
            return set_truth(result, logical(ctx, node, row, 0));
        case Z_LNOT:
            return set_truth(result, !operand_truth(ctx, operand(ctx, node, 0), row));
        case Z_ISNL:
            return set_truth(result, null_test(ctx, node, row, 1));
        case Z_NTNL:
            return set_truth(result, null_test(ctx, node, row, 0));
        case Z_IN:
            return set_truth(result, in_truth(ctx, node, row));
        case Z_NIN:
            return set_truth(result, !in_truth(ctx, node, row));
        case Z_TIN:
            return set_truth(result, tin_found(ctx, node, row));
        case Z_TNIN:
            return set_truth(result, !tin_found(ctx, node, row));
        case Z_BETW:
        case Z_NBTW:
            return eval_between(ctx, node, row, result);
        case Z_CONT:
        case Z_NCON:
            return set_truth(result, eval_contains(ctx, node, row));
        case Z_CEQ:
        case Z_CNE:
        case Z_CLT:
        case Z_CLE:
        case Z_CGT:
        case Z_CGE:
        case Z_CTEQ:
        case Z_CTNE:
        case Z_CTLT:
        case Z_CTLE:
        case Z_CTGT:
        case Z_CTGE:
            return set_truth(result, eval_compare(ctx, node, row));
        case Z_AADD:
        case Z_ASUB:
        case Z_AMUL:
        case Z_ADIV:
        case Z_ANEG:
        case Z_APOW:
            return eval_arith(ctx, node, row, result);
        case Z_CONC:
            return eval_conc(ctx, node, row, result);
        case Z_MIN:
        case Z_MAX:
            return eval_minmax(ctx, node, row, result);
        case Z_FLST:
            return do_func(ctx, node, row, result);
        default:
            return set_truth(result, 0);
    }
}

namespace {

/* eval_tree for the root, with the usual roots (AND, OR, IN, a comparison) sent to their
 * routines without the dispatch. */
inline int32_t root_truth(EvalCtx* ctx, ZNode* root, const void* row, ZNode* result) {
    if (root) {
        const uint32_t type = root->type;
        if (type == Z_LAND || type == Z_LOR)
            return set_truth(result, logical(ctx, root, row, type == Z_LOR));
        if (type == Z_IN) return set_truth(result, in_truth(ctx, root, row));
        if (is_comparison(type)) return set_truth(result, eval_compare(ctx, root, row));
    }
    return eval_tree(ctx, root, row, result);
}

/* The evaluation under the instance's lock. */
__attribute__((noinline)) int32_t eval_locked(EvalCtx* ctx, ZNode* root, const void* row,
                                              ZNode* result) {
    NQLock* lock = ctx->inst->lock;
    lock->Acquire(lock, 1, 1);
    const int32_t truth = root_truth(ctx, root, row, result);
    lock->Release(lock);
    return truth;
}

/* ZORVEval with a work area to take or the lock to hold, kept apart so that the plain
 * case has a small frame. */
__attribute__((noinline)) int32_t eval_guarded(ZInst* inst, const void* row, ZNode* result,
                                               ZNode* root) {
    ZNode own;
    if (!result) result = &own;
    EvalCtx ctx{inst, nullptr};
    if (inst->worksize > 0) {
        ctx.work = EvalWorkAlloc(inst);
        if (!ctx.work) return 0;
    }
    const int32_t truth = inst->serialize ? eval_locked(&ctx, root, row, result)
                                          : root_truth(&ctx, root, row, result);
    if (ctx.work) EvalWorkFree(inst, ctx.work);
    return truth;
}

/* ZORVEval for a caller that wants only the truth value of an AND or an OR, the usual
 * root, in a tree that needs neither a work area nor the lock: the loop runs in this very
 * frame and the root's value is never stored. */
__attribute__((noinline)) int32_t logical_root(ZInst* inst, ZNode* root, const void* row) {
    EvalCtx ctx{inst, nullptr};
    return logical_body(&ctx, root, row, root->type == Z_LOR);
}

}  // namespace

/* The clause's truth value for one row: 1 keeps the row. result (or a record of this call)
 * receives the root's value; root null means the instance's tree. A tree that needs a
 * work area gets one for this call only; when none can be had the answer is 0 and nothing
 * is evaluated or written. With `serialize` set the evaluation runs under the instance's
 * lock. */
int32_t ZORVEval(ZInst* inst, const void* row, ZNode* result, ZNode* root) {
    if (!root) root = inst->root;
    if (inst->worksize > 0 || inst->serialize) return eval_guarded(inst, row, result, root);
    if (!result && root && (root->type == Z_LAND || root->type == Z_LOR))
        return logical_root(inst, root, row);
    ZNode own;
    if (!result) result = &own;
    EvalCtx ctx{inst, nullptr};
    return root_truth(&ctx, root, row, result);
}
