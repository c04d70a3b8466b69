/* The tree printer: draws a tree sideways, one line per node, through a message target.
 * An operator's first operand is drawn above it and the others below, joined by bars;
 * each line shows the node's value length, its type and, for leaves, their contents.
 * Everything lives in a fixed-size context on the caller's stack: printing allocates
 * nothing, and recursion is bounded by the depth cut. */
#include <cassert>

#include "frame/frame.h"
#include "frame/nodeutil.h"
#include "zorv/zorv.h"

namespace {

constexpr int32_t kPrefixWidth = 250;  // drawing columns left of a node
constexpr int32_t kLineWidth = 500;    // characters of one output line
constexpr int32_t kIndentStep = 10;    // columns per level of depth
constexpr int32_t kIndentLimit = 240;  // deeper nodes are cut (depth 25 and below)
constexpr int32_t kTypeField = 8;      // characters of the type field
constexpr int32_t kLitcShown = 29;     // longest character constant shown whole
constexpr int32_t kLitcCut = 30;       // characters shown of a longer one

constexpr NQWChar kBackslash = U'\\';

// The deepest node drawn still has its bar column, indent - 1, inside the prefix.
static_assert(kIndentLimit + kIndentStep <= kPrefixWidth);

struct PrintCtx {
    NQJournal* out;
    NQWChar prefix[kPrefixWidth];
    int32_t indent;
    int32_t fill;
    NQWChar line[kLineWidth];
};

/* Appends formatted text to the line; text beyond the line's capacity is cut. */
void pipOut(PrintCtx* ctx, const NQWChar* format, ...) {
    int32_t written = 0;
    va_list ap;
    va_start(ap, format);
    ctx->out->FormatToBuf(ctx->out, format, pvStrTLen(format), ctx->line + ctx->fill,
                          kLineWidth - ctx->fill, &written, ap);
    va_end(ap);
    if (written > 0) ctx->fill += written;
    if (ctx->fill > kLineWidth) ctx->fill = kLineWidth;
}

/* Hands the collected line to the message target as one message; an empty line is never
 * sent. */
void pipFlush(PrintCtx* ctx) {
    if (ctx->fill > 0) {
        nqlMessageToJnl(ctx->out, NQ_LEVEL_PLAIN, U"%.*s", 4, ctx->fill, ctx->line);
    }
    ctx->fill = 0;
}

/* Appends the value field: the node's vlen right-aligned in four columns and a blank. */
void trenode(ZInst*, PrintCtx* ctx, const ZNode* node) {
    pipOut(ctx, U"%4d ", node ? static_cast<int>(node->vlen) : 0);
}

/* Writes the 8-character type field into buffer: '-', the node's name and dashes, or '-',
 * the code and dashes when the code has no name. The first row with the code wins, so
 * range markers show only for codes without a name of their own. */
NQWChar* trecode(ZInst*, PrintCtx* ctx, int32_t type, NQWChar* buffer) {
    for (const ZNodeName* row = nodename; row->code != 999; ++row) {
        if (row->code == type) {
            nqlMessageToBuf(ctx->out, U"-%s%.*s", 0, buffer, kTypeField, nullptr, row->name,
                            7 - pvStrTLen(row->name), U"-------");
            return buffer;
        }
    }
    nqlMessageToBuf(ctx->out, U"-%3d----", 0, buffer, kTypeField, nullptr, type);
    return buffer;
}

bool is_leaf(const ZNode* node) {
    return node->type <= Z_LFHI;
}

/* Appends what a leaf holds: names, numbers with their date/time kind, character
 * constants with the hex of their storage, formats and bound functions. */
void leaf_contents(PrintCtx* ctx, const ZNode* node) {
    switch (node->type) {
        case Z_NAME:
        case Z_FNAM:
            pipOut(ctx, U"(%.*hs)", static_cast<int>(node->u.nm.namelen), node->u.nm.name);
            break;
        case Z_LITN:
            pipOut(ctx, U"(%g", node->u.litn.num);
            switch (node->u.litn.tag) {
                case 1:
                    pipOut(ctx, U" DATE)");
                    break;
                case 2:
                    pipOut(ctx, U" TIME)");
                    break;
                case 3:
                    pipOut(ctx, U" DATETIME)");
                    break;
                default:
                    pipOut(ctx, U")");
                    break;
            }
            break;
        case Z_LITC: {
            int32_t n = node->u.litc.slen / 4;
            if (n < 0) n = 0;
            const bool whole = n <= kLitcShown;
            const int32_t shown = whole ? n : kLitcCut;
            pipOut(ctx, whole ? U"('%.*s' " : U"('%.*s'... ", shown, node->u.litc.str);
            const auto* bytes = reinterpret_cast<const uint8_t*>(node->u.litc.str);
            for (int32_t i = 0; i < shown * 4; ++i) pipOut(ctx, U"%02x", bytes[i]);
            pipOut(ctx, whole ? U")" : U"...)");
            break;
        }
        case Z_FMT:
            pipOut(ctx, U"(%.*hs%d.%d)", static_cast<int>(node->u.fn.fnamelen), node->u.fn.fname,
                   static_cast<int>(node->u.fn.fmtw), static_cast<int>(node->u.fn.fmtd));
            break;
        case Z_FUNC:
            pipOut(ctx, U"(%.*hs())", static_cast<int>(node->u.fn.fnamelen), node->u.fn.fname);
            break;
        default:
            break;
    }
}

/* Prints node with the connector c ('-', '/' or a backslash) and, recursively, its
 * operands. The column indent-1 of a node is the column of its parent's bar: a first
 * operand sets the bar there after its own line, the last operand clears it before.
 * The recursion stops at the depth cut (26 levels), well within ZORV_MAX_DEPTH. */
void treprn(ZInst* inst, PrintCtx* ctx, ZNode* node, NQWChar c) {
    if (ctx->indent > kIndentLimit) {
        pipOut(ctx, U"...overflow tree print...");
        pipFlush(ctx);
        return;
    }
    ctx->indent += kIndentStep;
    assert(ctx->indent >= 1 && ctx->indent <= kPrefixWidth);
    NQWChar* bar = &ctx->prefix[ctx->indent - 1];
    NQWChar field[kTypeField];

    if (node == nullptr) {
        if (c == kBackslash) *bar = U' ';
        trenode(inst, ctx, nullptr);
        pipOut(ctx, U"%.*s%c-empty-", ctx->indent, ctx->prefix, c);
        pipFlush(ctx);
        if (c == U'/') *bar = U'|';
    } else if (is_leaf(node)) {
        if (c == kBackslash) *bar = U' ';
        trenode(inst, ctx, node);
        pipOut(ctx, U"%.*s%c%.8s", ctx->indent, ctx->prefix, c,
               trecode(inst, ctx, node->type, field));
        if (c == U'/') *bar = U'|';
        leaf_contents(ctx, node);
        pipFlush(ctx);
    } else {
        // One walk over the operands, block by block: fetching operand i by index would
        // walk the overflow chain from its head each time, quadratic in the operands.
        const int32_t n = node->u.op.nargs;
        ArgCursor operand(node);
        if (!operand.done()) {
            treprn(inst, ctx, operand.get(), U'/');
            operand.next();
        }
        if (c == kBackslash) *bar = U' ';
        // No bar runs below an operator with a single operand.
        if (n == 1 && ctx->indent + 9 < kPrefixWidth) ctx->prefix[ctx->indent + 9] = U' ';
        trenode(inst, ctx, node);
        pipOut(ctx, U"%.*s%c%.8s|", ctx->indent, ctx->prefix, c,
               trecode(inst, ctx, node->type, field));
        pipFlush(ctx);
        if (c == U'/') *bar = U'|';
        for (; !operand.done(); operand.next())
            treprn(inst, ctx, operand.get(), operand.index() == n - 1 ? kBackslash : U'-');
        // The last operand got the backslash only if the chain held all nargs of them.
        assert(n >= 0 && operand.index() == n && "an operator's chain holds all its operands");
    }
    ctx->indent -= kIndentStep;
}

void print_tree(ZInst* inst, NQJournal* out, ZNode* node) {
    if (out == nullptr) return;
    PrintCtx ctx;
    ctx.out = out;
    pvMemTSet(ctx.prefix, U' ', kPrefixWidth);
    ctx.indent = -9;
    ctx.fill = 0;
    treprn(inst, &ctx, node, U'-');
}

}  // namespace

extern "C" {

/* Prints the instance's whole tree to out; nothing when out is null. */
void ZORVPrint(ZInst* inst, NQJournal* out) {
    print_tree(inst, out, inst->root);
}

/* Prints the subtree at node to out; a null node prints one "-empty-" line. */
void ZORVPrintSubtree(ZInst* inst, NQJournal* out, ZNode* node) {
    print_tree(inst, out, node);
}
}
