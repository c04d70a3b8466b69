// Entry of the nqetok extension: the extension record whose CreateTokenizer makes
// tokenizers. One record per kernel, kept until the library is unloaded.
#include <mutex>
#include <new>

#include "host/nqetok/tokenizer.h"
#include "zorv/host.h"

namespace {

struct TokExt {
    NQTokExt rec;  // first: the record handed out is the object itself
    NQKernel* kernel;
    TokExt* next;
};

// Records made so far. A record has no Dispose, so a resource group may register it
// without ending it; they all go when the library is unloaded (the kernel unloads its
// extensions when it closes).
struct Registry {
    std::mutex lock;
    TokExt* head = nullptr;
    ~Registry() {
        while (head) {
            TokExt* e = head;
            head = e->next;
            delete e;
        }
    }
};

Registry registry;

NQTokenizer* create(NQTokExt* x, const NQTokenizerBlock* block, NQJournal* jnl, const char*,
                    NQStatus* status) {
    return etok::create_tokenizer(reinterpret_cast<TokExt*>(x)->kernel, block, jnl, status);
}

}  // namespace

// Returns this kernel's extension record, made on the first load; null when out of memory.
extern "C" ZHOST_API void* nqetok(NQKernel* kernel, NQJournal*) {
    if (!kernel) return nullptr;
    std::lock_guard<std::mutex> hold(registry.lock);
    for (TokExt* e = registry.head; e; e = e->next)
        if (e->kernel == kernel) return &e->rec;
    TokExt* e = new (std::nothrow) TokExt{};
    if (!e) return nullptr;
    e->rec.hdr.owner = kernel;
    e->rec.CreateTokenizer = create;
    e->kernel = kernel;
    e->next = registry.head;
    registry.head = e;
    return &e->rec;
}
