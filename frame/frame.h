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
