/* The stack of evaluation work areas kept on each instance: blocks of `workcap` bytes from
 * the extension pool, taken and returned with atomic operations so that several threads
 * may evaluate one instance at once. */
#ifndef ZORV_FRAME_EVALWORK_H
#define ZORV_FRAME_EVALWORK_H

#include "zorv/zorv.h"

/* While an area waits on the free stack its first word links to the next one, so the
 * scratch space handed out to nodes starts after it: a long value that an evaluation
 * leaves in its caller's result record (it may point into the area) survives the area's
 * return to the stack. One size for both widths keeps their layouts identical. */
constexpr int32_t kWorkLinkBytes = 8;
static_assert(sizeof(void*) <= kWorkLinkBytes, "the link word fits before the scratch space");

/* Work areas come in multiples of this many bytes. */
constexpr int32_t kWorkStep = 4096;
static_assert(ZORV_MAX_WORK % kWorkStep == 0, "rounding the largest count must not overflow");

void EvalWorkInit(ZInst* inst);
void EvalWorkTerm(ZInst* inst);
void* EvalWorkAlloc(ZInst* inst);
void EvalWorkFree(ZInst* inst, void* block);
void EvalWorkClear(ZInst* inst);
void EvalWorkSize(ZInst* inst);

#endif
