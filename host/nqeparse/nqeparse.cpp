// The nqeparse extension: its entry, the extension record (one per kernel) and the engine
// object's life: CreateEngine, Context, Parse and the Dispose that a resource group calls.
#include <memory>
#include <mutex>
#include <new>
#include <vector>

#include "host/nqeparse/engine.h"
#include "zorv/host.h"

namespace nqe {
namespace {

// Host-private kind word of our engines, for diagnostics.
constexpr int32_t kEngineKind = 0x4E510101;

// The extension record. Its header stays zero, so a resource group that registers it
// skips it; the kernel it was loaded into follows the public words.
struct ExtRecord {
    NQParseExt pub;
    NQKernel* kernel;
};

std::mutex records_mu;
std::vector<std::unique_ptr<ExtRecord>> records;

Engine* self(NQEngine* e) {
    return reinterpret_cast<EngineHead*>(e)->self;
}

void dispose(void* object) {
    if (!object) return;
    Engine* e = self(static_cast<NQEngine*>(object));
    NQKernel* k = e->kernel;
    delete e;
    if (k) zhost_track(k, -1);
}

NQParseContext* context(NQEngine* e) {
    return e ? &self(e)->ctx : nullptr;
}

NQStatus parse(NQEngine* e, NQJournal* jnl) {
    if (!e) return NQ_STATUS_BAD_ARGUMENT;
    return self(e)->parse(jnl);
}

void report(NQJournal* jnl, const char* why) {
    Message m;
    m.add("parse engine: the grammar tables are inconsistent: ");
    m.add(why);
    write_message(jnl, m);
}

// Builds an engine from the seven-word block: asks the grammar routine for its tables once,
// checks them and sizes every buffer a parse needs, so that Parse allocates nothing.
NQEngine* create_engine(NQParseExt* x, const NQEngineBlock* block, NQStatus* status,
                        NQJournal* jnl) {
    NQStatus ignored = NQ_OK;
    if (!status) status = &ignored;
    if (!x || !block || !block->grammar || !block->token || !block->semantic) {
        *status = NQ_STATUS_BAD_ARGUMENT;
        return nullptr;
    }
    NQKernel* k = reinterpret_cast<ExtRecord*>(x)->kernel;
    if (k && zhost_should_fail(k, ZHOST_CREATE_ENGINE)) {
        *status = NQ_STATUS_NO_MEMORY;
        return nullptr;
    }
    std::unique_ptr<Engine> e(new (std::nothrow) Engine);
    if (!e) {
        *status = NQ_STATUS_NO_MEMORY;
        return nullptr;
    }
    try {
        const char* why = nullptr;
        const NQStatus st = load_tables(e->g, block->grammar, &why);
        if (st != NQ_OK) {
            report(jnl, why);
            *status = st;
            return nullptr;
        }
        e->stack_mem.assign(kMaxDepth, 0);
        e->scratch_mem.assign(kMaxDepth, 0);
        e->aux_mem.assign(kMaxDepth, 0);
        e->ahead_mem.assign(kWindow, NQToken{});
        e->insert_mem.assign(kMaxInsert, 0);
        e->expect_mem.assign(e->g.nterms + 1, 0);
        e->items_mem.assign(e->g.nterms + 1, 0);
        e->group_terminals();
        e->verdict_mem.assign(static_cast<size_t>(e->g.nnt) * static_cast<size_t>(e->g.nterms + 1),
                              0);
    } catch (const std::bad_alloc&) {
        *status = NQ_STATUS_NO_MEMORY;
        return nullptr;
    }
    e->stack = SymbolStack{e->stack_mem.data(), 0};
    e->kernel = k;
    e->token = block->token;
    e->semantic = block->semantic;
    e->head.pub.hdr.Dispose = dispose;
    e->head.pub.hdr.owner = k;
    e->head.pub.hdr.kind = kEngineKind;
    e->head.pub.Parse = parse;
    e->head.pub.Context = context;
    e->head.self = e.get();
    e->ctx = NQParseContext{};
    e->ctx.engine = &e->head.pub;
    e->ctx.user = block->user;
    if (k) zhost_track(k, +1);
    *status = NQ_OK;
    return &e.release()->head.pub;
}

}  // namespace
}  // namespace nqe

// Entry of the extension: the record of this kernel, made on its first load.
extern "C" ZHOST_API void* nqeparse(NQKernel* kernel, NQJournal* /*jnl*/) {
    using namespace nqe;
    try {
        std::lock_guard<std::mutex> hold(records_mu);
        for (const auto& r : records)
            if (r->kernel == kernel) return &r->pub;
        auto r = std::make_unique<ExtRecord>();
        r->pub = NQParseExt{};
        r->pub.CreateEngine = create_engine;
        r->kernel = kernel;
        records.push_back(std::move(r));
        return &records.back()->pub;
    } catch (...) {
        return nullptr;
    }
}
