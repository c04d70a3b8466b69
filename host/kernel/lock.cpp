/* Locks: a plain mutex behind the host's lock record. Acquire blocks until the lock is
 * held; the lock is not recursive. */
#include <new>

#include "host/kernel/kernel_impl.h"

namespace zhost {
namespace {

struct LockImpl : NQLock {
    HostLink link;
    std::mutex mutex;
};

NQStatus lock_acquire(NQLock* l, int32_t, int32_t) {
    if (!l) return NQ_STATUS_BAD_ARGUMENT;
    static_cast<LockImpl*>(l)->mutex.lock();
    return NQ_OK;
}

NQStatus lock_release(NQLock* l) {
    if (!l) return NQ_STATUS_BAD_ARGUMENT;
    static_cast<LockImpl*>(l)->mutex.unlock();
    return NQ_OK;
}

void lock_dispose(void* self) {
    LockImpl* l = static_cast<LockImpl*>(static_cast<NQLock*>(self));
    untrack_object(l->link);
    delete l;
}

}  // namespace

NQLock* create_lock(NQKernel* kernel, const int32_t*, NQJournal*, void*) {
    if (!kernel) return nullptr;
    KernelImpl& k = *impl(kernel);
    if (should_fail(k, ZHOST_CREATE_LOCK)) return nullptr;
    LockImpl* l = new_object<NQLock, LockImpl>(k, KIND_LOCK, lock_dispose);
    if (!l) return nullptr;
    l->Acquire = lock_acquire;
    l->Release = lock_release;
    return l;
}

}  // namespace zhost
