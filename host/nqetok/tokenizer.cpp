// The tokenizer object: pulls lines through the caller's line reader, copies each into
// its own buffer, hands out one token record at a time, reports lexical errors to the
// journal and closes the input with "endjb" and "$$$".
#include "host/nqetok/tokenizer.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <new>

#include "host/nqetok/lexer.h"
#include "host/nqetok/terminals.h"
#include "zorv/host.h"

namespace etok {
namespace {

// Longest piece of offending text quoted in a message.
constexpr int32_t kQuoteMax = 32;

// Text of the end tokens, which have no characters of their own.
constexpr NQWChar kNoText[1] = {0};

// Word 38 of the parameter block is accepted and ignored: the tokenizer has a single
// mode. The name given to CreateTokenizer is ignored too.
struct Tokenizer {
    NQTokenizer rec;  // first: the record handed out is the object itself
    NQKernel* kernel;
    NQJournal* jnl;  // journal given at creation
    NQLineReader getline;
    void* user;
    NQEngine* engine;

    NQString* line;    // line held from the reader, or null
    int32_t lineflag;  // set by the reader; the tokenizer does not interpret it
    bool copied;       // the held line's characters are in buf
    NQWChar* buf;      // characters of the current (or last) line
    int32_t cap;
    int32_t len;
    int32_t pos;
    int32_t lineno;  // lines received so far

    bool ended;       // the reader has answered "end of input"
    bool endjb_sent;  // the first end token is out: "endjb", or "$$$" after a ";"
    int16_t last;     // code of the last token handed out, 0 before the first

    NQToken tok;    // the token handed out by the last Next
    NQToken noted;  // the last token the caller noted
};

Tokenizer* self(NQTokenizer* t) {
    return reinterpret_cast<Tokenizer*>(t);
}

// Where messages go: the running parse's journal when there is one, else the journal
// given at creation (possibly none).
NQJournal* journal(Tokenizer* t) {
    if (t->engine && t->engine->Context) {
        NQParseContext* ctx = t->engine->Context(t->engine);
        if (ctx && ctx->jnl) return ctx->jnl;
    }
    return t->jnl;
}

void emit(NQJournal* j, const NQWChar* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    j->MessageToJnl(j, NQ_LEVEL_ERROR, fmt, 0, ap);
    va_end(ap);
}

// What each lexical error is called, and what a reader needs to know to mend it. The
// unexpected character is quoted before the position, everything else after it.
struct ErrorWords {
    LexError error;
    const NQWChar* what;
    const NQWChar* why;  // appended after the offending text
};

constexpr ErrorWords kErrorWords[] = {
    {LexError::kUnterminated, U"unterminated string", U""},
    {LexError::kMalformed, U"malformed number", U""},
    {LexError::kNumberTooLarge, U"number too large", U": numbers are limited to about 1.8e308"},
    {LexError::kStringTooLong, U"string constant too long",
     U": string constants are limited to 8191 characters"},
    {LexError::kNameTooWide, U"name too long",
     U": names are limited to 32 bytes in UTF-8, and this one has letters of more than one "
     U"byte"},
};
static_assert(kMaxStringChars == 8191 && kMaxNameBytes == 32, "the messages above name the limits");

// One error message for a lexical error, with its position and the offending text.
void report(Tokenizer* t, const Lexeme& lx) {
    NQJournal* j = journal(t);
    if (!j || !j->MessageToJnl) return;
    const NQWChar* text = t->buf + lx.start;
    const int n = lx.end - lx.start < kQuoteMax ? lx.end - lx.start : kQuoteMax;
    const int col = lx.start + 1;
    const int line = t->lineno;
    if (lx.error == LexError::kUnexpected) {
        if (line > 1)
            emit(j, U"unexpected character '%.*s' at line %d, column %d", n, text, line, col);
        else
            emit(j, U"unexpected character '%.*s' at column %d", n, text, col);
        return;
    }
    for (const ErrorWords& w : kErrorWords) {
        if (w.error != lx.error) continue;
        if (line > 1)
            emit(j, U"%s at line %d, column %d near '%.*s'%s", w.what, line, col, n, text, w.why);
        else
            emit(j, U"%s at column %d near '%.*s'%s", w.what, col, n, text, w.why);
        return;
    }
}

// Copies the held line's characters into the buffer, growing it when needed.
bool copy_line(Tokenizer* t) {
    const int32_t n = t->line->text && t->line->length > 0 ? t->line->length : 0;
    if (n > t->cap) {
        int32_t cap = t->cap < 64 ? 64 : t->cap;
        while (cap < n) cap = cap > INT32_MAX / 2 ? n : cap * 2;
        void* grown = std::realloc(t->buf, static_cast<size_t>(cap) * sizeof(NQWChar));
        if (!grown) return false;
        t->buf = static_cast<NQWChar*>(grown);
        t->cap = cap;
    }
    if (n > 0) std::memcpy(t->buf, t->line->text, static_cast<size_t>(n) * sizeof(NQWChar));
    t->len = n;
    t->pos = 0;
    t->copied = true;
    return true;
}

// Asks the reader for the next line, handing back the held one (which releases it).
void pull_line(Tokenizer* t) {
    // The new line may well sit at the address of the one just released.
    int32_t rc = t->getline(&t->lineflag, &t->line, t->user);
    if (rc == 0 && t->line) {
        ++t->lineno;
        t->copied = false;
        return;
    }
    t->line = nullptr;
    t->ended = true;
}

void set_token(Tokenizer* t, int16_t code, int32_t line, int32_t column, const NQWChar* text,
               int32_t length) {
    t->tok = NQToken{};
    t->tok.line = line;
    t->tok.column = column;
    t->tok.code = code;
    t->tok.length = length;
    t->tok.text = text;
    t->last = code;
}

// "endjb" once (none when the input closed with ';'), then "$$$" for ever; both just
// after the last character of the last line.
void end_token(Tokenizer* t) {
    int16_t code = kEnd;
    if (!t->endjb_sent) {
        if (t->last != P_SEMICOLON) code = T_ENDJB;
        t->endjb_sent = true;  // decided once, at the first end token
    }
    set_token(t, code, t->lineno > 0 ? t->lineno : 1, t->len + 1, kNoText, 0);
}

NQStatus next(NQTokenizer* rec, NQToken** out) {
    if (!out) return NQ_STATUS_BAD_ARGUMENT;
    *out = nullptr;
    Tokenizer* t = self(rec);
    for (;;) {
        if (t->ended) {
            end_token(t);
            break;
        }
        if (!t->line) {
            pull_line(t);
            continue;
        }
        if (!t->copied && !copy_line(t)) return NQ_STATUS_NO_MEMORY;
        while (t->pos < t->len && is_space(t->buf[t->pos])) ++t->pos;
        if (t->pos >= t->len) {
            pull_line(t);
            continue;
        }
        Lexeme lx = scan(t->buf, t->len, t->pos);
        t->pos = lx.end;
        if (lx.error != LexError::kNone) {
            report(t, lx);
            return NQ_STATUS_LEXICAL;
        }
        set_token(t, lx.code, t->lineno, lx.start + 1, t->buf + lx.text, lx.textlen);
        break;
    }
    *out = &t->tok;
    return NQ_OK;
}

// Accepts only the token that this tokenizer handed out last.
NQStatus examine(NQTokenizer* rec, NQToken* token) {
    Tokenizer* t = self(rec);
    if (token != &t->tok || token->code < T_ENDJB || token->code > kTerminals)
        return NQ_STATUS_BAD_ARGUMENT;
    return NQ_OK;
}

void note(NQTokenizer* rec, NQToken* token) {
    if (token) self(rec)->noted = *token;
}

// Hands back a held line (draining a reader that answers a release with yet another
// line) and starts afresh. The buffer is kept for the next input.
NQStatus reset(NQTokenizer* rec) {
    Tokenizer* t = self(rec);
    while (t->line && !t->ended) pull_line(t);
    t->line = nullptr;
    t->copied = false;
    t->len = t->pos = t->lineno = 0;
    t->ended = t->endjb_sent = false;
    t->last = 0;
    t->tok = NQToken{};
    t->noted = NQToken{};
    return NQ_OK;
}

// Releases the tokenizer. A line still held is not handed back here: the reader's user
// data may already be gone when a resource group releases its objects, and the line
// belongs to the reader's own memory. Callers that want it back call Reset first.
void dispose(void* obj) {
    Tokenizer* t = static_cast<Tokenizer*>(obj);
    NQKernel* kernel = t->kernel;
    std::free(t->buf);
    delete t;
    zhost_track(kernel, -1);
}

}  // namespace

NQTokenizer* create_tokenizer(NQKernel* kernel, const NQTokenizerBlock* block, NQJournal* jnl,
                              NQStatus* status) {
    NQStatus dummy;
    if (!status) status = &dummy;
    if (!block || !block->getline) {
        *status = NQ_STATUS_BAD_ARGUMENT;
        return nullptr;
    }
    if (zhost_should_fail(kernel, ZHOST_CREATE_TOKENIZER)) {
        *status = NQ_STATUS_NO_MEMORY;
        return nullptr;
    }
    Tokenizer* t = new (std::nothrow) Tokenizer{};
    if (!t) {
        *status = NQ_STATUS_NO_MEMORY;
        return nullptr;
    }
    t->rec.hdr.Dispose = dispose;
    t->rec.hdr.owner = kernel;
    t->rec.hdr.kind = ZHOST_CREATE_TOKENIZER;
    t->rec.Next = next;
    t->rec.Examine = examine;
    t->rec.Note = note;
    t->rec.Reset = reset;
    t->kernel = kernel;
    t->jnl = jnl;
    t->getline = block->getline;
    t->user = block->user;
    t->engine = block->engine;
    zhost_track(kernel, +1);
    *status = NQ_OK;
    return &t->rec;
}

}  // namespace etok
