/* The nqstring extension: immutable copies of wide text in pool memory. A string is one
 * pool block holding the record and its characters (followed by a 0 unit), so releasing
 * it, or releasing the pool, gives everything back. */
#include <cstring>

#include "zorv/host.h"

namespace {

constexpr int32_t STRING_KIND = 0x4E510007;

void release_string(NQString* s) {
    if (!s) return;
    NQPool* pool = static_cast<NQPool*>(s->hdr.owner);
    pool->Free(pool, s);
}

void dispose_string(void* self) {
    release_string(static_cast<NQString*>(self));
}

/* The kernel that made the pool is in the pool's owner word; it decides injected
 * failures of string creation. */
NQString* new_string(NQStringExt*, NQPool* pool, const NQWChar* text, int32_t len, int32_t) {
    if (!pool || len < 0 || (len > 0 && !text)) return nullptr;
    constexpr uint32_t max_len = (UINT32_MAX - sizeof(NQString)) / sizeof(NQWChar) - 1;
    if (static_cast<uint32_t>(len) > max_len) return nullptr;
    if (zhost_should_fail(static_cast<NQKernel*>(pool->hdr.owner), ZHOST_CREATE_STRING))
        return nullptr;
    static_assert(sizeof(NQString) % alignof(NQWChar) == 0, "text follows the record");
    uint32_t size = static_cast<uint32_t>(sizeof(NQString) + (len + 1) * sizeof(NQWChar));
    void* block = pool->Alloc(pool, size, 0);
    if (!block) return nullptr;
    NQString* s = static_cast<NQString*>(block);
    NQWChar* chars = reinterpret_cast<NQWChar*>(s + 1);
    if (len > 0) std::memcpy(chars, text, len * sizeof(NQWChar));
    chars[len] = 0;
    s->hdr.Dispose = dispose_string;
    s->hdr.owner = pool;
    s->hdr.kind = STRING_KIND;
    s->Release = release_string;
    s->text = chars;
    s->length = len;
    return s;
}

/* The extension record holds no state, so every kernel shares one; its Dispose is null,
 * so a group it is registered with leaves it alone. */
const NQStringExt string_extension = {{nullptr, nullptr, 0}, new_string};

}  // namespace

extern "C" __attribute__((visibility("default"))) void* nqstring(NQKernel*, NQJournal*) {
    return const_cast<NQStringExt*>(&string_extension);
}
