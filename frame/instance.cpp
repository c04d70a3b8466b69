/* The instance: creation with its own group, pool, lock, parse engine and tokenizer and its
 * first arena block; the reset that drops one clause's tree and memory; destruction; and
 * the root the host asks for. */
#include "frame/arena.h"
#include "frame/evalwork.h"
#include "frame/frame.h"
#include "frame/instance_tail.h"
#include "parse/parse.h"

namespace {

const int32_t kGroupBlock[6] = {3, 0, 1, 1, 0, 0};
const int32_t kPoolBlock[3] = {1, 0, 0};
const int32_t kLockBlock[3] = {0, 0, 0};

/* Hands a host object to the instance's group; an object the group cannot take is
 * released at once, so that nothing outlives the group. */
bool own(NQGroup* group, void* object) {
    if (group->Register(group, 0, 0, object, 0, 0, 0, 0) == 0) return true;
    NQObject* hdr = static_cast<NQObject*>(object);
    if (hdr->Dispose) hdr->Dispose(object);
    return false;
}

ZInst* fail(NQGroup* group) {
    group->Destroy(group);
    return nullptr;
}

void fill_slots(ZInst* inst) {
    inst->Destroy = ZORVDestroy;
    inst->Parse = ZORVParse;
    inst->Root = ZORVRoot;
    inst->Resolve = ZORVResolve;
    inst->Reset = ZORVReset;
    inst->Print = ZORVPrint;
    inst->Get = ZORVGet;
    inst->Set = ZORVSet;
    inst->Alloc = ZORVAlloc;
    inst->NewOp = ZORVNewOp;
    inst->FreeOp = ZORVFreeOp;
    inst->And = ZORVAnd;
    inst->MakeTrue = ZORVMakeTrue;
    inst->TruthOf = ZORVTruthOf;
    inst->Eval = ZORVEval;
}

}  // namespace

/* Creates an instance. `options` points to two words: the option bits and the address of
 * the caller's collating service (or zero); a null `options` reads as both zero. Every
 * failure is silent: the group takes whatever was made with it and the answer is null. A
 * name that cannot be copied counts as a failure too, since the caller asked for it. */
ZInst* ZORVCreate(ZExt* ext, const uintptr_t* options, NQJournal* jnl, const char* name) {
    NQKernel* kernel = ext->kernel;
    NQGroup* group = kernel->CreateGroup(kernel, kGroupBlock, jnl, nullptr);
    if (!group) return nullptr;
    group->Init(group, 0, 1);

    NQPool* pool = kernel->CreatePool(kernel, kPoolBlock, jnl, "ZORV instance pool");
    if (!pool || !own(group, pool)) return fail(group);

    // The record and, after it, the library's own tail (zero-filled: no cursor yet).
    ZInst* inst = static_cast<ZInst*>(pool->Alloc(pool, sizeof(ZInstWithTail), NQ_ALLOC_ZERO));
    if (!inst) return fail(group);
    inst->group = group;
    inst->pool = pool;

    void* first = pool->Alloc(pool, zarena::kFirstBlockBytes, 0);
    if (!first) return fail(group);
    *static_cast<void**>(first) = nullptr;
    inst->arena = first;
    inst->arenafree = zarena::kFirstBlockFree;

    inst->lock = kernel->CreateLock(kernel, kLockBlock, jnl, nullptr);
    if (!inst->lock || !own(group, inst->lock)) return fail(group);

    const uint32_t bits = options ? static_cast<uint32_t>(options[0]) : 0;
    ZParse* prs = &inst->prs;
    prs->inst = inst;
    prs->pool = pool;
    prs->jnl = jnl;
    prs->strext = ext->strext;
    prs->toktrace = (bits & ZORV_OPT_TOKTRACE) ? 1 : 0;

    NQEngineBlock eblock = {zorvgrammar, ZORVTokenizer, ZORVSemantics, nullptr,
                            nullptr,     prs,           nullptr};
    NQStatus status = 0;
    prs->engine = ext->parseext->CreateEngine(ext->parseext, &eblock, &status, jnl);
    if (!prs->engine || !own(group, prs->engine)) return fail(group);

    NQTokenizerBlock tblock = {};
    tblock.getline = ZORVGetLine;
    tblock.user = prs;
    tblock.engine = prs->engine;
    tblock.word38 = 1;
    prs->tokenizer =
        ext->tokext->CreateTokenizer(ext->tokext, &tblock, jnl, "ZORV Tokenizer", &status);
    if (!prs->tokenizer || !own(group, prs->tokenizer)) return fail(group);

    if (bits & ZORV_OPT_SEMTRACE) prs->engine->Context(prs->engine)->trace = 1;

    inst->magic[0] = 'n';
    inst->magic[1] = 'e';
    inst->magic[2] = 'v';
    inst->magic[3] = 'o';
    const int32_t namelen = pvStrLen(name);
    if (namelen > 0) {
        inst->name = static_cast<char*>(pvMemDup(name, namelen, pool));
        if (!inst->name) return fail(group);
    }

    fill_slots(inst);
    inst->ext = ext;
    inst->options = bits;
    inst->options2 = options ? reinterpret_cast<NQCollator*>(options[1]) : nullptr;
    EvalWorkInit(inst);
    return inst;
}

/* Drops the clause: every arena block but the first goes back to the pool, and the tree,
 * the free list and the parse stack, which all lived there, are forgotten. Returns the
 * tokenizer's reset status. */
int32_t ZORVReset(ZInst* inst) {
    void* block = inst->arena;
    for (void* older; (older = *static_cast<void**>(block)) != nullptr; block = older)
        inst->pool->Free(inst->pool, block);
    inst->arena = block;
    inst->arenafree = zarena::kFirstBlockFree;

    inst->root = nullptr;
    inst->nodefree = nullptr;
    inst->escroot = nullptr;
    inst->serialize = 0;
    forget_append_cursor(inst);
    forget_list_indexes(inst);  // they lived in the arena
    line_refused(inst) = false;

    ZParse* prs = &inst->prs;
    const NQStatus status = prs->tokenizer->Reset(prs->tokenizer);
    prs->reserved5 = 0;
    for (int32_t& word : prs->reserved8to11) word = 0;
    prs->stk = nullptr;
    prs->stktop = nullptr;
    prs->stki = 0;
    prs->stkcap = 0;
    return status;
}

/* Ends the instance: cached work areas go back to the extension pool, everything else
 * (the instance record included) goes with the group. */
int32_t ZORVDestroy(ZInst* inst) {
    EvalWorkTerm(inst);
    forget_list_indexes(inst);
    NQGroup* group = inst->group;
    group->Destroy(group);
    return 0;
}

/* The tree the host sees: the ESC wrapper when there is one around a tree, else the tree. */
ZNode* ZORVRoot(ZInst* inst) {
    return inst->escroot && inst->root ? inst->escroot : inst->root;
}
