/* Calls of built-in functions: a call is matched against the builtins table by name and
 * argument count, then either folded into a constant (a constant argument) or bound, with
 * scratch space for its result, for the evaluator to compute per row. */
#include <algorithm>
#include <cstring>

#include "frame/nodeutil.h"
#include "resolve/resolve.h"
#include "zorv/support.h"

namespace {

/* The row of builtins that the call's name and argument count match, or -1. Names are
 * compared byte for byte: the parser has upper-cased them already. */
int32_t find_builtin(const ZNode* leaf, int32_t nargs) {
    for (size_t row = 0; row < builtins.size(); ++row) {
        const ZBuiltin& b = builtins[row];
        if (b.namelen == leaf->u.nm.namelen && b.nargs == nargs &&
            std::memcmp(b.name, leaf->u.nm.name, static_cast<size_t>(b.namelen)) == 0)
            return static_cast<int32_t>(row);
    }
    return -1;
}

/* Turns the name leaf into a FUNC leaf naming `name`. The name is moved into the FUNC
 * view's own field first, since the two views share bytes. */
void make_func(ZNode* leaf, const char* name, int32_t namelen, int32_t fnum) {
    char copy[sizeof leaf->u.fn.fname];
    namelen = std::clamp(namelen, 0, static_cast<int32_t>(sizeof copy));
    std::memcpy(copy, name, static_cast<size_t>(namelen));
    std::memset(leaf->u.fn.fname, 0, sizeof leaf->u.fn.fname);
    std::memcpy(leaf->u.fn.fname, copy, static_cast<size_t>(namelen));
    leaf->u.fn.fnamelen = static_cast<int16_t>(namelen);
    leaf->u.fn.fnum = fnum;
    leaf->type = Z_FUNC;
}

}  // namespace

/* Binds or folds the call at node (an FLST: operand 0 the FNAM leaf, then the arguments).
 * Returns 0, ZORV_RESOLVE_FUNCTION for a call that names no built-in, has the wrong number
 * of arguments or gives UPCASE a number, or ZORV_RESOLVE_TOO_LONG when the scratch space
 * passes ZORV_MAX_WORK. An unknown call still turns its name leaf into a FUNC with
 * function number 1; the leaf keeps the name that was called, in the FUNC view, so that
 * it reads and prints as that name. A folded call is a character constant afterwards. */
int32_t asgn_func(ZInst* inst, ZNode* node) {
    ZNode* leaf = inst->Get(inst, node, 0);
    if (!leaf) return ZORV_RESOLVE_FUNCTION;
    const int32_t row = find_builtin(leaf, node->u.op.nargs - 1);
    if (row < 0) {
        make_func(leaf, leaf->u.nm.name, leaf->u.nm.namelen, 1);
        return ZORV_RESOLVE_FUNCTION;
    }

    ZNode* arg = inst->Get(inst, node, 1);
    if (!arg) return ZORV_RESOLVE_FUNCTION;
    if (arg->type == Z_LITC) {
        copy_record(node, arg);
        inst->FreeOp(inst, leaf);
        inst->FreeOp(inst, arg);
        if (row == 0) nqzstup(node->u.litc.str, node->u.litc.slen / 4);
        return 0;
    }
    if (arg->type == Z_LITN || arg->vlen < 0) return ZORV_RESOLVE_FUNCTION;

    const ZBuiltin& b = builtins[static_cast<size_t>(row)];
    make_func(leaf, b.name, b.namelen, row + 1);
    leaf->u.fn.colmode = 2;
    node->vlen = arg->vlen;
    return reserve_work(inst, node, 4 * static_cast<int64_t>(arg->vlen)) ? 0
                                                                         : ZORV_RESOLVE_TOO_LONG;
}
