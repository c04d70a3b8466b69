/* The semantic callback of the parse engine. Each action symbol of the WHERE grammar comes
 * here with the current lookahead token; the twelve actions build the expression tree on
 * the parse stack, one holder node per level, and @TERM stores the finished tree in root. */
#include <bit>
#include <cassert>
#include <cstring>

#include "frame/frame.h"
#include "frame/nodekinds.h"
#include "parse/grammar_codes.h"
#include "parse/parse.h"
#include "parse/parsestack.h"
#include "support/utf8.h"
#include "zorv/support.h"

namespace {

using namespace where;  // the grammar's action and terminal codes

constexpr NQStatus kDone = 0;
constexpr NQStatus kCannotBuild = 1;
constexpr NQStatus kNoMemory = 6;

constexpr double kOrdinaryMissing = std::bit_cast<double>(0xFFFFFE0000000000ull);

constexpr int32_t kIntChars = 31; /* an "int" token is read from this many characters */
constexpr int32_t kNameBytes = static_cast<int32_t>(sizeof(ZNode::u.nm.name));
constexpr int32_t kNameChars = 32; /* a longer name token is an error */
constexpr int32_t kInlineChars = static_cast<int32_t>(sizeof(ZNode::u.litc.inl) / sizeof(NQWChar));

/* What every action works with: the engine's context, the lookahead token, the parse
 * record and its instance. */
struct Sem {
    NQParseContext* ctx;
    const NQToken* tok;
    ZParse* prs;
    ZInst* inst;
};

template <typename... Args>
void message(ZParse* prs, int32_t level, const NQWChar* fmt, Args... args) {
    if (prs->jnl != nullptr) nqlMessageToJnl(prs->jnl, level, fmt, 0, args...);
}

/* The slot d levels below the current one, or null when there is no such level. A failed
 * growth leaves stki one past the array, so the index is checked rather than stktop. */
ZNode** slot(ZParse* prs, int32_t d) {
    const int32_t i = prs->stki - d;
    if (prs->stk == nullptr || i < 0 || i >= prs->stkcap) return nullptr;
    return prs->stk + i;
}

ZNode* holder(ZParse* prs, int32_t d) {
    ZNode** s = slot(prs, d);
    return s != nullptr ? *s : nullptr;
}

NQStatus push(ZParse* prs) {
    return yowspsh(prs) == 0 ? kDone : kNoMemory;
}

int32_t token_length(const NQToken* tok) {
    return tok != nullptr ? tok->length : 0;
}

/* ---- leaves ---- */

void fill_number(const Sem& s, ZNode* n) {
    const NQToken* tok = s.tok;
    const int32_t len = token_length(tok);
    n->vlen = -8;
    switch (tok != nullptr ? tok->code : 0) {
        case T_INT: {
            NQWChar digits[kIntChars + 1];
            const int32_t k = len < kIntChars ? len : kIntChars;
            if (k > 0) std::memcpy(digits, tok->text, static_cast<size_t>(k) * sizeof(NQWChar));
            digits[k] = 0;
            n->u.litn.num = nqzsttol(digits);
            break;
        }
        case T_NBR: {
            /* Without a locale nothing converts, which reads as a partial conversion. */
            NQLocale* loc = s.inst->ext != nullptr ? s.inst->ext->locale : nullptr;
            double value = 0.0;
            int32_t used = -1;
            const NQStatus st = loc != nullptr ? loc->ToNumber(loc, tok->text, len, &value, &used)
                                               : NQ_STATUS_NOT_A_NUMBER;
            if (st == NQ_STATUS_VALUE_ZERO)
                n->u.litn.num = 0.0;
            else if (st == 0 && used == len)
                n->u.litn.num = value;
            else
                n->u.litn.num = kOrdinaryMissing;
            break;
        }
        case T_DATE:
            n->u.litn.tag = 1;
            break;
        case T_TIME:
            n->u.litn.tag = 2;
            break;
        case T_DATETIME:
            n->u.litn.tag = 3;
            break;
        case T_MISSING:
            n->u.litn.num = len > 1 ? pvMissVal(static_cast<int>(tok->text[1])) : kOrdinaryMissing;
            break;
        default:
            s.ctx->error = 1;
            break;
    }
}

/* Short texts live in the node itself; longer ones get an arena buffer. Either way the
 * buffer holds the token and one more unit, for the 0 that quote removal stores. */
NQStatus fill_string(const Sem& s, ZNode* n) {
    const int32_t len = token_length(s.tok);
    NQWChar* buf = n->u.litc.inl;
    if (len + 1 > kInlineChars) {
        buf = static_cast<NQWChar*>(
            s.inst->Alloc(s.inst, (len + 1) * static_cast<int32_t>(sizeof(NQWChar))));
        if (buf == nullptr) return kNoMemory;
    }
    if (len > 0) std::memcpy(buf, s.tok->text, static_cast<size_t>(len) * sizeof(NQWChar));
    const int32_t kept = nqzsrpq(buf, len);
    n->u.litc.str = buf;
    n->vlen = static_cast<int16_t>(kept * static_cast<int32_t>(sizeof(NQWChar)));
    n->u.litc.slen = n->vlen;
    return kDone;
}

/* When the host needs no transcoder its 8-bit encoding is UTF-8 already, so the name is
 * encoded here: whole characters only, as many as fit in the name field, as the
 * transcoder itself would cut it. */
int32_t encode_name(const NQWChar* text, int32_t len, char* name) {
    int32_t used = 0;
    for (int32_t i = 0; i < len; i++) {
        char bytes[4];
        const int32_t k = utf8::encode(text[i], bytes);
        if (used + k > kNameBytes) break;
        std::memcpy(name + used, bytes, static_cast<size_t>(k));
        used += k;
    }
    return used;
}

void fill_name(const Sem& s, ZNode* n) {
    const int32_t len = token_length(s.tok);
    if (len > kNameChars) {
        s.ctx->error = 1;
        return;
    }
    NQWChar up[kNameChars];
    if (len > 0) std::memcpy(up, s.tok->text, static_cast<size_t>(len) * sizeof(NQWChar));
    nqzstup(up, len);
    NQTranscoder* xc = s.inst->ext != nullptr ? s.inst->ext->xcoder : nullptr;
    int32_t written = 0;
    if (xc != nullptr)
        xc->Transcode(xc, up, len * static_cast<int32_t>(sizeof(NQWChar)), n->u.nm.name, kNameBytes,
                      &written, 0);
    else
        written = encode_name(up, len, n->u.nm.name);
    if (written < 0) written = 0;
    if (written > kNameBytes) written = kNameBytes;
    n->u.nm.namelen = static_cast<int16_t>(written);
}

/* @PUSH with a kind: the leaf goes into the current holder as its only argument and a
 * level is pushed above it. A leaf that set the error flag is placed all the same. */
NQStatus push_leaf(const Sem& s, int32_t kind, int32_t arg2) {
    ZInst* inst = s.inst;
    ZNode* h = holder(s.prs, 0);
    if (h == nullptr) return kNoMemory;
    ZNode* n = inst->NewOp(inst, kind);
    if (n == nullptr) return kNoMemory;
    switch (kind) {
        case Z_LITN:
            fill_number(s, n);
            break;
        case Z_LITC:
        case Z_LABL:
        case Z_CMSG:
            if (fill_string(s, n) != kDone) return kNoMemory;
            break;
        case Z_NAME:
        case Z_FNAM:
        case Z_TABL:
        case Z_WNAM:
        case Z_ANAM:
        case Z_HNAM:
        case Z_XNAM:
            fill_name(s, n);
            break;
        case Z_UNDO:
        case Z_CLR:
        case Z_SAY:
        case Z_NULL:
        case Z_STAR:
        case Z_USER:
        case Z_BYNM:
        case Z_CMTN:
        case Z_CMTU:
            break;
        case Z_JTAG:
            n->u.jtag.ival = arg2;
            break;
        case Z_FMT:
            s.ctx->error = 1;
            break; /* PUT and INPUT calls are refused here */
        default:
            message(s.prs, NQ_LEVEL_ERROR, U"ZORVSemantics: push what (%d)?", kind);
            return kCannotBuild;
    }
    inst->Set(inst, h, 0, n);
    h->u.op.nargs = 1;
    return push(s.prs);
}

/* ---- operators ---- */

/* @OP: the pending operator of the current level. The colon after a comparison arrives as
 * CTEQ and turns the comparison one level down into its colon form. */
NQStatus set_operator(const Sem& s, int32_t op) {
    ZNode* h = holder(s.prs, op == Z_CTEQ ? 1 : 0);
    if (h == nullptr) return kDone;
    // The grammar places the colon's @OP right after a comparison's @LIST.
    assert(op != Z_CTEQ || zkind::is_comparison(h->type));
    if (op == Z_CTEQ)
        h->type = static_cast<uint16_t>(h->type + zkind::kColonStep);
    else
        h->type = static_cast<uint16_t>(op);
    return kDone;
}

/* @POP: folds the operator level R into the operand level L below it. The new node takes
 * L's operand and R's operand in that order, skipping either when it is a NULL node, and
 * becomes L's operand in its place. */
NQStatus fold_operator(const Sem& s) {
    ZInst* inst = s.inst;
    ZNode* r = yowspop(s.prs);
    if (r == nullptr) return kNoMemory;
    ZNode* n = inst->NewOp(inst, r->type);
    if (n == nullptr) return kNoMemory;
    ZNode* l = yowspop(s.prs);
    if (l == nullptr) return kNoMemory;
    // The operand level holds its operand (an @ADD put it there), so the count covers the
    // slot that the new node takes over below.
    assert(l->u.op.nargs >= 1);
    ZNode* left = inst->Get(inst, l, 0);
    if (left != nullptr && left->type != Z_NULL) inst->Set(inst, n, 0, left);
    ZNode* right = inst->Get(inst, r, 0);
    if (right != nullptr && right->type != Z_NULL) inst->Set(inst, n, -1, right);
    l->u.op.args[0] = n; /* replaces the operand; the count stays as it is */
    return push(s.prs);
}

/* @INIT: the stack array is made once per parse; slot 0 gets a fresh or cleared holder. */
NQStatus init_stack(const Sem& s) {
    ZParse* prs = s.prs;
    ZInst* inst = s.inst;
    if (prs->stk == nullptr) {
        auto* slots = static_cast<ZNode**>(
            inst->Alloc(inst, kStackStep * static_cast<int32_t>(sizeof(ZNode*))));
        if (slots == nullptr) return kNoMemory;
        std::memset(slots, 0, kStackStep * sizeof(ZNode*));
        prs->stk = slots;
        prs->stkcap = kStackStep;
    }
    prs->stki = 0;
    prs->stktop = prs->stk;
    if (*prs->stktop == nullptr) {
        *prs->stktop = inst->NewOp(inst, Z_NULL);
        if (*prs->stktop == nullptr) return kNoMemory;
    } else {
        **prs->stktop = opzero;
    }
    return kDone;
}

/* @TERM: a complete clause leaves exactly one level above the tree's holder. */
NQStatus term(const Sem& s) {
    ZParse* prs = s.prs;
    ZInst* inst = s.inst;
    if (prs->stki > 1)
        message(prs, NQ_LEVEL_ERROR, U"yowsem: (term) parse stack not empty, stacki=%d",
                static_cast<int>(prs->stki));
    inst->root = nullptr;
    if (prs->stki == 1) {
        ZNode* h = yowspop(prs);
        if (h != nullptr) inst->root = inst->Get(inst, h, 0);
    }
    return kDone;
}

/* @LIST: types the current level as a list operator. A pending NOT in the holder negates
 * the code; a unary minus right after another one folds into it instead. */
NQStatus list(const Sem& s, int32_t op) {
    ZNode* h = holder(s.prs, 0);
    if (h == nullptr) return kNoMemory;
    if (h->type == Z_INOT) {
        op = yowsnot(op);
        assert(op >= 0 && "a pending NOT stands only before a predicate or comparison");
    }
    ZNode* b = holder(s.prs, 1);
    if (op == Z_ANEG && b != nullptr && (b->type == Z_ANEG || b->type == Z_APOS)) {
        b->type = b->type == Z_ANEG ? Z_APOS : Z_ANEG;
        return kDone;
    }
    h->type = static_cast<uint16_t>(op);
    return push(s.prs);
}

/* @ADD: the operand finished on the level below the current one moves into the holder
 * beneath it, at position `at` (-1 appends); its own level is then cleared for reuse. A
 * store that needs a new overflow block which the arena cannot give leaves the list as it
 * was (ZORVSet has no status to say so): the list's count tells, and the parse ends with
 * 6 rather than go on without the operand. */
NQStatus add(const Sem& s, int32_t at) {
    ZInst* inst = s.inst;
    ZNode* h = yowspop(s.prs);
    ZNode* x = h != nullptr ? inst->Get(inst, h, 0) : nullptr;
    ZNode* p = holder(s.prs, 1);
    assert(p != nullptr && "an operand level has a holder below it");
    if (p != nullptr) {
        const int32_t position = at < 0 ? p->u.op.nargs : at;
        inst->Set(inst, p, at, x);
        if (p->u.op.nargs <= position) return kNoMemory;
    }
    if (ZNode* cur = holder(s.prs, 0)) *cur = opzero;
    return kDone;
}

/* @GEN: the finished list holder becomes a tree node. A new NULL node holding it takes
 * its slot, so the tree node is never cleared when the level is reused. */
NQStatus gen(const Sem& s) {
    ZInst* inst = s.inst;
    ZNode* h = yowspop(s.prs);
    assert(h != nullptr && "@GEN finishes a list level");
    ZNode** at = slot(s.prs, 0);
    if (at == nullptr) return kNoMemory;
    ZNode* n = inst->NewOp(inst, Z_NULL);
    if (n == nullptr) return kNoMemory;
    inst->Set(inst, n, 0, h);
    *at = n;
    return push(s.prs);
}

/* @SWAP: exchanges the two holders below the current one, bringing a predicate holder
 * under its first operand. */
NQStatus swap(const Sem& s) {
    ZNode** b = slot(s.prs, 1);
    ZNode** b2 = slot(s.prs, 2);
    assert(b != nullptr && b2 != nullptr && "@SWAP comes with two levels below");
    if (b != nullptr && b2 != nullptr) {
        ZNode* t = *b;
        *b = *b2;
        *b2 = t;
    }
    return kDone;
}

/* @FUNC: the name just read becomes a call. The name's holder F turns into an FLST whose
 * argument 0 is the name as an FNAM leaf; the holder A above it takes over F's pending
 * operator and the two change places, so the call's arguments are then added to F. */
NQStatus func(const Sem& s) {
    ZInst* inst = s.inst;
    if (push(s.prs) != kDone) return kNoMemory;
    ZNode** a = slot(s.prs, 1);
    ZNode** f = slot(s.prs, 2);
    assert(a != nullptr && f != nullptr && "@FUNC follows the name's level");
    if (a == nullptr || f == nullptr) return kDone;
    ZNode* fh = *f;
    ZNode* ah = *a;
    *a = fh;
    *f = ah;
    ah->type = fh->type;
    fh->type = Z_FLST;
    ZNode* name = inst->Get(inst, fh, 0);
    assert(name != nullptr && name->type == Z_NAME && "@FUNC follows the @PUSH of a name");
    if (name != nullptr) name->type = Z_FNAM;
    fh->u.op.nargs = 1;
    return kDone;
}

void trace(const Sem& s, const NQAction* action, int32_t arg) {
    const int16_t code = action->code;
    const NQWChar* name = code >= 0 && code < static_cast<int16_t>(kActionNames.size()) &&
                                  kActionNames[code] != nullptr
                              ? kActionNames[code]
                              : U"?";
    const int32_t len = token_length(s.tok);
    const NQWChar* text = s.tok != nullptr ? s.tok->text : nullptr;
    message(s.prs, NQ_LEVEL_TRACE, U"sem: %s narg=%2d arg=%3d word=%d,%p '%.*s'", name,
            static_cast<int>(action->nargs), static_cast<int>(arg), static_cast<int>(len),
            static_cast<const void*>(text), static_cast<int>(len), text != nullptr ? text : U"");
}

}  // namespace

/* Returns 0 when the action is done, 1 for a leaf kind that cannot be built, 6 when the
 * arena is exhausted. Semantic errors are reported through the context's error flag. */
NQStatus ZORVSemantics(NQParseContext* context, NQToken* token, const NQAction* action) {
    auto* prs = static_cast<ZParse*>(context->user);
    assert(prs != nullptr && prs->inst != nullptr && &prs->inst->prs == prs);
    const Sem s{context, token, prs, prs->inst};
    const int32_t arg = action->nargs > 0 ? action->args[0] : 0;
    const int32_t arg2 = action->nargs > 1 ? action->args[1] : 0;
    if (context->trace) trace(s, action, arg);

    switch (action->code) {
        case A_SPECIAL:
            return kDone;
        case A_PUSH:
            return action->nargs > 0 ? push_leaf(s, arg, arg2) : push(prs);
        case A_OP:
            return set_operator(s, arg);
        case A_POP:
            return fold_operator(s);
        case A_INIT:
            return init_stack(s);
        case A_TERM:
            return term(s);
        case A_LIST:
            return list(s, arg);
        case A_ADD:
            return add(s, action->nargs > 0 ? arg : -1);
        case A_GEN:
            return gen(s);
        case A_SWAP:
            return swap(s);
        case A_FUNC:
            return func(s);
        case A_TOKSP:
            return kDone;
        default:
            message(prs, NQ_LEVEL_ERROR, U"YOWSEM: unknown semantic action %d.",
                    static_cast<int>(action->code));
            return kDone;
    }
}
