/* The parse driver: resets the instance and runs the parse engine over one clause, and the
 * two callbacks that feed it, the token callback that asks the tokenizer and the line
 * reader that hands the tokenizer the whole clause as a single line. */
#include <cstring>

#include "frame/instance_tail.h"
#include "frame/nodekinds.h"
#include "parse/parse.h"

namespace {

constexpr NQWChar kBlank = U' ';

bool blank_text(const NQWChar* text, int32_t length) {
    for (int32_t i = 0; i < length; ++i)
        if (text[i] != kBlank) return false;
    return true;
}

ZParse* parse_record(void* user) {
    return static_cast<ZParse*>(user);
}

constexpr NQStatus kNoMemory = 6; /* as the semantic actions say it */

/* Levels a node adds to a path: a chained comparison (more than two operands) adds two,
 * for the AND of comparisons that resolution makes of it. */
int32_t levels(const ZNode* node) {
    const bool chain =
        (zkind::is_comparison(node->type) || zkind::is_colon_comparison(node->type)) &&
        node->u.op.nargs > 2;
    return chain ? 2 : 1;
}

/* Whether the walk goes into a node's operands: every operator, and the NULL holders that
 * a few malformed clauses leave in the tree with operands (a * NOT b). */
bool has_operands(const ZNode* node) {
    return zkind::is_operator(node->type) || (node->type == Z_NULL && node->u.op.nargs > 0);
}

/* A node on the depth walk's path, with where its operands continue. */
struct Level {
    ZNode* block; /* the node or the overflow block that holds the next operand */
    int32_t slot; /* the next operand's slot in block */
    int32_t left; /* operands still to visit */
    int32_t depth;
};

enum class Depth { Within, Deeper, NoMemory };

/* Whether the tree at root, hung below `base` levels, stays within ZORV_MAX_DEPTH. An
 * iterative walk that stops at the first node past the bound: no recursion, since the
 * tree may be far deeper than the stack, and a path of at most ZORV_MAX_DEPTH levels.
 * The path starts in a small array on the stack, enough for any clause a person writes;
 * a deeper tree moves it into one block of the instance's pool for the bound's full
 * length. Linear in the number of nodes. */
Depth tree_depth(ZInst* inst, ZNode* root, int32_t base) {
    constexpr int32_t kLocal = 64;
    if (!root) return Depth::Within;
    const int32_t rootdepth = base + levels(root);
    if (rootdepth > ZORV_MAX_DEPTH) return Depth::Deeper;
    if (!has_operands(root)) return Depth::Within;

    Level local[kLocal];
    Level* path = local;
    int32_t cap = kLocal;
    int32_t top = 0;
    path[0] = Level{root, 0, root->u.op.nargs, rootdepth};
    Depth result = Depth::Within;
    while (top >= 0) {
        Level& at = path[top];
        if (at.left <= 0 || !at.block) {
            --top;
            continue;
        }
        ZNode* operand = at.block->u.op.args[at.slot];
        if (--at.left > 0 && ++at.slot == Z_NODE_ARGS) {
            at.block = at.block->u.op.next;
            at.slot = 0;
        }
        if (!operand) continue;
        const int32_t depth = at.depth + levels(operand);
        if (depth > ZORV_MAX_DEPTH) {
            result = Depth::Deeper;
            break;
        }
        if (!has_operands(operand)) continue;
        if (top + 1 == cap) {
            // Depth grows by at least one per level, so the bound's length always suffices.
            NQPool* pool = inst->pool;
            auto* big = static_cast<Level*>(pool->Alloc(pool, ZORV_MAX_DEPTH * sizeof(Level), 0));
            if (!big) {
                result = Depth::NoMemory;
                break;
            }
            std::memcpy(big, local, sizeof local);
            path = big;
            cap = ZORV_MAX_DEPTH;
        }
        path[++top] = Level{operand, 0, operand->u.op.nargs, depth};
    }
    if (path != local) inst->pool->Free(inst->pool, path);
    return result;
}

}  // namespace

/* Parses one clause into the instance's tree. Empty or all-blank text is not an error: it
 * returns 0 and leaves no tree. Otherwise returns the engine's status as it comes. The text
 * is not copied; it must stay valid until this returns. With the ESC option the tree is
 * wrapped for the host; when no node can be had for the wrapper, the tree stands on its
 * own (escroot stays null) and the parse's status is returned unchanged.
 *
 * A tree deeper than ZORV_MAX_DEPTH (the wrapper counted) is refused here, where it is
 * built, so that every later walk may recurse: a level-4 message, no tree, and
 * ZORV_PARSE_TOO_DEEP; 6 when memory for the check runs out, or when the line reader could
 * not make the string object that hands the clause to the tokenizer. A failed parse may leave a
 * tree too (the actions go on after a semantic error); a deep one is dropped quietly and
 * the engine's status, with its messages, stands. */
int32_t ZORVParse(ZInst* inst, const NQWChar* text, int32_t length, NQJournal* jnl) {
    inst->Reset(inst);
    if (!text || length <= 0 || blank_text(text, length)) return 0;

    ZParse* prs = &inst->prs;
    prs->text = text;
    prs->textlen = length;
    prs->jnl = jnl;

    NQEngine* engine = prs->engine;
    const NQStatus status = engine->Parse(engine, jnl);
    if (line_refused(inst)) {
        // The engine parsed an empty input, which the grammar takes for the empty clause
        // CLEAR: a clause that was never read must not pass for one.
        inst->Reset(inst);
        return kNoMemory;
    }

    const int32_t wrapper = (inst->options & ZORV_OPT_ESC) ? 1 : 0;
    const Depth depth = tree_depth(inst, inst->root, wrapper);
    if (depth != Depth::Within) {
        inst->Reset(inst);
        if (status != 0) return status;
        if (depth == Depth::NoMemory) return kNoMemory;
        if (jnl)
            nqlMessageToJnl(jnl, NQ_LEVEL_ERROR, U"clause nested too deeply: more than %d levels",
                            0, static_cast<int>(ZORV_MAX_DEPTH));
        return ZORV_PARSE_TOO_DEEP;
    }

    if (status == 0 && (inst->options & ZORV_OPT_ESC)) {
        ZNode* esc = inst->NewOp(inst, Z_ESC);
        if (esc) {
            inst->Set(inst, esc, 0, inst->root);
            inst->Set(inst, esc, 1, reinterpret_cast<ZNode*>(inst));
            inst->escroot = esc;
        }
    }
    return status;
}

/* Token callback of the engine: the next token from the tokenizer, examined and noted,
 * and traced when the token trace is on. Returns 0 with *token set, or the tokenizer's
 * status. */
NQStatus ZORVTokenizer(void* user, int32_t, int32_t, NQToken** token) {
    ZParse* prs = parse_record(user);
    NQTokenizer* tokenizer = prs->tokenizer;
    *token = nullptr;

    NQStatus status = tokenizer->Next(tokenizer, token);
    if (status != 0) return status;
    prs->tok = *token;
    status = tokenizer->Examine(tokenizer, *token);
    if (status != 0) return status;
    tokenizer->Note(tokenizer, *token);

    if (prs->toktrace && prs->jnl) {
        const NQToken* t = *token;
        nqlMessageToJnl(prs->jnl, NQ_LEVEL_TRACE, U"tok: type %2d \"%.*s\"", 0,
                        static_cast<int>(t->code), static_cast<int>(t->length), t->text);
    }
    return 0;
}

/* Line reader of the tokenizer. The first call hands over the clause as one string object;
 * the next call, with that line, releases it and ends the input. Returns 0 when a line was
 * stored (and the line flag set), 1 at the end of the input; a string object that cannot
 * be made ends the input too, and is noted for ZORVParse, which then fails the parse. */
int32_t ZORVGetLine(int32_t* lineflag, NQString** line, void* user) {
    ZParse* prs = parse_record(user);
    if (*line) {
        (*line)->Release(*line);
        *line = nullptr;
        prs->text = nullptr;
        return 1;
    }
    if (!prs->text) return 1;

    NQStringExt* strext = prs->strext;
    NQString* s = strext->NewString(strext, prs->pool, prs->text, prs->textlen, 1);
    if (!s) {
        line_refused(prs->inst) = true;
        return 1;
    }
    *line = s;
    *lineflag = 1;
    return 0;
}
