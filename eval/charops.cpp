/* The character operators that build or search text: concatenation, into the result
 * record or the node's part of the work area, and CONTAINS. */
#include <algorithm>
#include <cstring>

#include "eval/eval.h"
#include "frame/nodeutil.h"

/* CONC: the operands' values one after the other, trailing blanks kept. A node whose
 * declared length exceeds the inline buffer builds in its own part of the work area (the
 * resolver reserved vlen bytes at workoff), any other in the result's `inl`.
 * The destination holds the declared length and no more: should operand values be longer
 * than the lengths the resolver summed (a fetch callback returning more than its column's
 * width), the result is cut at vlen bytes, on a character boundary, rather than written past
 * the space that exists. Without a work area (a tree evaluated outside ZORVEval) a long
 * concatenation is cut to the inline buffer for the same reason. */
int32_t eval_conc(EvalCtx* ctx, ZNode* node, const void* row, ZNode* result) {
    constexpr int32_t kInline = sizeof result->u.litc.inl;
    const int32_t declared = std::max<int32_t>(node->vlen, 0) & ~3;
    NQWChar* dest;
    int32_t room;
    if (declared > kInline && ctx->work != nullptr) {
        dest = reinterpret_cast<NQWChar*>(static_cast<char*>(ctx->work) + node->workoff);
        room = declared;
    } else {
        dest = result->u.litc.inl;
        room = std::min(declared, kInline);
    }
    char* at = reinterpret_cast<char*>(dest);
    int32_t used = 0;
    for (ArgCursor it(node); !it.done(); it.next()) {
        if (it.get() == nullptr) continue; /* an empty slot adds nothing */
        ZNode scratch;
        const CharVal v = char_operand(ctx, it.get(), row, &scratch);
        const int32_t take = std::min(v.bytes, room - used);
        if (take <= 0) continue;
        std::memcpy(at + used, v.str, static_cast<size_t>(take));
        used += take;
    }
    result->type = Z_LITC;
    result->u.litc.str = dest;
    result->u.litc.slen = used;
    return char_truth(dest, used);
}

/* CONT, NCON: whether the pattern's characters, trailing blanks included, occur in the
 * text. An empty pattern occurs in every text, the empty one too. */
int32_t eval_contains(EvalCtx* ctx, ZNode* node, const void* row) {
    ZNode* const* arg = node->u.op.args;
    if (node->u.op.nargs < 2 || !arg[0] || !arg[1]) return 0; /* never built by the parser */
    ZNode st, sp;
    const CharVal text = char_operand(ctx, arg[0], row, &st);
    const CharVal pat = char_operand(ctx, arg[1], row, &sp);
    const bool found = nqzsndx(text.str, text.bytes / 4, pat.str, pat.bytes / 4) >= 0;
    return node->type == Z_CONT ? found : !found;
}
