/* The records of the zorv extension as the host sees them: the expression tree node, the
 * instance with its parse record and operation slots, the extension record, and the node
 * type codes. The host reads these byte for byte, so the x86 layouts are asserted below;
 * the x64 build widens pointer words. */
#ifndef ZORV_ZORV_H
#define ZORV_ZORV_H

#include <stdint.h>

#include "zorv/nqhost.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct ZNode ZNode;
typedef struct ZInst ZInst;
typedef struct ZExt ZExt;

/* Node type codes, Z_<name> for every row of nodetypes.def (range markers included). Below
 * 36 a leaf; above 35 an operator with an argument list. */
enum ZNodeType {
#define ZORV_NODE(name, code) Z_##name = code,
#include "zorv/nodetypes.def"
#undef ZORV_NODE
};

#define Z_NODE_ARGS 15 /* argument slots in one node or overflow block */

/* Host callback that fetches a column's value for a row. */
typedef int32_t (*ZFetch)(ZNode* node, const void* row, const void** address, int32_t* length);

/* The expression tree node: 124 bytes in the x86 build. */
struct ZNode {
    uint16_t type;
    int16_t vlen;   /* -8 numeric, -L shortened numeric column, >0 character bytes, 0 untyped */
    int16_t weight; /* ordering weight */
    int16_t reserved6[5];
    uint32_t workoff; /* offset of this node's scratch space in the evaluation work area */
    uint32_t reserved20;
    union {
        struct { /* operators (types above 35), overflow blocks, free-list link */
            int32_t nargs;
            ZNode* args[Z_NODE_ARGS];
            ZNode* next;
        } op;
        struct { /* LITN */
            double num;
            uint32_t tag; /* 0 number, 1 date, 2 time, 3 datetime */
        } litn;
        struct { /* LITC, LABL, CMSG */
            NQWChar* str;
            int32_t slen; /* bytes */
            NQWChar inl[12];
        } litc;
        struct { /* NAME and the other name leaves */
            int32_t reserved24;
            char name[32]; /* upper-cased, 8-bit encoding, not terminated */
            int16_t reserved60;
            int16_t namelen;
            int32_t reserved64;
            int16_t colw;
            int16_t reserved70;
            int32_t coloff;
            uint32_t colmode;
            ZFetch fetch;
        } nm;
        struct { /* FUNC, FMT */
            char fname[34];
            int16_t fnamelen;
            int16_t fmtw;
            int16_t fmtd;
            int32_t reserved64[2];
            int32_t fnum;
            uint32_t colmode;
        } fn;
        struct { /* JTAG */
            int32_t ival;
        } jtag;
        struct { /* DREF */
            int32_t refkind;
            const void* refaddr;
            int32_t refoff;
        } dref;
        uint8_t raw[100];
    } u;
};

/* The parse record inside the instance: nineteen words. Its address is the user data of
 * the engine's, the tokenizer's and the line reader's callbacks. */
typedef struct ZParse {
    ZInst* inst;
    NQPool* pool;
    NQJournal* jnl;
    NQToken* tok;
    uint8_t reserved5;
    uint8_t reserved5pad[3];
    const NQWChar* text;
    int32_t textlen;
    int32_t reserved8to11[4];
    int32_t toktrace;
    NQEngine* engine;
    NQTokenizer* tokenizer;
    NQStringExt* strext;
    ZNode** stk;
    ZNode** stktop;
    int32_t stki;
    int32_t stkcap;
} ZParse;

/* The name-binding callback of ZORVResolve: called once for every NAME leaf, left to right
 * and depth first; binds the leaf in place and returns 0, or a non-zero status of the
 * caller's own, which ends the resolution and is what ZORVResolve returns. */
typedef int32_t (*ZLookup)(void* lookupctx, ZNode* node, NQJournal* jnl);

/* Statuses of ZORVResolve besides 0 and the callback's own. */
enum ZResolveStatus {
    /* an unknown function, a wrong number of arguments, or UPCASE of a number */
    ZORV_RESOLVE_FUNCTION = 1,
    /* a colon comparison or IN : with numeric operands; the node is the plain form now */
    ZORV_RESOLVE_COLON_NUMERIC = 2,
    /* an operand of an arithmetic operator is not numeric */
    ZORV_RESOLVE_NOT_NUMERIC = 3,
    /* an operand of a character operator (||, LIKE, CONTAINS, =*) is numeric */
    ZORV_RESOLVE_NOT_CHARACTER = 4,
    /* the operands of an operator mix numbers and characters */
    ZORV_RESOLVE_MIXED = 5,
    /* memory ran out while a chained comparison was split (as the parser's status 6) */
    ZORV_RESOLVE_NO_MEMORY = 6,
    /* a concatenation longer than 32767 bytes, or more scratch space than ZORV_MAX_WORK */
    ZORV_RESOLVE_TOO_LONG = 7
};
#define ZORV_MAX_WORK 0x7FFFF000 /* largest evaluation work area: 2 GiB less one 4096 step */

/* Deepest tree ZORVParse accepts, in levels: the root is level 1, and a chained comparison
 * (a < b < c) counts twice, since resolution turns it into an AND of comparisons; the ESC
 * wrapper, when asked for, counts too. Deeper clauses are refused with
 * ZORV_PARSE_TOO_DEEP, so that the recursive walks (resolution, transformation, copy and
 * free, evaluation) stay within a thread's stack. The engine's own stack already refuses
 * some 700 nested parentheses; deep trees come from long runs of a left-associative
 * operator: 1 + 1 + ... + 1.
 * Stack per level, measured (tests/resolve/depth_test.cpp): the resolver 272 bytes in the
 * x64 sanitizer build, 112 in x86; the printer 272 and 96 (and it stops drawing at 25
 * levels). At 4000 levels the resolver takes 1.1 MB; an 8 MB thread stack gives any walk
 * about 2 KB per level, room for the larger frames of transformation and evaluation
 * (value records on the stack). No clause a person writes comes near 4000 levels. */
#define ZORV_MAX_DEPTH 4000

/* Statuses of ZORVParse of the library's own (the engine's and the tokenizer's pass as
 * they come; the semantic actions return 1, a leaf that cannot be built, and 6, memory
 * exhausted). */
#define ZORV_PARSE_TOO_DEEP 8 /* the tree is deeper than ZORV_MAX_DEPTH levels */

/* Operation slots of the instance. */
typedef int32_t (*ZORVDestroyFn)(ZInst* inst);
typedef int32_t (*ZORVParseFn)(ZInst* inst, const NQWChar* text, int32_t length, NQJournal* jnl);
typedef ZNode* (*ZORVRootFn)(ZInst* inst);
typedef int32_t (*ZORVResolveFn)(ZInst* inst, NQJournal* jnl, ZLookup lookup, void* lookupctx);
typedef int32_t (*ZORVEvalFn)(ZInst* inst, const void* row, ZNode* result, ZNode* root);
typedef int32_t (*ZORVResetFn)(ZInst* inst);
typedef void (*ZORVPrintFn)(ZInst* inst, NQJournal* out);
typedef ZNode* (*ZORVGetFn)(ZInst* inst, ZNode* node, int32_t i);
typedef void (*ZORVSetFn)(ZInst* inst, ZNode* node, int32_t i, ZNode* value);
typedef void* (*ZORVAllocFn)(ZInst* inst, int32_t size);
typedef ZNode* (*ZORVNewOpFn)(ZInst* inst, int32_t type);
typedef void (*ZORVFreeOpFn)(ZInst* inst, ZNode* node);
typedef int32_t (*ZORVAndFn)(ZInst* inst, ZInst* other, NQJournal* jnl);
typedef void (*ZORVMakeTrueFn)(ZInst* inst, ZNode* node);
typedef int32_t (*ZORVTruthOfFn)(ZInst* inst);

/* Option bits (first option word of ZORVCreate). */
#define ZORV_OPT_ESC 2      /* wrap the parsed tree in an ESC node */
#define ZORV_OPT_TOKTRACE 4 /* token trace */
#define ZORV_OPT_SEMTRACE 8 /* semantic-action trace */

/* The instance record: fifty-two words. */
struct ZInst {
    char magic[4]; /* "nevo" */
    char* name;    /* pool copy of the instance name, not terminated; null when none */
    ZORVDestroyFn Destroy;
    uint8_t serialize; /* evaluation holds `lock` when set */
    uint8_t serializepad[3];
    NQLock* lock;
    ZORVParseFn Parse;
    ZORVRootFn Root;
    ZORVResolveFn Resolve;
    ZORVEvalFn Eval;
    ZORVResetFn Reset;
    ZORVPrintFn Print;
    ZORVGetFn Get;
    ZORVSetFn Set;
    ZORVAllocFn Alloc;
    ZORVNewOpFn NewOp;
    void* reserved16;
    ZORVFreeOpFn FreeOp;
    ZORVAndFn And;
    ZORVMakeTrueFn MakeTrue;
    ZORVTruthOfFn TruthOf;
    ZExt* ext;
    uint32_t options;
    NQCollator* options2;
    NQPool* pool;
    NQGroup* group;
    ZNode* root;
    ZNode* escroot;
    volatile uintptr_t workfree; /* free stack of evaluation work areas */
    int32_t workcap;
    ZParse prs;
    ZNode* nodefree;
    void* arena;
    int32_t arenafree;
    int32_t worksize;
};

/* The instance's operations. Each fills a slot of the instance record; the library
 * also exports them by name, with ZORVTran and ZORVPrintSubtree, which have no slot. */
#ifndef ZORV_EXPORT
#define ZORV_EXPORT __attribute__((visibility("default")))
#endif
ZORV_EXPORT int32_t ZORVDestroy(ZInst* inst);
ZORV_EXPORT int32_t ZORVParse(ZInst* inst, const NQWChar* text, int32_t length, NQJournal* jnl);
ZORV_EXPORT ZNode* ZORVRoot(ZInst* inst);
ZORV_EXPORT int32_t ZORVResolve(ZInst* inst, NQJournal* jnl, ZLookup lookup, void* lookupctx);
ZORV_EXPORT int32_t ZORVEval(ZInst* inst, const void* row, ZNode* result, ZNode* root);
ZORV_EXPORT int32_t ZORVReset(ZInst* inst);
ZORV_EXPORT void ZORVPrint(ZInst* inst, NQJournal* out);
ZORV_EXPORT ZNode* ZORVGet(ZInst* inst, ZNode* node, int32_t i);
ZORV_EXPORT void ZORVSet(ZInst* inst, ZNode* node, int32_t i, ZNode* value);
ZORV_EXPORT void* ZORVAlloc(ZInst* inst, int32_t size);
ZORV_EXPORT ZNode* ZORVNewOp(ZInst* inst, int32_t type);
ZORV_EXPORT void ZORVFreeOp(ZInst* inst, ZNode* node);
/* Joins a copy of other's tree to inst's tree under an AND. The copy's nodes are inst's own,
 * but a text constant longer than a node's inline buffer stays in other's memory: keep
 * other alive (not reset, not destroyed) for as long as inst's tree is evaluated. */
ZORV_EXPORT int32_t ZORVAnd(ZInst* inst, ZInst* other, NQJournal* jnl);
ZORV_EXPORT void ZORVMakeTrue(ZInst* inst, ZNode* node);
ZORV_EXPORT int32_t ZORVTruthOf(ZInst* inst);
ZORV_EXPORT void ZORVTran(ZInst* inst, NQJournal* jnl);
ZORV_EXPORT void ZORVPrintSubtree(ZInst* inst, NQJournal* out, ZNode* node);

/* The extension record: nineteen words. */
struct ZExt {
    void* reserved1to3[3];
    int32_t (*GetReqVersion)(ZExt* ext, int32_t* a, int32_t* b, int32_t* c);
    int32_t (*GetVersion)(ZExt* ext, int32_t* a, int32_t* b, int32_t* c);
    void* reserved6;
    int32_t (*RealDestroy)(ZExt* ext);
    void* reserved8to9[2];
    ZInst* (*Create)(ZExt* ext, const uintptr_t* options, NQJournal* jnl, const char* name);
    NQKernel* kernel;
    NQPool* pool;
    NQGroup* group;
    NQNls* nls;
    NQTranscoder* xcoder;
    NQParseExt* parseext;
    NQTokExt* tokext;
    NQStringExt* strext;
    NQLocale* locale;
};

#ifdef __cplusplus
} /* extern "C" */
#endif

#if defined(__cplusplus) && UINTPTR_MAX == 0xFFFFFFFFu
#include <cstddef>
static_assert(sizeof(ZNode) == 124, "node size");
static_assert(offsetof(ZNode, workoff) == 16, "node workoff");
static_assert(offsetof(ZNode, u.op.nargs) == 24, "node nargs");
static_assert(offsetof(ZNode, u.op.args) == 28, "node args");
static_assert(offsetof(ZNode, u.op.next) == 88, "node next");
static_assert(offsetof(ZNode, u.litn.num) == 24, "node num");
static_assert(offsetof(ZNode, u.litn.tag) == 32, "node tag");
static_assert(offsetof(ZNode, u.litc.str) == 24, "node str");
static_assert(offsetof(ZNode, u.litc.slen) == 28, "node slen");
static_assert(offsetof(ZNode, u.litc.inl) == 32, "node inl");
static_assert(sizeof(((ZNode*)0)->u.litc.inl) == 48, "node inl size");
static_assert(offsetof(ZNode, u.nm.name) == 28, "node name");
static_assert(offsetof(ZNode, u.nm.namelen) == 62, "node namelen");
static_assert(offsetof(ZNode, u.nm.colw) == 68, "node colw");
static_assert(offsetof(ZNode, u.nm.coloff) == 72, "node coloff");
static_assert(offsetof(ZNode, u.nm.colmode) == 76, "node colmode");
static_assert(offsetof(ZNode, u.nm.fetch) == 80, "node fetch");
static_assert(offsetof(ZNode, u.fn.fname) == 24, "node fname");
static_assert(offsetof(ZNode, u.fn.fnamelen) == 58, "node fnamelen");
static_assert(offsetof(ZNode, u.fn.fmtw) == 60, "node fmtw");
static_assert(offsetof(ZNode, u.fn.fmtd) == 62, "node fmtd");
static_assert(offsetof(ZNode, u.fn.fnum) == 72, "node fnum");
static_assert(offsetof(ZNode, u.fn.colmode) == 76, "node fn colmode");
static_assert(offsetof(ZNode, u.jtag.ival) == 24, "node ival");
static_assert(offsetof(ZNode, u.dref.refkind) == 24, "node refkind");
static_assert(offsetof(ZNode, u.dref.refaddr) == 28, "node refaddr");
static_assert(offsetof(ZNode, u.dref.refoff) == 32, "node refoff");
static_assert(sizeof(ZParse) == 19 * 4, "parse record");
static_assert(offsetof(ZParse, text) == 5 * 4, "parse record text");
static_assert(offsetof(ZParse, toktrace) == 11 * 4, "parse record toktrace");
static_assert(offsetof(ZParse, stkcap) == 18 * 4, "parse record stkcap");
static_assert(sizeof(ZInst) == 52 * 4, "instance size");
static_assert(offsetof(ZInst, Destroy) == 2 * 4, "instance destroy slot");
static_assert(offsetof(ZInst, lock) == 4 * 4, "instance lock");
static_assert(offsetof(ZInst, Parse) == 5 * 4, "instance parse slot");
static_assert(offsetof(ZInst, NewOp) == 14 * 4, "instance newop slot");
static_assert(offsetof(ZInst, reserved16) == 15 * 4, "instance reserved slot");
static_assert(offsetof(ZInst, FreeOp) == 16 * 4, "instance freeop slot");
static_assert(offsetof(ZInst, TruthOf) == 19 * 4, "instance truthof slot");
static_assert(offsetof(ZInst, ext) == 20 * 4, "instance ext");
static_assert(offsetof(ZInst, root) == 25 * 4, "instance root");
static_assert(offsetof(ZInst, workcap) == 28 * 4, "instance workcap");
static_assert(offsetof(ZInst, prs) == 29 * 4, "instance parse record");
static_assert(offsetof(ZInst, nodefree) == 48 * 4, "instance nodefree");
static_assert(offsetof(ZInst, worksize) == 51 * 4, "instance worksize");
static_assert(sizeof(ZExt) == 19 * 4, "extension record size");
static_assert(offsetof(ZExt, GetReqVersion) == 3 * 4, "extension word 4");
static_assert(offsetof(ZExt, RealDestroy) == 6 * 4, "extension word 7");
static_assert(offsetof(ZExt, Create) == 9 * 4, "extension word 10");
static_assert(offsetof(ZExt, kernel) == 10 * 4, "extension word 11");
static_assert(offsetof(ZExt, locale) == 18 * 4, "extension word 19");
#endif

#endif /* ZORV_ZORV_H */
