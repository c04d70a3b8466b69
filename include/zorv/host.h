/* Embedding API of the host runtime (libnqkernel.so): open and close a kernel, make
 * message targets, and steer the failure injection that tests use. Also the statuses
 * that the host's components return. A program starts the whole system by opening a
 * kernel and calling its LoadExtension with the name of the extension it wants. */
#ifndef ZORV_HOST_H
#define ZORV_HOST_H

#include <stddef.h>
#include <stdio.h>

#include "zorv/nqhost.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ZHOST_API __attribute__((visibility("default")))

/* ---- statuses of the host's components (0 is success) ---- */
#define NQ_OK 0
#define NQ_STATUS_UNSUPPORTED ((NQStatus)0x803FC004) /* unsupported entry */
/* NQ_STATUS_VALUE_ZERO and NQ_STATUS_NOT_A_NUMBER, the locale's, are in nqhost.h. */
#define NQ_STATUS_NO_MEMORY ((NQStatus)0x803FE001)    /* an allocation was refused */
#define NQ_STATUS_BAD_ARGUMENT ((NQStatus)0x803FE002) /* null or malformed argument */
#define NQ_STATUS_TRUNCATED ((NQStatus)0x803FE003)    /* output cut at the capacity */
#define NQ_STATUS_WRITE_FAILED ((NQStatus)0x803FE004) /* a stream journal could not write */
#define NQ_STATUS_LEXICAL ((NQStatus)0x803FE010)      /* tokenizer: no token can be made */
#define NQ_STATUS_SYNTAX ((NQStatus)0x803FE020)       /* engine: syntax errors were found */
#define NQ_STATUS_TOO_DEEP ((NQStatus)0x803FE021)     /* engine: nested too deeply */
#define NQ_STATUS_SEMANTIC ((NQStatus)0x803FE022)     /* engine: the callback set the error flag */
#define NQ_STATUS_BAD_GRAMMAR ((NQStatus)0x803FE023)  /* engine: the tables are inconsistent */

/* ---- kernel ---- */

/* Opens a kernel. Extensions are loaded as lib<name>.so from extdir or, when extdir is
 * null, from the folder zorv/ beside libnqkernel.so where there is one (an installed tree:
 * <prefix>/lib/zorv/), else from the folder of libnqkernel.so itself (the build tree).
 * Returns null when out of memory. */
ZHOST_API NQKernel* zhost_open_kernel(const char* extdir);

/* Closes a kernel: destroys groups still alive, then unloads the extension libraries. */
ZHOST_API void zhost_close_kernel(NQKernel* kernel);

/* Number of pool blocks and host objects (groups, pools, locks, engines, tokenizers,
 * strings, transcoders, locales) still alive in this kernel: 0 after everything made
 * through it has been released. */
ZHOST_API long zhost_live_count(NQKernel* kernel);

/* ---- message targets ---- */

/* Writes plain output (level 0) to out as it is, one line per message; traces and errors
 * to err, errors prefixed "zorv: error: ". Text is written as UTF-8. */
ZHOST_API NQJournal* zhost_open_stream_journal(FILE* out, FILE* err);

/* Keeps every message with its level in memory. */
ZHOST_API NQJournal* zhost_open_capture_journal(void);
/* Formats every message as the others do, reading each argument its format names, and
 * keeps none: for runs that want the library's messages made but not their text. */
ZHOST_API NQJournal* zhost_open_discard_journal(void);
ZHOST_API size_t zhost_journal_count(NQJournal* jnl);
ZHOST_API int zhost_journal_level(NQJournal* jnl, size_t i);
/* The i-th message as UTF-8, valid until the journal is cleared or closed. */
ZHOST_API const char* zhost_journal_text(NQJournal* jnl, size_t i);
ZHOST_API void zhost_journal_clear(NQJournal* jnl);
ZHOST_API void zhost_close_journal(NQJournal* jnl);

/* Flushes a stream journal's two streams and tells whether all that was written to them
 * arrived: 0, or the errno of the first write or flush that failed (EIO when the C library
 * gave none), with *stream (when not null) set to 1 for out and 2 for err. After a failure
 * a stream is written no more. A capture or discard journal always answers 0. */
ZHOST_API int zhost_journal_flush(NQJournal* jnl, int* stream);

/* ---- failure injection (costs nothing while unused) ---- */

/* The n-th allocation from now, by any pool of this kernel, is refused (n >= 1);
 * 0 switches it off. */
ZHOST_API void zhost_fail_allocation(NQKernel* kernel, long n);

/* The n-th allocation from now by this pool is refused; 0 switches it off. */
ZHOST_API void zhost_fail_pool_allocation(NQPool* pool, long n);

typedef enum ZHostCreation {
    ZHOST_CREATE_GROUP = 0,
    ZHOST_CREATE_POOL = 1,
    ZHOST_CREATE_LOCK = 2,
    ZHOST_CREATE_ENGINE = 3,
    ZHOST_CREATE_TOKENIZER = 4,
    ZHOST_CREATE_TRANSCODER = 5,
    ZHOST_CREATE_STRING = 6,
    ZHOST_CREATE_KINDS = 7
} ZHostCreation;

/* The n-th creation of that kind from now fails (returns null); 0 switches it off. */
ZHOST_API void zhost_fail_creation(NQKernel* kernel, ZHostCreation kind, long n);

/* LoadExtension of this name (8-bit, as it would be spelled) fails; null clears. */
ZHOST_API void zhost_fail_extension(NQKernel* kernel, const char* name);

/* How many failures the injection has caused in this kernel so far: allocations refused,
 * creations failed and extensions not loaded. A test that arms a failure reads it before
 * and after a run to learn whether the failure came due within the run. */
ZHOST_API long zhost_injected_failures(NQKernel* kernel);

/* Makes NeedsTranscoder answer false (0) or true (1, the default). */
ZHOST_API void zhost_set_needs_transcoder(NQKernel* kernel, int needed);

/* Makes the kernel's nls word null (1) or the service again (0). */
ZHOST_API void zhost_hide_nls(NQKernel* kernel, int hidden);

/* For the host's own extensions, whose objects are not pool blocks: counts an object
 * made (+1) or released (-1) in zhost_live_count. */
ZHOST_API void zhost_track(NQKernel* kernel, int delta);

/* For the host's own extensions: consumes one pending injected failure of that kind;
 * returns 1 when this creation must fail. */
ZHOST_API int zhost_should_fail(NQKernel* kernel, ZHostCreation kind);

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* ZORV_HOST_H */
