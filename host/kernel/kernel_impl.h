/* The kernel's private side: the C++ objects behind the records it hands out, the list of
 * live objects that makes zhost_live_count and kernel close work, and the failure
 * injection counters. Shared by the kernel folder, the journal and the NLS service. */
#ifndef ZORV_HOST_KERNEL_IMPL_H
#define ZORV_HOST_KERNEL_IMPL_H

#include <array>
#include <atomic>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "zorv/host.h"

namespace zhost {

struct KernelImpl;

/* Kinds written into the host-private kind word of our records, for diagnostics. */
enum ObjectKind : int32_t {
    KIND_KERNEL = 0x4E510001,
    KIND_GROUP,
    KIND_POOL,
    KIND_LOCK,
    KIND_TRANSCODER,
    KIND_LOCALE,
    KIND_STRING,
    KIND_JOURNAL,
};

/* A one-shot countdown: arm(n) makes the n-th tick from now answer true. Costs one relaxed
 * load per tick while disarmed. */
class Countdown {
  public:
    void arm(long n) { left_.store(n > 0 ? n : 0, std::memory_order_relaxed); }
    bool tick() {
        long n = left_.load(std::memory_order_relaxed);
        while (n > 0) {
            if (left_.compare_exchange_weak(n, n - 1, std::memory_order_relaxed)) return n == 1;
        }
        return false;
    }

  private:
    std::atomic<long> left_{0};
};

/* Every object the kernel makes (group, pool, lock, transcoder, locale) sits in the
 * kernel's list of live objects through one of these, so that closing the kernel can
 * release what the program forgot. `registered` is set while a group owns the object:
 * the group, not the kernel, releases it then. */
struct HostLink {
    HostLink* prev = nullptr;
    HostLink* next = nullptr;
    KernelImpl* kernel = nullptr;
    void* record = nullptr; /* the record handed out */
    void (*destroy)(void* record) = nullptr;
    ObjectKind kind = KIND_GROUP;
    bool registered = false;
};

struct KernelImpl : NQKernel {
    NQService service{};
    NQNls nlsrec{};

    std::mutex mu;    /* guards the object list, group contents, libraries, fail name */
    HostLink objects; /* sentinel of the circular list of live objects, newest at prev */
    std::atomic<long> live{0};

    Countdown alloc_fail;
    std::array<Countdown, ZHOST_CREATE_KINDS> create_fail;
    std::atomic<long> injected{0}; /* failures the injection has caused */
    std::atomic<bool> needs_transcoder{true};
    std::string fail_extension;

    std::string extdir; /* folder the extension libraries are loaded from */
    struct Library {
        std::string name;
        void* handle;
    };
    std::vector<Library> libraries; /* in load order */
};

inline KernelImpl* impl(NQKernel* k) {
    return static_cast<KernelImpl*>(k);
}

/* Links an object into its kernel's live list and counts it. */
void track_object(KernelImpl& k, HostLink& link, void* record, ObjectKind kind,
                  void (*destroy)(void*));
/* Unlinks an object and uncounts it. */
void untrack_object(HostLink& link);
/* The link of a live kernel object with this record, or null; the caller holds k.mu. */
HostLink* find_object(KernelImpl& k, const void* record);
bool should_fail(KernelImpl& k, ZHostCreation kind);

/* A new host object of type Impl, which derives from its record type Record and has a
 * `link`: its header filled and the object on the kernel's live list, ready for the
 * caller to fill in its operations. Null when memory runs out. */
template <typename Record, typename Impl>
Impl* new_object(KernelImpl& k, ObjectKind kind, void (*dispose)(void*)) {
    Impl* o = new (std::nothrow) Impl();
    if (!o) return nullptr;
    o->hdr.Dispose = dispose;
    o->hdr.owner = &k;
    o->hdr.kind = kind;
    Record* rec = o;
    track_object(k, o->link, rec, kind, dispose);
    return o;
}

/* Kernel operations, one file each. */
NQGroup* create_group(NQKernel* k, const int32_t* block6, NQJournal* jnl, void* zero);
NQPool* create_pool(NQKernel* k, const int32_t* block3, NQJournal* jnl, const char* name);
NQLock* create_lock(NQKernel* k, const int32_t* block3, NQJournal* jnl, void* zero);
void* load_extension(NQKernel* k, const NQWChar* name, int32_t namelen, NQJournal* jnl);
/* Closes every extension library, newest first. */
void unload_extensions(KernelImpl& k);
/* Fills the kernel's NLS service record. */
void init_nls(KernelImpl& k);

}  // namespace zhost

#endif /* ZORV_HOST_KERNEL_IMPL_H */
