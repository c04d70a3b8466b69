// An instance made through the library's entry, clauses parsed by the real parser, and a
// name-binding callback that binds columns by their first letter and notes every name it is
// offered. The resolver's internals are called by name on the trees that come back.
#ifndef ZORV_TESTS_RESOLVE_RESOLVE_FIXTURE_H
#define ZORV_TESTS_RESOLVE_RESOLVE_FIXTURE_H

#include <string>
#include <vector>

#include "frame/internal/internal_fixture.h"
#include "resolve/resolve.h"
#include "tests/common/tree_text.h"

namespace resolvetest {

class Resolver : public frametest::Linked {
  protected:
    void SetUp() override {
        Linked::SetUp();
        inst_ = create();
        ASSERT_NE(inst_, nullptr);
    }

    int32_t parse(const std::string& ascii, ZInst* inst = nullptr) {
        inst = inst ? inst : inst_;
        const std::u32string text(ascii.begin(), ascii.end());
        return inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), jnl_);
    }
    int32_t resolve() { return resolve_tree(inst_, inst_->root, jnl_, bind, this); }
    int32_t resolve_slot() { return inst_->Resolve(inst_, jnl_, bind, this); }
    std::string tree() const { return ztest::render(inst_->root); }

    // Columns by first letter: N numeric, S numeric in 4 bytes, C 10 characters, W 20,
    // L 1000; other names stay untyped. The name `refuse_` gets the status `refusal_`.
    static int32_t bind(void* ctx, ZNode* leaf, NQJournal*) {
        auto* self = static_cast<Resolver*>(ctx);
        const std::string name(leaf->u.nm.name, static_cast<size_t>(leaf->u.nm.namelen));
        self->offered_.push_back(name);
        if (name == self->refuse_) return self->refusal_;
        const std::string letters = "NSCWL";
        const int16_t vlens[] = {-8, -4, 40, 80, 4000, 0};
        leaf->vlen = vlens[letters.find(name[0]) == std::string::npos ? 5 : letters.find(name[0])];
        return 0;
    }

    ZInst* inst_ = nullptr;
    std::vector<std::string> offered_;
    std::string refuse_;
    int32_t refusal_ = 0;
};

}  // namespace resolvetest

#endif
