/* Resource groups: a group owns the objects registered with it and releases them, newest
 * first, through their header's Dispose when it is destroyed. Objects the kernel made
 * are marked as owned while registered, so closing the kernel does not release them
 * twice. */
#include <new>

#include "host/kernel/kernel_impl.h"

namespace zhost {
namespace {

struct GroupImpl : NQGroup {
    struct Entry {
        void* object;
        HostLink* link; /* set when the kernel made the object */
    };
    HostLink link;
    std::vector<Entry> entries; /* registration order; guarded by the kernel's mutex */
};

GroupImpl* group_of(NQGroup* g) {
    return static_cast<GroupImpl*>(g);
}

NQStatus group_init(NQGroup* g, int32_t, int32_t) {
    return g ? NQ_OK : NQ_STATUS_BAD_ARGUMENT;
}

/* A null object is accepted and ignored; an object registered twice would be released
 * twice, so that is refused. */
NQStatus group_register(NQGroup* g, int32_t, int32_t, void* object, int32_t, int32_t, int32_t,
                        int32_t) {
    if (!g) return NQ_STATUS_BAD_ARGUMENT;
    if (!object) return NQ_OK;
    GroupImpl& group = *group_of(g);
    KernelImpl& k = *group.link.kernel;
    std::lock_guard<std::mutex> hold(k.mu);
    for (const GroupImpl::Entry& e : group.entries)
        if (e.object == object) return NQ_STATUS_BAD_ARGUMENT;
    HostLink* link = find_object(k, object);
    if (link && (link->registered || link == &group.link)) return NQ_STATUS_BAD_ARGUMENT;
    try {
        group.entries.push_back({object, link});
    } catch (...) {
        return NQ_STATUS_NO_MEMORY;
    }
    if (link) link->registered = true;
    return NQ_OK;
}

/* Releases one object at a time without holding the kernel's mutex, since releasing an
 * object (a pool, a nested group) takes it again. */
NQStatus group_destroy(NQGroup* g) {
    if (!g) return NQ_STATUS_BAD_ARGUMENT;
    GroupImpl* group = group_of(g);
    KernelImpl& k = *group->link.kernel;
    for (;;) {
        GroupImpl::Entry e;
        {
            std::lock_guard<std::mutex> hold(k.mu);
            if (group->entries.empty()) break;
            e = group->entries.back();
            group->entries.pop_back();
            if (e.link) e.link->registered = false;
        }
        NQObject* hdr = static_cast<NQObject*>(e.object);
        if (hdr->Dispose) hdr->Dispose(e.object);
    }
    untrack_object(group->link);
    delete group;
    return NQ_OK;
}

void group_dispose(void* self) {
    group_destroy(static_cast<NQGroup*>(self));
}

}  // namespace

NQGroup* create_group(NQKernel* kernel, const int32_t*, NQJournal*, void*) {
    if (!kernel) return nullptr;
    KernelImpl& k = *impl(kernel);
    if (should_fail(k, ZHOST_CREATE_GROUP)) return nullptr;
    GroupImpl* g = new_object<NQGroup, GroupImpl>(k, KIND_GROUP, group_dispose);
    if (!g) return nullptr;
    g->Init = group_init;
    g->Register = group_register;
    g->Destroy = group_destroy;
    return g;
}

}  // namespace zhost
