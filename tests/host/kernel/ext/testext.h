/* The record of the kernel tests' extension nqtestext: it remembers what the kernel
 * handed it, so the tests can check how LoadExtension calls an extension. */
#ifndef ZORV_TESTS_HOST_KERNEL_TESTEXT_H
#define ZORV_TESTS_HOST_KERNEL_TESTEXT_H

#include "zorv/nqhost.h"

typedef struct TestExtRecord {
    NQObject hdr;            /* Dispose counts disposals */
    NQKernel* extent_kernel; /* the handle nqextent was given */
    int32_t extent_calls;
    int32_t entry_calls;
    NQJournal* entry_jnl; /* the journal the entry was given */
    int32_t refuse_next;  /* when set, the next entry call answers null (and clears it) */
    int32_t disposals;
    int32_t fresh; /* 1 in a freshly loaded copy of the library */
} TestExtRecord;

#endif
