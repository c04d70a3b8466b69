/* The kernel support library, exported from libzorv.so: missing values and numeric
 * helpers, memory and wide-string primitives, case mapping, atomics and the lock-free
 * stack, the kernel handle, the abort path and the message forwarders. */
#ifndef ZORV_SUPPORT_H
#define ZORV_SUPPORT_H

#include <stdint.h>

#include "zorv/nqhost.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ZORV_EXPORT __attribute__((visibility("default")))

/* ---- missing values ---- */
ZORV_EXPORT extern double pvmissv_struct[29];
ZORV_EXPORT extern double* nqmissv_table;
ZORV_EXPORT double pvMissVal(int code);
ZORV_EXPORT int pvMissArray(const double* values, int count);
ZORV_EXPORT int nqzrftrc(const void* field, int length, double* target);

/* ---- numeric helpers ---- */
typedef struct nqidiv_t {
    int32_t quot;
    int32_t rem;
} nqidiv_t;
typedef struct nqldiv_t {
    int64_t quot;
    int64_t rem;
} nqldiv_t;
ZORV_EXPORT nqidiv_t nqidiv(int32_t a, int32_t b);
ZORV_EXPORT nqldiv_t nqldiv(int64_t a, int64_t b);
ZORV_EXPORT int64_t nqlabs(int64_t a);
ZORV_EXPORT int64_t nqlmax(int64_t a, int64_t b);
ZORV_EXPORT int64_t nqlmin(int64_t a, int64_t b);
ZORV_EXPORT int32_t nqmax(int32_t a, int32_t b);
ZORV_EXPORT int32_t nqmin(int32_t a, int32_t b);
ZORV_EXPORT double nqfmax(double a, double b);
ZORV_EXPORT double nqfmin(double a, double b);
ZORV_EXPORT double nqlog2(double x);

/* ---- memory and string primitives (copies take the source first) ---- */
ZORV_EXPORT int32_t pvStrLen(const char* s);
ZORV_EXPORT int32_t pvStrTLen(const NQWChar* s);
ZORV_EXPORT void pvStrCpy(const char* s, char* d);
ZORV_EXPORT void pvStrTCpy(const NQWChar* s, NQWChar* d);
ZORV_EXPORT void pvStrUp(char* p, int32_t n);
ZORV_EXPORT int pvMemNot(int c, const void* p, int32_t n);
ZORV_EXPORT int pvMemTNot(uint32_t c, const void* p, int32_t n);
ZORV_EXPORT void pvMemSet(void* p, int c, int32_t n);
ZORV_EXPORT void pvMemTSet(void* p, uint32_t c, int32_t n);
ZORV_EXPORT int pvMemCmp(const void* a, const void* b, int32_t n);
ZORV_EXPORT int pvWMemCmp(const void* a, const void* b, int32_t n);
ZORV_EXPORT void pvMemCpy(const void* s, void* d, int32_t n);
ZORV_EXPORT void pvMemSCpy(const void* s, void* d, int32_t n);
ZORV_EXPORT void* pvMemDup(const void* p, int32_t n, NQPool* pool);
ZORV_EXPORT int32_t pvMemScan(const void* p, int32_t n, int c);
ZORV_EXPORT int32_t pvMemNScan(const void* p, int32_t n, int c);
ZORV_EXPORT int32_t pvMemTNScan(const void* p, int32_t n, uint32_t c);
ZORV_EXPORT int nqzsndx(const NQWChar* text, int32_t textlen, const NQWChar* pattern,
                        int32_t patlen);
ZORV_EXPORT int nqzsrpq(NQWChar* s, int32_t n);
ZORV_EXPORT int32_t nqzsttol(const NQWChar* s);

/* ---- case mapping ---- */
ZORV_EXPORT void nqzstup(NQWChar* text, int32_t n);
ZORV_EXPORT void nqzstlo(NQWChar* text, int32_t n);
ZORV_EXPORT int nqzseqn(const NQWChar* a, int32_t na, const NQWChar* b, int32_t nb);

/* ---- atomics and the lock-free stack ---- */
ZORV_EXPORT int32_t nqAtomicInit(volatile int32_t* cell, int32_t value);
ZORV_EXPORT int32_t nqAtomicDestroy(volatile int32_t* cell);
ZORV_EXPORT int32_t nqAtomicSet(volatile int32_t* cell, int32_t expected, int32_t desired);
ZORV_EXPORT int32_t nqAtomicAdd(volatile int32_t* cell, int32_t delta);
ZORV_EXPORT int32_t nqAtomicAnd(volatile int32_t* cell, int32_t mask);
ZORV_EXPORT int32_t nqAtomicOr(volatile int32_t* cell, int32_t mask);
/* The stack head holds the address of the top item; bit 0 is the busy mark of a pop. */
ZORV_EXPORT void nqAStackPush(volatile uintptr_t* head, void* item, int32_t linkoffset);
ZORV_EXPORT void* nqAStackPop(volatile uintptr_t* head, int32_t linkoffset);

/* ---- kernel handle, abort, unsupported entries ---- */
ZORV_EXPORT extern NQKernel* Exported_NQHandle;
ZORV_EXPORT void nqextent(NQKernel* handle);
ZORV_EXPORT __attribute__((noreturn)) void pvabort(void);
ZORV_EXPORT NQStatus pvUnsup(void);

/* ---- message forwarders: call journal entries 4 to 7 ---- */
ZORV_EXPORT NQStatus nqlMessageToBuf(NQJournal* target, const NQWChar* fmt, int32_t fmtlen,
                                     NQWChar* buf, int32_t capacity, int32_t* written, ...);
ZORV_EXPORT NQStatus nqlMessageToJnl(NQJournal* target, int32_t level, const NQWChar* fmt,
                                     int32_t fmtlen, ...);
ZORV_EXPORT NQStatus nqlStatusToBuf(NQJournal* target, NQStatus status, NQWChar* buf,
                                    int32_t capacity, int32_t* written, ...);
ZORV_EXPORT NQStatus nqlStatusToJnl(NQJournal* target, int32_t level, NQStatus status, ...);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ZORV_SUPPORT_H */
