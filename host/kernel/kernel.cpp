/* The kernel handle: opening and closing a kernel, the live-object list behind
 * zhost_live_count, and the failure-injection switches of the embedding API. */
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "host/kernel/kernel_impl.h"

namespace zhost {

void track_object(KernelImpl& k, HostLink& link, void* record, ObjectKind kind,
                  void (*destroy)(void*)) {
    link.kernel = &k;
    link.record = record;
    link.kind = kind;
    link.destroy = destroy;
    link.registered = false;
    std::lock_guard<std::mutex> hold(k.mu);
    link.next = &k.objects;
    link.prev = k.objects.prev;
    k.objects.prev->next = &link;
    k.objects.prev = &link;
    k.live.fetch_add(1, std::memory_order_relaxed);
}

void untrack_object(HostLink& link) {
    KernelImpl& k = *link.kernel;
    std::lock_guard<std::mutex> hold(k.mu);
    link.prev->next = link.next;
    link.next->prev = link.prev;
    link.prev = link.next = nullptr;
    k.live.fetch_sub(1, std::memory_order_relaxed);
}

HostLink* find_object(KernelImpl& k, const void* record) {
    for (HostLink* l = k.objects.prev; l != &k.objects; l = l->prev)
        if (l->record == record) return l;
    return nullptr;
}

bool should_fail(KernelImpl& k, ZHostCreation kind) {
    if (kind < 0 || kind >= ZHOST_CREATE_KINDS) return false;
    if (!k.create_fail[kind].tick()) return false;
    k.injected.fetch_add(1, std::memory_order_relaxed);
    return true;
}

namespace {

[[noreturn]] void abort_process(NQService*) {
    std::fflush(stderr);
    std::abort();
}

/* The folder that holds libnqkernel.so, found through one of its own symbols. */
std::string own_folder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&zhost_open_kernel), &info) == 0 || !info.dli_fname)
        return ".";
    std::string path = info.dli_fname;
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

/* The folder extensions are loaded from when the embedder names none. The build tree keeps
 * every library side by side in build/<width>/. An installed tree keeps the extensions, which
 * only the kernel opens, out of the linker's search path: in a private folder zorv/ beside
 * libnqkernel.so (<prefix>/lib/zorv/, as a Debian package keeps its plugins), holding the
 * sibling extensions and a link libzorv.so to the library's SONAME. When that folder exists
 * it is the one; the test is for a directory, since build/<width>/zorv is the command. */
std::string extension_folder() {
    const std::string own = own_folder();
    const std::string private_folder = own + "/zorv";
    struct stat st {};
    if (::stat(private_folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return private_folder;
    return own;
}

/* The newest live object that no group owns and, when groups_only, that is a group;
 * null when there is none. */
HostLink* newest_unowned(KernelImpl& k, bool groups_only) {
    std::lock_guard<std::mutex> hold(k.mu);
    for (HostLink* l = k.objects.prev; l != &k.objects; l = l->prev) {
        if (l->registered) continue;
        if (groups_only && l->kind != KIND_GROUP) continue;
        return l;
    }
    return nullptr;
}

}  // namespace
}  // namespace zhost

using namespace zhost;

extern "C" {

ZHOST_API NQKernel* zhost_open_kernel(const char* extdir) {
    KernelImpl* k = new (std::nothrow) KernelImpl();
    if (!k) return nullptr;
    try {
        k->extdir = extdir ? std::string(extdir) : extension_folder();
    } catch (...) {
        delete k;
        return nullptr;
    }
    k->objects.prev = k->objects.next = &k->objects;
    k->hdr.owner = k;
    k->hdr.kind = KIND_KERNEL;
    k->CreateGroup = create_group;
    k->CreatePool = create_pool;
    k->CreateLock = create_lock;
    k->LoadExtension = load_extension;
    k->service.hdr.owner = k;
    k->service.Abort = abort_process;
    k->svc = &k->service;
    init_nls(*k);
    k->nls = &k->nlsrec;
    return k;
}

/* Groups go first, newest first, taking what they own with them; then whatever was made
 * but never handed to a group; the libraries last, since the objects' operations live
 * in them. */
ZHOST_API void zhost_close_kernel(NQKernel* kernel) {
    if (!kernel) return;
    KernelImpl& k = *impl(kernel);
    for (bool groups_only : {true, false}) {
        while (HostLink* l = newest_unowned(k, groups_only)) l->destroy(l->record);
    }
    unload_extensions(k);
    delete &k;
}

ZHOST_API long zhost_live_count(NQKernel* kernel) {
    return kernel ? impl(kernel)->live.load(std::memory_order_relaxed) : 0;
}

ZHOST_API void zhost_fail_allocation(NQKernel* kernel, long n) {
    if (kernel) impl(kernel)->alloc_fail.arm(n);
}

ZHOST_API void zhost_fail_creation(NQKernel* kernel, ZHostCreation kind, long n) {
    if (kernel && kind >= 0 && kind < ZHOST_CREATE_KINDS) impl(kernel)->create_fail[kind].arm(n);
}

ZHOST_API void zhost_fail_extension(NQKernel* kernel, const char* name) {
    if (!kernel) return;
    KernelImpl& k = *impl(kernel);
    std::lock_guard<std::mutex> hold(k.mu);
    try {
        k.fail_extension = name ? name : "";
    } catch (...) {
        k.fail_extension.clear();
    }
}

ZHOST_API long zhost_injected_failures(NQKernel* kernel) {
    return kernel ? impl(kernel)->injected.load(std::memory_order_relaxed) : 0;
}

ZHOST_API void zhost_set_needs_transcoder(NQKernel* kernel, int needed) {
    if (kernel) impl(kernel)->needs_transcoder.store(needed != 0);
}

ZHOST_API void zhost_hide_nls(NQKernel* kernel, int hidden) {
    if (kernel) kernel->nls = hidden ? nullptr : &impl(kernel)->nlsrec;
}

ZHOST_API void zhost_track(NQKernel* kernel, int delta) {
    if (kernel) impl(kernel)->live.fetch_add(delta, std::memory_order_relaxed);
}

ZHOST_API int zhost_should_fail(NQKernel* kernel, ZHostCreation kind) {
    return kernel && should_fail(*impl(kernel), kind) ? 1 : 0;
}

}  // extern "C"
