/* nqtestext: a tiny extension for the kernel tests. Its record is static, so it also
 * shows whether the library was unloaded and loaded again. */
#include "testext.h"

#define EXPORT extern "C" __attribute__((visibility("default")))

static void count_disposal(void* self) {
    static_cast<TestExtRecord*>(self)->disposals++;
}

static TestExtRecord record = {{count_disposal, nullptr, 0}, nullptr, 0, 0, nullptr, 0, 0, 1};

EXPORT void nqextent(NQKernel* kernel) {
    record.extent_kernel = kernel;
    record.extent_calls++;
}

EXPORT void* nqtestext(NQKernel*, NQJournal* jnl) {
    record.entry_calls++;
    record.entry_jnl = jnl;
    if (record.refuse_next) {
        record.refuse_next = 0;
        return nullptr;
    }
    return &record;
}
