/* The extension's entry: loads the sibling extensions the parser drives, takes the NLS
 * service and a locale from the kernel, and hands the host the extension record with the
 * version operations, the destroy operation and ZORVCreate. */
#include "frame/frame.h"

namespace {

const int32_t kGroupBlock[6] = {3, 0, 1, 0, 0, 0};
const int32_t kPoolBlock[3] = {0, 0, 0};

void report(NQJournal* jnl, const NQWChar* text) {
    if (jnl) nqlMessageToJnl(jnl, NQ_LEVEL_ERROR, text, 0);
}

/* Everything made so far goes with the group; the transcoder is the one object the group
 * does not own. */
void* give_up(NQGroup* group, ZExt* ext) {
    if (ext && ext->xcoder) ext->xcoder->Destroy(ext->xcoder);
    group->Destroy(group);
    return nullptr;
}

/* Hands a host object to the group. A null object (a locale the NLS service could not make)
 * is simply skipped. When the group cannot take the object it is released here, so that
 * nothing outlives the group. */
bool own(NQGroup* group, void* object) {
    if (!object) return true;
    if (group->Register(group, 0, 0, object, 0, 0, 0, 0) == 0) return true;
    NQObject* hdr = static_cast<NQObject*>(object);
    if (hdr->Dispose) hdr->Dispose(object);
    return false;
}

}  // namespace

void* zorv(NQKernel* kernel, NQJournal* jnl) {
    NQGroup* group = kernel->CreateGroup(kernel, kGroupBlock, jnl, nullptr);
    if (!group) return nullptr;
    group->Init(group, 0, 1);

    NQPool* pool = kernel->CreatePool(kernel, kPoolBlock, jnl, "ZORV extension pool");
    if (!pool || !own(group, pool)) return give_up(group, nullptr);

    ZExt* ext = static_cast<ZExt*>(pool->Alloc(pool, sizeof(ZExt), NQ_ALLOC_ZERO));
    if (!ext) return give_up(group, nullptr);
    ext->kernel = kernel;
    ext->group = group;
    ext->pool = pool;

    void* strext = kernel->LoadExtension(kernel, U"nqstring", 8, jnl);
    if (!strext) {
        report(jnl, U"Unable to load nqstring extension\n");
        return give_up(group, ext);
    }
    if (!own(group, strext)) return give_up(group, ext);
    ext->strext = static_cast<NQStringExt*>(strext);

    NQNls* nls = kernel->nls;
    ext->nls = nls;
    if (!nls) {
        report(jnl, U"ZORV: Can't load the NQNLS extension!!!");
        return give_up(group, ext);
    }

    if (nls->NeedsTranscoder(nls, NQ_ENCODING_WIDE, NQ_ENCODING_BYTES)) {
        ext->xcoder = nls->CreateTranscoder(nls, NQ_ENCODING_BYTES, 0, jnl);
        if (!ext->xcoder) return give_up(group, ext);
    }

    void* parseext = kernel->LoadExtension(kernel, U"nqeparse", 8, jnl);
    if (!parseext) {
        report(jnl, U"ZORV: Can't load the NQEPARSE extension!!!");
        return give_up(group, ext);
    }
    if (!own(group, parseext)) return give_up(group, ext);
    ext->parseext = static_cast<NQParseExt*>(parseext);

    void* tokext = kernel->LoadExtension(kernel, U"nqetok", 6, jnl);
    if (!tokext) {
        report(jnl, U"ZORV: Can't load the NQETOK extension!!!");
        return give_up(group, ext);
    }
    if (!own(group, tokext)) return give_up(group, ext);
    ext->tokext = static_cast<NQTokExt*>(tokext);

    ext->locale = nls->CreateLocale(nls, U"en_US", 5);
    if (!own(group, ext->locale)) return give_up(group, ext);

    ext->GetReqVersion = ZORVGetReqVersion;
    ext->GetVersion = ZORVGetVersion;
    ext->RealDestroy = ZORVRealDestroy;
    ext->Create = ZORVCreate;
    return ext;
}

/* The host version this library needs. */
int32_t ZORVGetReqVersion(ZExt*, int32_t* a, int32_t* b, int32_t* c) {
    *a = 3;
    *b = 1;
    *c = 1;
    return 0;
}

/* This library's version. */
int32_t ZORVGetVersion(ZExt*, int32_t* a, int32_t* b, int32_t* c) {
    *a = 1;
    *b = 0;
    *c = 3;
    return 0;
}

/* Ends the extension record after its last instance: the record itself lives in the pool
 * that the group releases, so the group is read out first. */
int32_t ZORVRealDestroy(ZExt* ext) {
    NQGroup* group = ext->group;
    if (ext->xcoder) ext->xcoder->Destroy(ext->xcoder);
    group->Destroy(group);
    return 0;
}
