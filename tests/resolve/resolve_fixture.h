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

// The vlen a column gets from its first letter: N numeric, S a numeric stored in 4 bytes,
// C 10 characters, W 20 characters, L 1000 characters; any other name stays untyped.
inline int16_t column_vlen(const ZNode* leaf) {
    switch (leaf->u.nm.namelen > 0 ? leaf->u.nm.name[0] : 0) {
        case 'N':
            return -8;
        case 'S':
            return -4;
        case 'C':
            return 40;
        case 'W':
            return 80;
        case 'L':
            return 4000;
        default:
            return 0;
    }
}

class Resolver : public frametest::Linked {
  protected:
    void SetUp() override {
        Linked::SetUp();
        inst_ = create(options_);
        ASSERT_NE(inst_, nullptr);
    }

    // Parses an ASCII clause; the parse must succeed for the tests that use this.
    int32_t parse(const std::string& clause, ZInst* inst = nullptr) {
        inst = inst ? inst : inst_;
        const std::u32string text(clause.begin(), clause.end());
        return inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), jnl_);
    }

    int32_t resolve() { return resolve_tree(inst_, inst_->root, jnl_, bind, this); }
    int32_t resolve_slot() { return inst_->Resolve(inst_, jnl_, bind, this); }

    std::string tree() const { return ztest::render(inst_->root); }

    // Binds the leaf by its name's first letter; the name `refuse_` gets status `refusal_`.
    static int32_t bind(void* ctx, ZNode* leaf, NQJournal*) {
        auto* self = static_cast<Resolver*>(ctx);
        const std::string name(leaf->u.nm.name, static_cast<size_t>(leaf->u.nm.namelen));
        self->offered_.push_back(name);
        if (name == self->refuse_) return self->refusal_;
        leaf->vlen = column_vlen(leaf);
        leaf->u.nm.coloff = 8 * static_cast<int32_t>(self->offered_.size());
        return 0;
    }

    uintptr_t options_ = 0;
    ZInst* inst_ = nullptr;
    std::vector<std::string> offered_;
    std::string refuse_;
    int32_t refusal_ = 0;
};

}  // namespace resolvetest

#endif
