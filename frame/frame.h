/* Entry points of the extension frame and node store that other folders call or that the
 * host reaches through the instance's slots. The library's own code calls the node
 * operations through the instance slots, not these names. */
#ifndef ZORV_FRAME_FRAME_H
#define ZORV_FRAME_FRAME_H

#include "zorv/support.h"
#include "zorv/zorv.h"

extern "C" {
/* Entry of the extension. */
ZORV_EXPORT void* zorv(NQKernel* kernel, NQJournal* jnl);

int32_t ZORVGetReqVersion(ZExt* ext, int32_t* a, int32_t* b, int32_t* c);
int32_t ZORVGetVersion(ZExt* ext, int32_t* a, int32_t* b, int32_t* c);
int32_t ZORVRealDestroy(ZExt* ext);
ZInst* ZORVCreate(ZExt* ext, const uintptr_t* options, NQJournal* jnl, const char* name);

ZORV_EXPORT int32_t ZORVDestroy(ZInst* inst);
ZORV_EXPORT int32_t ZORVReset(ZInst* inst);
ZORV_EXPORT ZNode* ZORVRoot(ZInst* inst);
ZORV_EXPORT void* ZORVAlloc(ZInst* inst, int32_t size);
ZORV_EXPORT ZNode* ZORVNewOp(ZInst* inst, int32_t type);
ZORV_EXPORT void ZORVFreeOp(ZInst* inst, ZNode* node);
ZORV_EXPORT ZNode* ZORVGet(ZInst* inst, ZNode* node, int32_t i);
ZORV_EXPORT void ZORVSet(ZInst* inst, ZNode* node, int32_t i, ZNode* value);
}

/* The all-zero node template. */
extern const ZNode opzero;

/* One row of the node-name table: a name of at most four characters and its code. The
 * table ends with the code 999. */
struct ZNodeName {
    const NQWChar* name;
    int32_t code;
};
extern const ZNodeName nodename[];

#endif
