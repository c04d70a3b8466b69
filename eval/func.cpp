/* Function calls: the one built-in, UPCASE, evaluated for the current row into the call's
 * own region of the work area. */
#include <cassert>
#include <cstring>

#include "eval/eval.h"

namespace {

/* The value of a call that gives nothing. */
NQWChar empty_value[1] = {kBlank};

}  // namespace

/* An FLST node: operand 0 the function leaf, operand 1 the argument. An unbound call
 * (function number 0) is a single blank in the result's inline buffer, false. Otherwise the
 * argument, cut to the call's declared length (the node's vlen), is copied to the work area
 * at the node's workoff and upper-cased there; every non-zero function number is UPCASE.
 * An argument that is not characters (only in a tree the resolver refused) gives the empty
 * value. A call evaluated without a work area (a tree whose scratch space was never sized)
 * is built in the result's inline buffer instead, cut to its 48 bytes. */
void func_value(EvalCtx* ctx, ZNode* node, const void* row, ZNode* result) {
    const int32_t nargs = node->u.op.nargs;
    const ZNode* name = nargs > 0 ? node->u.op.args[0] : nullptr;
    if (!name || name->u.fn.fnum == 0) {
        result->type = Z_LITC;
        result->u.litc.inl[0] = kBlank;
        result->u.litc.str = result->u.litc.inl;
        result->u.litc.slen = 4;
        result->vlen = 4;
        return;
    }

    // A constant or a plain column is read in place; anything else is evaluated into the
    // scratch record. A missing argument has no characters.
    ZNode scratch;
    ZNode* argnode = nargs > 1 ? node->u.op.args[1] : nullptr;
    const CharVal arg = argnode ? char_operand(ctx, argnode, row, &scratch) : CharVal{nullptr, 0};
    int32_t n = arg.bytes;
    if (n > node->vlen) n = node->vlen;
    NQWChar* dest = empty_value;
    if (n >= 4) {
        if (ctx->work) {
            dest = reinterpret_cast<NQWChar*>(static_cast<char*>(ctx->work) + node->workoff);
        } else {
            dest = result->u.litc.inl;
            if (n > static_cast<int32_t>(sizeof result->u.litc.inl)) n = sizeof result->u.litc.inl;
        }
        memmove(dest, arg.str, static_cast<size_t>(n / 4) * 4);
        nqzstup(dest, n / 4);
    }
    n = n >= 4 ? n / 4 * 4 : 0;
    result->type = Z_LITC;
    result->u.litc.str = dest;
    result->u.litc.slen = n;
}

/* The call's value and its truth: the character truth of the value (one blank, or an empty
 * value, is false). */
int32_t do_func(EvalCtx* ctx, ZNode* node, const void* row, ZNode* result) {
    func_value(ctx, node, row, result);
    return char_truth(result->u.litc.str, result->u.litc.slen);
}
