// A real instance (from the library's entry, on our host kernel) and builders for the trees
// the transformer's tests work on: constants, bound column leaves, ranges, sets and
// operators, all taken from the instance's node store. Trees are checked in the tests' one
// notation, ztest::render.
#ifndef ZORV_TESTS_TRAN_TRAN_FIXTURE_H
#define ZORV_TESTS_TRAN_TRAN_FIXTURE_H

#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "frame/internal/internal_fixture.h"
#include "frame/nodeutil.h"
#include "tests/common/tree_text.h"
#include "tran/tran.h"

namespace trantest {

class TranTest : public frametest::Linked {
  protected:
    void SetUp() override {
        frametest::Linked::SetUp();
        inst_ = create();
        ASSERT_NE(inst_, nullptr);
    }

    // Makes tree the instance's root, transforms it and returns the new root.
    ZNode* transform(ZNode* tree) {
        inst_->root = tree;
        ZORVTran(inst_, jnl_);
        return inst_->root;
    }

    // A fresh node of the given type from the instance's store, all else zero.
    ZNode* node(int type, int vlen = 0) {
        ZNode* n = inst_->NewOp(inst_, type);
        EXPECT_NE(n, nullptr);
        n->vlen = static_cast<int16_t>(vlen);
        return n;
    }

    // A numeric constant; tag 0 number, 1 date, 2 time, 3 datetime.
    ZNode* num(double v, uint32_t tag = 0) {
        ZNode* n = node(Z_LITN, -8);
        n->u.litn.num = v;
        n->u.litn.tag = tag;
        return n;
    }

    // A missing value by rank: 1 underscore, 2 ordinary, 3..28 the letters A..Z.
    ZNode* missing(int rank) { return num(nqmissv_table[rank - 1]); }

    // A character constant. As the parser does, a text that fits the node's inline buffer
    // (with one unit to spare) lives there; a longer one lives in the instance's arena.
    ZNode* chr(std::u32string_view s) {
        const auto len = static_cast<int32_t>(s.size());
        ZNode* n = node(Z_LITC, 4 * len);
        NQWChar* buf = n->u.litc.inl;
        if (len + 1 > static_cast<int32_t>(sizeof n->u.litc.inl / sizeof(NQWChar)))
            buf = static_cast<NQWChar*>(inst_->Alloc(inst_, 4 * (len + 1)));
        if (len > 0) std::memcpy(buf, s.data(), 4 * s.size());
        n->u.litc.str = buf;
        n->u.litc.slen = 4 * len;
        return n;
    }
    ZNode* chr(std::string_view ascii) { return chr(std::u32string(ascii.begin(), ascii.end())); }
    ZNode* chr(const char* ascii) { return chr(std::string_view(ascii)); }

    // A column leaf as the name-binding callback leaves it: numeric (vlen -8) by default,
    // or character with a positive vlen; colw the declared width.
    ZNode* col(std::string_view name, int vlen = -8, int colw = 8) {
        ZNode* n = node(Z_NAME, vlen);
        const size_t len = name.size() < sizeof n->u.nm.name ? name.size() : sizeof n->u.nm.name;
        std::memcpy(n->u.nm.name, name.data(), len);
        n->u.nm.namelen = static_cast<int16_t>(len);
        n->u.nm.colw = static_cast<int16_t>(colw);
        return n;
    }

    // An operator with these operands, appended through the instance's Set slot (operands
    // past the fifteenth land in overflow blocks). Null operands make empty slots.
    ZNode* op(int type, std::initializer_list<ZNode*> args, int vlen = -8) {
        ZNode* n = node(type, vlen);
        for (ZNode* a : args) inst_->Set(inst_, n, -1, a);
        return n;
    }

    ZNode* range(int type, ZNode* lo, ZNode* hi) { return op(type, {lo, hi}); }
    ZNode* range(int type, double lo, double hi) { return range(type, num(lo), num(hi)); }
    ZNode* set(std::initializer_list<ZNode*> elements) { return op(Z_SET, elements); }

    // A set of the numbers from, from + 1, ..., from + count - 1.
    ZNode* numbers(int from, int count) {
        ZNode* s = node(Z_SET, -8);
        for (int i = 0; i < count; ++i) inst_->Set(inst_, s, -1, num(from + i));
        return s;
    }

    // Parses a clause into the instance's root; null when it does not parse.
    ZNode* parse(std::u32string_view text) {
        const int32_t status =
            inst_->Parse(inst_, text.data(), static_cast<int32_t>(text.size()), jnl_);
        return status == 0 ? inst_->root : nullptr;
    }

    // Length of the node store's free list: what FreeOp has given back and NewOp not
    // taken again.
    int free_nodes() const {
        int count = 0;
        for (ZNode* n = inst_->nodefree; n != nullptr; n = n->u.op.next) ++count;
        return count;
    }

    static std::string render(const ZNode* n) { return ztest::render(n); }

    ZInst* inst_ = nullptr;
};

}  // namespace trantest

#endif
