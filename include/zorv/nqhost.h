/* The host framework's records as the extensions see them: kernel handle, resource
 * groups, pools, locks, NLS service, message target (journal), string objects, the
 * tokenizer and the LL(1) parse engine. Every host object is a plain record whose words
 * include its operations, called with the object as first argument. Records that are
 * read byte for byte (token, parse context, grammar descriptor, journal entries) keep
 * their 32-bit positions in the x86 build; the x64 build widens pointer words. */
#ifndef ZORV_NQHOST_H
#define ZORV_NQHOST_H

#include <stdarg.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
typedef char32_t NQWChar;
#else
#include <uchar.h>
typedef char32_t NQWChar;
#endif

typedef int32_t NQStatus;

typedef struct NQKernel NQKernel;
typedef struct NQJournal NQJournal;
typedef struct NQGroup NQGroup;
typedef struct NQPool NQPool;
typedef struct NQLock NQLock;
typedef struct NQService NQService;
typedef struct NQNls NQNls;
typedef struct NQTranscoder NQTranscoder;
typedef struct NQLocale NQLocale;
typedef struct NQCollator NQCollator;
typedef struct NQStringExt NQStringExt;
typedef struct NQString NQString;
typedef struct NQTokExt NQTokExt;
typedef struct NQTokenizer NQTokenizer;
typedef struct NQToken NQToken;
typedef struct NQParseExt NQParseExt;
typedef struct NQEngine NQEngine;
typedef struct NQParseContext NQParseContext;
typedef struct NQGrammar NQGrammar;
typedef struct NQAction NQAction;

/* Header of every host object: three words. A resource group releases a registered
 * object by calling its Dispose (a null Dispose is skipped, so an extension record whose
 * first three words are zero can be registered safely). */
typedef struct NQObject {
    void (*Dispose)(void* self);
    void* owner;  /* host-private: the kernel or object that made it */
    int32_t kind; /* host-private: object kind, for diagnostics */
} NQObject;

/* The kernel handle handed to every extension. */
struct NQKernel {
    NQObject hdr;
    NQGroup* (*CreateGroup)(NQKernel* k, const int32_t* block6, NQJournal* jnl, void* zero);
    NQPool* (*CreatePool)(NQKernel* k, const int32_t* block3, NQJournal* jnl, const char* name);
    NQLock* (*CreateLock)(NQKernel* k, const int32_t* block3, NQJournal* jnl, void* zero);
    void* (*LoadExtension)(NQKernel* k, const NQWChar* name, int32_t namelen, NQJournal* jnl);
    NQNls* nls;
    NQService* svc;
};

/* Process-level services; Abort ends the process. */
struct NQService {
    NQObject hdr;
    void (*Abort)(NQService* svc);
};

/* A resource group owns registered objects and releases them, newest first, on Destroy. */
struct NQGroup {
    NQObject hdr;
    NQStatus (*Init)(NQGroup* g, int32_t a, int32_t b);
    NQStatus (*Register)(NQGroup* g, int32_t a, int32_t b, void* object, int32_t c, int32_t d,
                         int32_t e, int32_t f);
    NQStatus (*Destroy)(NQGroup* g);
};

#define NQ_ALLOC_ZERO 0x80000000u

/* A memory pool; releasing the pool releases every block it still holds. */
struct NQPool {
    NQObject hdr;
    void* (*Alloc)(NQPool* p, uint32_t size, uint32_t flags);
    void (*Free)(NQPool* p, void* block);
};

struct NQLock {
    NQObject hdr;
    NQStatus (*Acquire)(NQLock* l, int32_t a, int32_t b);
    NQStatus (*Release)(NQLock* l);
};

/* Encodings known to the NLS service. */
#define NQ_ENCODING_WIDE 27  /* UTF-32, the wide characters of clause text */
#define NQ_ENCODING_BYTES 62 /* UTF-8, the host's 8-bit encoding */

struct NQNls {
    NQObject hdr;
    uint8_t (*NeedsTranscoder)(NQNls* n, int32_t from, int32_t to);
    NQTranscoder* (*CreateTranscoder)(NQNls* n, int32_t to, int32_t zero, NQJournal* jnl);
    NQLocale* (*CreateLocale)(NQNls* n, const NQWChar* name, int32_t namelen);
};

/* Wide text to the 8-bit encoding: writes at most capacity bytes, never a split character. */
struct NQTranscoder {
    NQObject hdr;
    NQStatus (*Transcode)(NQTranscoder* t, const void* src, int32_t srcbytes, void* dst,
                          int32_t capacity, int32_t* written, int32_t zero);
    void (*Destroy)(NQTranscoder* t);
};

/* ToNumber answers 0 with the value and the characters used, or one of these: */
#define NQ_STATUS_VALUE_ZERO ((NQStatus)0x803FE812)   /* the value is zero (not stored) */
#define NQ_STATUS_NOT_A_NUMBER ((NQStatus)0x803FE813) /* nothing converts */

struct NQLocale {
    NQObject hdr;
    NQStatus (*ToNumber)(NQLocale* l, const NQWChar* text, int32_t len, double* value,
                         int32_t* used);
};

/* The caller's collating service (second option word of an instance). */
struct NQCollator {
    NQObject hdr;
    int32_t (*Compare)(NQCollator* c, const NQWChar* a, int32_t alen, const NQWChar* b,
                       int32_t blen, int32_t one);
};

/* Message target. Words 4 to 7 are the entries that the support library's forwarders
 * call; a format length of 0 or less means the format ends at its first 0 unit. */
struct NQJournal {
    NQObject hdr;
    void* reserved3;
    NQStatus (*FormatToBuf)(NQJournal* j, const NQWChar* fmt, int32_t fmtlen, NQWChar* buf,
                            int32_t capacity, int32_t* written, va_list ap);
    NQStatus (*MessageToJnl)(NQJournal* j, int32_t level, const NQWChar* fmt, int32_t fmtlen,
                             va_list ap);
    NQStatus (*StatusToBuf)(NQJournal* j, NQStatus status, NQWChar* buf, int32_t capacity,
                            int32_t* written, va_list ap);
    NQStatus (*StatusToJnl)(NQJournal* j, int32_t level, NQStatus status, va_list ap);
};

#define NQ_LEVEL_PLAIN 0
#define NQ_LEVEL_TRACE 1
#define NQ_LEVEL_ERROR 4

/* ---- nqstring ---- */
struct NQStringExt {
    NQObject hdr;
    NQString* (*NewString)(NQStringExt* x, NQPool* pool, const NQWChar* text, int32_t len,
                           int32_t one);
};

/* An immutable copy of wide text, in pool memory. */
struct NQString {
    NQObject hdr;
    void (*Release)(NQString* s);
    const NQWChar* text;
    int32_t length; /* characters */
};

/* ---- nqetok: the tokenizer ---- */

/* One token. Bytes 8-9, 24-27 and 28-31 are read by the library; the rest is ours. */
struct NQToken {
    int32_t line;   /* 1-based line of the token's first character */
    int32_t column; /* 1-based column, in characters */
    int16_t code;   /* terminal code */
    int16_t reserved10;
    int32_t reserved12[3];
    int32_t length;      /* characters */
    const NQWChar* text; /* the token's characters (not terminated) */
};

/* Line reader: returns 0 with *line set (and *lineflag = 1), or 1 at the end of input.
 * Called again with the line it gave, it releases that line. */
typedef int32_t (*NQLineReader)(int32_t* lineflag, NQString** line, void* user);

/* The tokenizer's 45-word parameter block (words counted from 1). */
typedef struct NQTokenizerBlock {
    NQLineReader getline; /* word 1 */
    void* user;           /* word 2 */
    NQEngine* engine;     /* word 3 */
    int32_t words4to37[34];
    int32_t word38;
    int32_t words39to45[7];
} NQTokenizerBlock;

struct NQTokExt {
    NQObject hdr;
    NQTokenizer* (*CreateTokenizer)(NQTokExt* x, const NQTokenizerBlock* block, NQJournal* jnl,
                                    const char* name, NQStatus* status);
};

struct NQTokenizer {
    NQObject hdr;
    NQStatus (*Next)(NQTokenizer* t, NQToken** token);
    NQStatus (*Examine)(NQTokenizer* t, NQToken* token);
    void (*Note)(NQTokenizer* t, NQToken* token);
    NQStatus (*Reset)(NQTokenizer* t);
};

/* ---- nqeparse: the LL(1) parse engine ---- */

/* Grammar descriptor (176 bytes in the x86 build). */
struct NQGrammar {
    int16_t version;  /* 2 */
    int16_t firstnt;  /* code of the first nonterminal */
    int16_t nterms;   /* number of terminals */
    uint16_t nprslst; /* entries of prslst */
    const int16_t* prdlst;
    const uint16_t* prdndx;
    const uint16_t* lhstbl;
    const int16_t* prslst;
    const int16_t* prsndx;
    const uint16_t* actmap;
    const int16_t* argndx;
    const int16_t* argtbl;
    const uint32_t* symtbl;
    const uint16_t* symndx;
    const uint16_t* symmap;
    const uint8_t* delcost;
    const uint8_t* inscost;
    const uint16_t* insndx;
    const uint16_t* instbl;
    int16_t nevercost; /* 127 */
    int16_t const63;   /* 63 */
    int16_t ninstbl;   /* entries of instbl (and of argtbl) */
    int16_t reserved74[17];
    int16_t nclasses; /* token-class terminals: codes 1 .. nclasses */
    int16_t reserved110[33];
};

/* What the engine hands the semantic callback for one action symbol. */
#define NQ_ACTION_MAXARGS 8
struct NQAction {
    int16_t code;
    int16_t nargs;
    int16_t args[NQ_ACTION_MAXARGS];
};

/* The engine's parse context. Bytes 100, 102 and 136-139 are read or written by the
 * library; the rest is ours. */
struct NQParseContext {
    NQEngine* engine;
    NQJournal* jnl; /* the journal of the running Parse call */
    int32_t reserved8[23];
    uint8_t error; /* byte 100: set by the semantic callback */
    uint8_t reserved101;
    uint8_t trace; /* byte 102: semantic-trace switch */
    uint8_t reserved103;
    int32_t reserved104[8];
    void* user; /* byte 136: user data of the parameter block */
};

typedef NQGrammar* (*NQGrammarRoutine)(NQGrammar* desc);
typedef NQStatus (*NQTokenCallback)(void* user, int32_t x, int32_t y, NQToken** token);
typedef NQStatus (*NQSemanticCallback)(NQParseContext* ctx, NQToken* token, const NQAction* action);

/* The engine's seven-word parameter block. */
typedef struct NQEngineBlock {
    NQGrammarRoutine grammar;
    NQTokenCallback token;
    NQSemanticCallback semantic;
    void* zero4;
    void* zero5;
    void* user;
    void* zero7;
} NQEngineBlock;

struct NQParseExt {
    NQObject hdr;
    NQEngine* (*CreateEngine)(NQParseExt* x, const NQEngineBlock* block, NQStatus* status,
                              NQJournal* jnl);
};

struct NQEngine {
    NQObject hdr;
    NQStatus (*Parse)(NQEngine* e, NQJournal* jnl);
    NQParseContext* (*Context)(NQEngine* e);
};

/* Entry of an extension: LoadExtension("name") calls name(kernel, jnl). */
typedef void* (*NQExtensionEntry)(NQKernel* kernel, NQJournal* jnl);
/* Optional kernel-handle setter an extension may export. */
typedef void (*NQExtentSetter)(NQKernel* kernel);

#ifdef __cplusplus
} /* extern "C" */
#endif

#if defined(__cplusplus) && UINTPTR_MAX == 0xFFFFFFFFu
#include <cstddef>
static_assert(sizeof(NQObject) == 12, "object header");
static_assert(offsetof(NQJournal, FormatToBuf) == 16, "journal entry 4");
static_assert(offsetof(NQJournal, MessageToJnl) == 20, "journal entry 5");
static_assert(offsetof(NQJournal, StatusToBuf) == 24, "journal entry 6");
static_assert(offsetof(NQJournal, StatusToJnl) == 28, "journal entry 7");
static_assert(offsetof(NQToken, code) == 8, "token code");
static_assert(offsetof(NQToken, length) == 24, "token length");
static_assert(offsetof(NQToken, text) == 28, "token text");
static_assert(sizeof(NQToken) == 32, "token size");
static_assert(sizeof(NQTokenizerBlock) == 45 * 4, "tokenizer block");
static_assert(offsetof(NQTokenizerBlock, word38) == 37 * 4, "tokenizer word 38");
static_assert(sizeof(NQEngineBlock) == 7 * 4, "engine block");
static_assert(offsetof(NQParseContext, error) == 100, "context error flag");
static_assert(offsetof(NQParseContext, trace) == 102, "context trace switch");
static_assert(offsetof(NQParseContext, user) == 136, "context user data");
static_assert(sizeof(NQParseContext) == 140, "context size");
static_assert(offsetof(NQGrammar, prdlst) == 8, "descriptor tables");
static_assert(offsetof(NQGrammar, instbl) == 64, "descriptor last table");
static_assert(offsetof(NQGrammar, nevercost) == 68, "descriptor never-cost");
static_assert(offsetof(NQGrammar, ninstbl) == 72, "descriptor instbl count");
static_assert(offsetof(NQGrammar, nclasses) == 108, "descriptor class count");
static_assert(sizeof(NQGrammar) == 176, "descriptor size");
static_assert(sizeof(NQAction) == 4 + 2 * NQ_ACTION_MAXARGS, "action record");
#endif

#endif /* ZORV_NQHOST_H */
