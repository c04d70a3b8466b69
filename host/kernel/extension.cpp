/* Loading extensions by name: lib<name>.so from the kernel's extension folder, opened
 * once per kernel and closed when the kernel closes. The library's optional nqextent
 * learns the kernel handle before its entry <name>(kernel, jnl) runs. */
#include <dlfcn.h>

#include "host/kernel/kernel_impl.h"

namespace zhost {
namespace {

constexpr int32_t MAX_NAME = 64;

/* Extension names are plain identifiers: no path can be smuggled in through them. */
bool extension_name(const NQWChar* name, int32_t namelen, std::string& out) {
    if (!name) return false;
    if (namelen < 0) {
        namelen = 0;
        while (namelen <= MAX_NAME && name[namelen] != 0) ++namelen;
    }
    if (namelen == 0 || namelen > MAX_NAME) return false;
    out.clear();
    for (int32_t i = 0; i < namelen; ++i) {
        char32_t c = name[i];
        bool ok =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        if (!ok) return false;
        out.push_back(static_cast<char>(c));
    }
    return true;
}

/* The kernel's handle of lib<name>.so, opening it on first use. dlopen runs outside the
 * kernel's mutex: a library's constructors may call back into the kernel. */
void* library_handle(KernelImpl& k, const std::string& name) {
    {
        std::lock_guard<std::mutex> hold(k.mu);
        for (const KernelImpl::Library& lib : k.libraries)
            if (lib.name == name) return lib.handle;
    }
    std::string path = k.extdir + "/lib" + name + ".so";
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return nullptr;
    std::lock_guard<std::mutex> hold(k.mu);
    for (const KernelImpl::Library& lib : k.libraries) {
        if (lib.name == name) { /* another thread opened it meanwhile */
            dlclose(handle);
            return lib.handle;
        }
    }
    k.libraries.push_back({name, handle});
    return handle;
}

}  // namespace

/* Every failure (bad name, injected failure, missing library or entry, an entry that
 * answers null) gives null without a message: the caller reports in its own words. */
void* load_extension(NQKernel* kernel, const NQWChar* name, int32_t namelen, NQJournal* jnl) {
    if (!kernel) return nullptr;
    KernelImpl& k = *impl(kernel);
    try {
        std::string ext;
        if (!extension_name(name, namelen, ext)) return nullptr;
        {
            std::lock_guard<std::mutex> hold(k.mu);
            if (!k.fail_extension.empty() && k.fail_extension == ext) {
                k.injected.fetch_add(1, std::memory_order_relaxed);
                return nullptr;
            }
        }
        void* handle = library_handle(k, ext);
        if (!handle) return nullptr;
        auto entry = reinterpret_cast<NQExtensionEntry>(dlsym(handle, ext.c_str()));
        if (!entry) return nullptr;
        if (auto setter = reinterpret_cast<NQExtentSetter>(dlsym(handle, "nqextent")))
            setter(kernel);
        return entry(kernel, jnl);
    } catch (...) {
        return nullptr;
    }
}

void unload_extensions(KernelImpl& k) {
    while (!k.libraries.empty()) {
        dlclose(k.libraries.back().handle);
        k.libraries.pop_back();
    }
}

}  // namespace zhost
