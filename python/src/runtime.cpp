// Starting the library once per process, and the per-call instances and message journals.
#include "python/src/runtime.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <stdexcept>
#include <unordered_set>

#include "frame/nodekinds.h"
#include "frame/nodeutil.h"

namespace zorv::python {
namespace {

// The kernel and the extension live as long as the process: closing them at exit would
// unload libraries that objects of the interpreter (a Clause being destroyed late in the
// shutdown) may still reach. The operating system reclaims them.
NQKernel* g_kernel = nullptr;
ZExt* g_ext = nullptr;
std::once_flag g_started;

// Messages of the extension's start-up, which no caller sees otherwise.
NQJournal* g_start_journal = nullptr;

}  // namespace

void start_runtime(const std::string& extdir) {
    std::call_once(g_started, [&] {
        g_start_journal = zhost_open_capture_journal();
        g_kernel = zhost_open_kernel(extdir.c_str());
        if (g_kernel == nullptr || g_start_journal == nullptr) return;
        g_ext = static_cast<ZExt*>(g_kernel->LoadExtension(g_kernel, U"zorv", 4, g_start_journal));
    });
    if (g_kernel == nullptr) throw std::runtime_error("zorv: cannot start the host runtime");
    if (g_ext == nullptr)
        throw std::runtime_error("zorv: cannot load the zorv library (libzorv.so in " + extdir +
                                 ")");
}

NQKernel* runtime_kernel() {
    return g_kernel;
}

ZExt* runtime_extension() {
    return g_ext;
}

Messages::Messages() : jnl_(zhost_open_capture_journal()) {
    if (jnl_ == nullptr) throw std::bad_alloc();
}

Messages::~Messages() {
    zhost_close_journal(jnl_);
}

std::string Messages::text(int level, bool below) const {
    std::string out;
    const size_t n = zhost_journal_count(jnl_);
    for (size_t i = 0; i < n; ++i) {
        const int l = zhost_journal_level(jnl_, i);
        if (below ? l >= level : l < level) continue;
        std::string line = zhost_journal_text(jnl_, i);
        while (!line.empty() && line.back() == '\n') line.pop_back();
        if (!out.empty()) out.push_back('\n');
        out += line;
    }
    return out;
}

Instance::Instance() {
    if (g_ext == nullptr) throw std::runtime_error("zorv: the library is not started");
    const uintptr_t words[2] = {0, 0};
    inst_ = g_ext->Create(g_ext, words, created_.journal(), "python");
    if (inst_ == nullptr) throw std::runtime_error("zorv: cannot create a clause instance");
}

Instance::~Instance() {
    inst_->Destroy(inst_);
}

void Instance::parse(const std::u32string& text) {
    if (text.size() > static_cast<size_t>(INT32_MAX)) throw ClauseFailure{"the clause is too long"};
    Messages messages;
    const NQStatus status =
        inst_->Parse(inst_, text.data(), static_cast<int32_t>(text.size()), messages.journal());
    if (status == 0) return;
    std::string said = messages.text(NQ_LEVEL_ERROR);
    if (said.empty()) {
        // Failures the engine does not put into words (memory, mostly), as the command says them.
        char code[16];
        std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(status));
        said = std::string("the clause could not be parsed (status ") + code + ")";
    }
    throw ClauseFailure{said};
}

// Recursive: the parse driver bounds a tree's depth (ZORV_MAX_DEPTH levels), and the module
// runs it on the caller's thread, whose stack holds that many small frames.
static void collect_names(ZNode* node, std::unordered_set<std::string>* seen,
                          std::vector<std::string>* keys) {
    if (node == nullptr) return;
    if (node->type == Z_NAME) {
        const size_t n =
            static_cast<size_t>(std::clamp<int32_t>(node->u.nm.namelen, 0, sizeof node->u.nm.name));
        std::string key(node->u.nm.name, n);
        if (seen->insert(key).second) keys->push_back(std::move(key));
    } else if (zkind::is_operator(node->type)) {
        for (ArgCursor it(node); !it.done(); it.next()) collect_names(it.get(), seen, keys);
    }
}

std::vector<std::string> tree_names(ZNode* root) {
    std::unordered_set<std::string> seen;
    std::vector<std::string> keys;
    collect_names(root, &seen, &keys);
    return keys;
}

}  // namespace zorv::python
