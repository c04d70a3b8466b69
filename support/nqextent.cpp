/* The library's kernel handle: set once by the host through nqextent before any other
 * thread runs, read by the abort path. */
#include "zorv/support.h"

NQKernel* Exported_NQHandle = nullptr;

void nqextent(NQKernel* handle) {
    Exported_NQHandle = handle;
}
