// An instance on our host kernel, clauses parsed by the real parser and bound by a callback
// that places every column at a fixed spot of one test row (plain doubles, a shortened
// numeric, character columns of two widths, columns reached through an address in the row
// with 16- and 32-bit counts or none, columns given by fetch callbacks), then evaluated with
// ZORVEval over rows the tests fill in.
#ifndef ZORV_TESTS_EVAL_EVAL_FIXTURE_H
#define ZORV_TESTS_EVAL_EVAL_FIXTURE_H

#include <atomic>
#include <cstddef>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "eval/eval.h"
#include "frame/evalwork.h"
#include "frame/internal/internal_fixture.h"
#include "resolve/resolve.h"
#include "tests/common/column_binding.h"
#include "tests/common/tree_text.h"

namespace evaltest {

inline constexpr int kShortBytes = 4;  // the shortened numeric column S

// The row every clause is evaluated over. Character columns are fixed-width runs of
// 4-byte characters, padded with blanks by put().
struct Row {
    double pad = 0;  // keeps X off offset 0, so that its negative offset differs from it
    double x = 0, y = 0, z = 0;
    unsigned char s[kShortBytes] = {};  // the top bytes of a double
    NQWChar c[5] = {};
    NQWChar w[20] = {};
    const double* p = nullptr;         // P: the address of a double
    const unsigned char* v = nullptr;  // V: a 16-bit byte count, then characters
    const unsigned char* u = nullptr;  // U: a 32-bit byte count, then characters
    const NQWChar* q = nullptr;        // Q: the address of 5 characters, no count
    // F and G come through fetch callbacks: F a double, G characters.
    double f = 0;
    const NQWChar* g = nullptr;
    int32_t gbytes = 0;
    int32_t fail = 0;               // the fetch callbacks fail when set
    void (*hook)(void*) = nullptr;  // called inside every fetch, when set
    void* hookarg = nullptr;
};

// Calls of the fetch callbacks, across all threads.
inline std::atomic<int> fetch_calls{0};

// The fetch callback of F (a double) and G (characters), told apart by the leaf's kind.
inline int32_t fetch(ZNode* leaf, const void* row, const void** address, int32_t* length) {
    const Row* r = static_cast<const Row*>(row);
    fetch_calls.fetch_add(1);
    if (r->hook) r->hook(r->hookarg);
    if (r->fail) return 1;
    *address = leaf->vlen < 0 ? static_cast<const void*>(&r->f) : r->g;
    *length = leaf->vlen < 0 ? -8 : r->gbytes;
    return 0;
}

// Where a column is and what it is.
using Column = ztest::Column;

inline const std::vector<Column>& columns() {
    static const std::vector<Column> table = {
        {"X", -8, offsetof(Row, x), 0, nullptr},
        {"Y", -8, offsetof(Row, y), 0, nullptr},
        {"Z", -8, offsetof(Row, z), 0, nullptr},
        {"NX", -8, -static_cast<int32_t>(offsetof(Row, x)), 0, nullptr},  // negative offset
        {"S", -kShortBytes, offsetof(Row, s), 0, nullptr},
        {"C", 4 * 5, offsetof(Row, c), 0, nullptr},
        {"W", 4 * 20, offsetof(Row, w), 0, nullptr},
        {"P", -8, offsetof(Row, p), 1, nullptr},
        {"V", 4 * 10, offsetof(Row, v), 2, nullptr},
        {"U", 4 * 10, offsetof(Row, u), 4, nullptr},
        {"Q", 4 * 5, offsetof(Row, q), 1, nullptr},
        {"F", -8, 0, 1, fetch},
        {"G", 4 * 10, 0, 1, fetch},
    };
    return table;
}

// Fills a character column: the text, then blanks to its width.
template <size_t N>
void put(NQWChar (&dst)[N], std::u32string_view text) {
    for (size_t i = 0; i < N; ++i) dst[i] = i < text.size() ? text[i] : kBlank;
}

// The stored form of S: the top kShortBytes bytes of the double.
inline void put_short(Row& row, double v) {
    unsigned char bytes[sizeof v];
    std::memcpy(bytes, &v, sizeof v);
    std::memcpy(row.s, bytes + sizeof v - kShortBytes, kShortBytes);
}

// A counted value as V (count width 2) or U (4) point at: the byte count, then the text.
// The count is placed so that the characters after it are 4-byte aligned, as a host lays
// them out.
struct Counted {
    std::vector<unsigned char> bytes;
    size_t start = 0;
    const unsigned char* data() const { return bytes.data() + start; }
};
inline Counted counted(std::u32string_view text, size_t countbytes) {
    const uint32_t n = static_cast<uint32_t>(4 * text.size());
    Counted out;
    out.start = 4 - countbytes;
    out.bytes.resize(4 + n);
    if (countbytes == 2) {
        const uint16_t n16 = static_cast<uint16_t>(n);
        std::memcpy(out.bytes.data() + out.start, &n16, 2);
    } else {
        std::memcpy(out.bytes.data(), &n, 4);
    }
    if (n) std::memcpy(out.bytes.data() + 4, text.data(), n);
    return out;
}

inline std::u32string chars_of(const ZNode& result) {
    if (result.type != Z_LITC || result.u.litc.slen <= 0) return {};
    return std::u32string(reinterpret_cast<const char32_t*>(result.u.litc.str),
                          static_cast<size_t>(result.u.litc.slen / 4));
}

inline uint64_t bits_of(double v) {
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// A missing value by rank: 1 underscore, 2 ordinary, 3..28 the letters A..Z.
inline double missing(int rank) {
    return nqmissv_table[rank - 1];
}

class EvalTest : public frametest::Linked {
  protected:
    void SetUp() override {
        Linked::SetUp();
        inst_ = create();
        ASSERT_NE(inst_, nullptr);
        fetch_calls = 0;
    }

    // The fixture's binding callback: the columns above by name; any other name is
    // refused with status 99, so that a mistyped clause fails loudly.
    static int32_t bind(void*, ZNode* leaf, NQJournal*) {
        return ztest::bind_column(columns(), leaf);
    }

    // Parses and resolves a clause as the host does (binding, transformation, work-area
    // sizing); with transform false only binds and types it, and sizes the work area the
    // same way. Fails the test when the clause does not parse or bind.
    void prepare(std::string_view clause, bool transform = true, ZInst* inst = nullptr) {
        inst = inst ? inst : inst_;
        const std::u32string text(clause.begin(), clause.end());
        ASSERT_EQ(inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), jnl_), 0)
            << clause;
        if (transform) {
            ASSERT_EQ(inst->Resolve(inst, jnl_, bind, nullptr), 0) << clause;
            return;
        }
        inst->worksize = 0;
        ASSERT_EQ(resolve_tree(inst, inst->root, jnl_, bind, nullptr), 0) << clause;
        const int32_t cap = (inst->worksize + 4095) / 4096 * 4096;
        if (cap != inst->workcap) {
            EvalWorkClear(inst);
            inst->workcap = cap;
        }
    }

    int eval(const Row& row, ZNode* result = nullptr, ZNode* root = nullptr) {
        return inst_->Eval(inst_, &row, result, root);
    }

    // The clause's truth value over row (transformed unless asked otherwise).
    int truth(std::string_view clause, const Row& row, bool transform = true) {
        prepare(clause, transform);
        return eval(row);
    }

    // The root's value as a number, for clauses whose value is numeric.
    double number(std::string_view clause, const Row& row, bool transform = true) {
        prepare(clause, transform);
        ZNode r{};
        eval(row, &r);
        EXPECT_EQ(r.type, Z_LITN) << clause;
        return r.u.litn.num;
    }

    std::string tree() const { return ztest::render(inst_->root); }

    // ---- trees built by hand, from the instance's node store ----
    ZNode* node(int type, int vlen = -8) {
        ZNode* n = inst_->NewOp(inst_, type);
        EXPECT_NE(n, nullptr);
        n->vlen = static_cast<int16_t>(vlen);
        return n;
    }
    ZNode* num(double v) {
        ZNode* n = node(Z_LITN);
        n->u.litn.num = v;
        return n;
    }
    // A column leaf bound by the fixture's callback.
    ZNode* col(std::string_view name) {
        ZNode* n = node(Z_NAME, 0);
        std::memcpy(n->u.nm.name, name.data(), name.size());
        n->u.nm.namelen = static_cast<int16_t>(name.size());
        EXPECT_EQ(bind(nullptr, n, nullptr), 0) << name;
        return n;
    }
    ZNode* op(int type, std::initializer_list<ZNode*> args, int vlen = -8) {
        ZNode* n = node(type, vlen);
        for (ZNode* a : args) inst_->Set(inst_, n, -1, a);
        return n;
    }

    ZInst* inst_ = nullptr;
};

}  // namespace evaltest

#endif
