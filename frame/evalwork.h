/* The stack of evaluation work areas kept on each instance: blocks of `workcap` bytes from
 * the extension pool, taken and returned with atomic operations so that several threads
 * may evaluate one instance at once. */
#ifndef ZORV_FRAME_EVALWORK_H
#define ZORV_FRAME_EVALWORK_H

#include "zorv/zorv.h"

void EvalWorkInit(ZInst* inst);
void EvalWorkTerm(ZInst* inst);
void* EvalWorkAlloc(ZInst* inst);
void EvalWorkFree(ZInst* inst, void* block);
void EvalWorkClear(ZInst* inst);

#endif
