// Fuzz target: clause text through the parser and the printer. A first byte below 8 is a
// mode byte (bit 0: the rest is raw 4-byte units rather than UTF-8; bit 1: the ESC wrapper;
// bit 2: token and semantic-action traces); any other input is UTF-8 text, parsed plainly.
// One instance per option set serves the whole run (making one builds the parse engine's
// tables, far too slow to do per input); each input is parsed twice on it, and the second
// parse must build the same tree with the same status. After the final Reset the host must
// hold exactly the objects it held before the input.
#include <cstddef>
#include <cstdint>

#include "tests/fuzz/fuzz_host.h"
#include "tests/fuzz/tree_sig.h"

using namespace fuzzhost;

namespace {

struct State {
    ZInst* inst[4] = {};  // by option set: bit 0 the ESC wrapper, bit 1 the traces
    long live = 0;
};

State& state() {
    static State s = [] {
        State made;
        for (uint32_t set = 0; set < 4; ++set) {
            uint32_t bits = 0;
            if (set & 1) bits |= ZORV_OPT_ESC;
            if (set & 2) bits |= ZORV_OPT_TOKTRACE | ZORV_OPT_SEMTRACE;
            made.inst[set] = create(bits, "fuzz parse");
        }
        made.live = zhost_live_count(host().kernel);
        return made;
    }();
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    state();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Host& h = host();
    State& s = state();

    uint8_t mode = 0;
    if (size > 0 && data[0] < 8) {
        mode = data[0];
        ++data;
        --size;
    }
    const std::u32string text = (mode & 1) ? units(data, size) : utf8(data, size);
    ZInst* inst = s.inst[(mode >> 1) & 3];
    const int32_t len = static_cast<int32_t>(text.size());
    const int32_t status = inst->Parse(inst, text.data(), len, h.jnl);
    if (h.verbose) std::fprintf(stderr, "parse status %d\n", static_cast<int>(status));
    // A failed parse may leave a tree behind; the printer must cope with it as well.
    ZORVPrint(inst, h.jnl);
    if (inst->escroot) ZORVPrintSubtree(inst, h.jnl, inst->Root(inst));
    if (inst->root && inst->root->type > 35 && inst->root->u.op.nargs > 0) {
        ZNode* last = inst->Get(inst, inst->root, inst->root->u.op.nargs - 1);
        ZORVPrintSubtree(inst, h.jnl, last);
    }
    const uint64_t sig = signature(inst->root);
    const bool wrapped = inst->escroot != nullptr;

    FUZZ_CHECK(inst->Parse(inst, text.data(), len, h.jnl) == status);
    FUZZ_CHECK(signature(inst->root) == sig);
    FUZZ_CHECK((inst->escroot != nullptr) == wrapped);

    FUZZ_CHECK(inst->Reset(inst) == 0);
    FUZZ_CHECK(inst->root == nullptr);
    FUZZ_CHECK(zhost_live_count(h.kernel) == s.live);
    return 0;
}
