/* The resolver: one walk, children first, that has the caller bind every column name,
 * splits chained comparisons, binds built-in calls and gives every operator its value
 * kind and length (vlen), refusing operands of the wrong kind; then the transformer, and
 * the evaluation work area sized to the scratch space the tree reserved. */
#include "resolve/resolve.h"

#include "frame/evalwork.h"
#include "frame/nodekinds.h"
#include "frame/nodeutil.h"

namespace {

constexpr int32_t kInlineResult = 48;    /* longer concatenations need scratch space */
constexpr int64_t kLongestValue = 32767; /* vlen is 16 bits */

using Rule = zkind::TypingRule;
constexpr Rule rule_of(int32_t type) {
    return zkind::typing_rule(type);
}

int32_t mismatch(Rule rule) {
    if (rule == Rule::Arithmetic) return ZORV_RESOLVE_NOT_NUMERIC;
    if (rule == Rule::Character) return ZORV_RESOLVE_NOT_CHARACTER;
    return ZORV_RESOLVE_MIXED;
}

/* Kinds differ when the signs differ: an untyped operand (0) counts as character. */
bool same_kind(int64_t a, int64_t b) {
    return (a < 0) == (b < 0);
}

/* Types the operator at node, whose operands are resolved: checks their kinds against
 * the first typed operand (the reference; untyped operands before it are not checked),
 * sets vlen and reserves scratch space for a long concatenation. Returns 0 or the status
 * of the first operand of the wrong kind, with vlen left as it was. */
int32_t type_operator(ZInst* inst, ZNode* node) {
    const Rule rule = rule_of(node->type);
    ArgCursor it(node);
    int64_t ref = 0;
    for (; !it.done(); it.next()) {
        const ZNode* operand = it.get();
        if (operand && operand->vlen != 0) {
            ref = operand->vlen;
            it.next();
            break;
        }
    }

    if (rule == Rule::Arithmetic) {
        if (ref > 0) return ZORV_RESOLVE_NOT_NUMERIC;
        ref = -8;
    } else if (rule == Rule::Character && ref < 0) {
        return ZORV_RESOLVE_NOT_CHARACTER;
    } else if (rule == Rule::Colon && ref < 0) {
        node->type = static_cast<uint16_t>(node->type - zkind::kColonStep);
        return ZORV_RESOLVE_COLON_NUMERIC;
    }

    if (rule != Rule::Logical) {
        for (; !it.done(); it.next()) {
            const ZNode* operand = it.get();
            if (!operand) continue;
            const int64_t v = operand->vlen;
            if (!same_kind(v, ref)) return mismatch(rule);
            if (node->type == Z_CONC)
                ref += v;
            else if (rule == Rule::Widest && ((ref < 0 && v < ref) || (ref > 0 && v > ref)))
                ref = v;
        }
    }

    // A concatenation longer than vlen can say is refused rather than cut: the evaluator
    // would otherwise produce a value of another length than the one the tree promises.
    if (ref > kLongestValue) return ZORV_RESOLVE_TOO_LONG;
    node->vlen = static_cast<int16_t>(zkind::is_boolean_valued(node->type) ? -8 : ref);
    if (node->type == Z_CONC && node->vlen > kInlineResult && !reserve_work(inst, node, node->vlen))
        return ZORV_RESOLVE_TOO_LONG;
    return 0;
}

}  // namespace

bool reserve_work(ZInst* inst, ZNode* node, int64_t bytes) {
    const int32_t start = inst->worksize == 0 ? kWorkLinkBytes : inst->worksize;
    if (bytes < 0 || start + bytes > ZORV_MAX_WORK) return false;
    node->workoff = static_cast<uint32_t>(start);
    inst->worksize = start + static_cast<int32_t>(bytes);
    return true;
}

/* Resolves the subtree at node: NAME leaves go to lookup (with no callback they stay
 * unbound), other leaves stay as they are; an operator has its chain split (when it is
 * one), its operands resolved left to right, its call bound, and is then typed. The
 * first non-zero status ends the walk and is returned; what lies after it stays as it
 * was. Recursive: the depth is bounded by ZORV_MAX_DEPTH, which ZORVParse enforces
 * (a chained comparison counting two levels there, for the AND it becomes here). */
int32_t resolve_tree(ZInst* inst, ZNode* node, NQJournal* jnl, ZLookup lookup, void* lookupctx) {
    if (!node) return 0;
    if (zkind::is_leaf(node->type))
        return node->type == Z_NAME && lookup ? lookup(lookupctx, node, jnl) : 0;

    int32_t status = 0;
    if ((zkind::is_comparison(node->type) || zkind::is_colon_comparison(node->type)) &&
        node->u.op.nargs > 2) {
        status = do_range(inst, node);
        if (status != 0) return status;
    }
    for (ArgCursor it(node); !it.done(); it.next()) {
        status = resolve_tree(inst, it.get(), jnl, lookup, lookupctx);
        if (status != 0) return status;
    }
    if (node->type == Z_FLST) {
        status = asgn_func(inst, node);
        if (status != 0 || node->type != Z_FLST) return status;
    }
    return type_operator(inst, node);
}

/* Binds and types the instance's tree (see resolve_tree), then transforms it and sizes
 * the evaluation work area; both happen whatever the walk's status, which is returned. */
int32_t ZORVResolve(ZInst* inst, NQJournal* jnl, ZLookup lookup, void* lookupctx) {
    inst->worksize = 0;
    const int32_t status = resolve_tree(inst, inst->root, jnl, lookup, lookupctx);
    ZORVTran(inst, jnl);
    EvalWorkSize(inst);
    return status;
}
