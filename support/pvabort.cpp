/* The abort path for internal inconsistencies, and the standard answer of an entry the
 * library does not support. */
#include <cstdlib>

#include "zorv/support.h"

/* Asks the host to end the process; if it comes back, or there is no host, stops the
 * process here. Callers have already written their fatal message. */
void pvabort(void) {
    NQKernel* k = Exported_NQHandle;
    if (k != nullptr && k->svc != nullptr && k->svc->Abort != nullptr) k->svc->Abort(k->svc);
    std::abort();
}

NQStatus pvUnsup(void) {
    return static_cast<NQStatus>(0x803FC004u);
}
