/* The parse driver: resets the instance and runs the parse engine over one clause, and the
 * two callbacks that feed it, the token callback that asks the tokenizer and the line
 * reader that hands the tokenizer the whole clause as a single line. */
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

}  // namespace

/* Parses one clause into the instance's tree. Empty or all-blank text is not an error: it
 * returns 0 and leaves no tree. Otherwise returns the engine's status as it comes. The text
 * is not copied; it must stay valid until this returns. With the ESC option the tree is
 * wrapped for the host; when no node can be had for the wrapper, the tree stands on its
 * own (escroot stays null) and the parse's status is returned unchanged. */
int32_t ZORVParse(ZInst* inst, const NQWChar* text, int32_t length, NQJournal* jnl) {
    inst->Reset(inst);
    if (!text || length <= 0 || blank_text(text, length)) return 0;

    ZParse* prs = &inst->prs;
    prs->text = text;
    prs->textlen = length;
    prs->jnl = jnl;

    NQEngine* engine = prs->engine;
    const NQStatus status = engine->Parse(engine, jnl);

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
 * be made ends the input too. */
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
    if (!s) return 1;
    *line = s;
    *lineflag = 1;
    return 0;
}
