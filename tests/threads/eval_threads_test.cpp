// Several threads evaluating one instance at once, as a host scanning a table on all its
// cores does. The clauses build long texts in work areas (concatenations beyond the
// 48-byte inline buffer, UPCASE of one) and compare them, within the same evaluation, with
// the texts each row expects; a column bound at a negative offset is stored back by
// whichever evaluation comes first. The instance starts with an empty work-area stack, so
// the threads outnumber its areas and contend for them. The test runs with and without the
// instance's lock held over every evaluation.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <latch>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "frame/internal/internal_fixture.h"
#include "tests/common/column_binding.h"

namespace {

constexpr int kThreads = 6;
constexpr int kRows = 240;
constexpr int kPasses = 6;
constexpr int kLenA = 12;  // characters of A, held in the row
constexpr int kMaxB = 16;  // declared characters of B, reached through an address

// One row. N is bound at a negative offset; A lies in the row; B is reached through the
// row's address of a 32-bit byte count followed by the characters; E and F come through
// the fetch callback and hold what the row's long texts must be.
struct Row {
    double pad = 0;  // keeps N off offset 0, where its negative offset would be no different
    double n = 0;
    NQWChar a[kLenA] = {};
    const unsigned char* b = nullptr;
    std::vector<unsigned char> bstore;  // B's count and characters
    std::u32string e, f;
};

// Evaluations inside the fetch callback right now, and how often one found another there.
// Without the lock, threads meet there; with it, never. Relaxed, so that the count orders
// nothing between the threads: synchronisation of the test's own would hide a race of the
// library's from ThreadSanitizer.
std::atomic<int> inside{0};
std::atomic<long> met{0};

int32_t fetch(ZNode* leaf, const void* row, const void** address, int32_t* length) {
    const Row* r = static_cast<const Row*>(row);
    if (inside.fetch_add(1, std::memory_order_relaxed) > 0)
        met.fetch_add(1, std::memory_order_relaxed);
    std::this_thread::yield();  // stay inside a little, so that another evaluation may come
    inside.fetch_sub(1, std::memory_order_relaxed);
    const std::u32string& text = leaf->u.nm.name[0] == 'E' ? r->e : r->f;
    *address = text.data();
    *length = static_cast<int32_t>(4 * text.size());
    return 0;
}

using Column = ztest::Column;

const Column kColumns[] = {
    {"N", -8, -static_cast<int32_t>(offsetof(Row, n)), 0, nullptr},
    {"A", 4 * kLenA, offsetof(Row, a), 0, nullptr},
    {"B", 4 * kMaxB, offsetof(Row, b), 4, nullptr},
    {"E", 4 * (2 * kLenA + kMaxB), 0, 1, fetch},
    {"F", 4 * (2 * kLenA + kMaxB), 0, 1, fetch},
};

int32_t bind(void*, ZNode* leaf, NQJournal*) {
    return ztest::bind_column(kColumns, leaf);
}

std::u32string upper(std::u32string s) {
    for (char32_t& c : s)
        if (c >= U'a' && c <= U'z') c -= U'a' - U'A';
    return s;
}

// Rows whose texts vary in length and content; E and F are right for most rows and one
// character off for some, so that the answers depend on the long texts' every character.
std::vector<Row> make_rows() {
    std::vector<Row> rows(kRows);
    const std::u32string letters = U"abcdefghijklmnopqrstuvwxyzQRSTUV0123456789";
    for (int i = 0; i < kRows; ++i) {
        Row& r = rows[static_cast<size_t>(i)];
        r.n = i % 41;
        std::u32string a, b;
        for (int k = 0; k < kLenA; ++k) a += letters[static_cast<size_t>((i * 7 + k * 3) % 42)];
        for (int k = 0; k < 1 + i % kMaxB; ++k) b += letters[static_cast<size_t>((i + k * 5) % 42)];
        std::copy(a.begin(), a.end(), r.a);
        const uint32_t bytes = static_cast<uint32_t>(4 * b.size());
        r.bstore.resize(4 + bytes);
        std::memcpy(r.bstore.data(), &bytes, 4);
        std::memcpy(r.bstore.data() + 4, b.data(), bytes);
        r.b = r.bstore.data();
        r.e = a + b + a;
        r.f = upper(b + a);
        if (i % 5 == 1) r.e[static_cast<size_t>(i) % r.e.size()] = U'#';
        if (i % 7 == 2) r.f.back() = U'#';
    }
    return rows;
}

// The answer the clause below must give, worked out here without the library.
bool expected(const Row& r, int i) {
    return i % 5 != 1 && i % 7 != 2 && static_cast<int>(r.n) % 3 != 0;
}

// N NOT IN a list longer than one node's slots, so that its elements are reached through
// the overflow blocks while other threads read them too.
std::string clause() {
    std::string list;
    for (int k = 3; k <= 60; k += 3) list += (list.empty() ? "" : ", ") + std::to_string(k);
    return "(a || b || a) = e and upcase(b || a) = f and n not in (0, " + list + ")";
}

class SharedInstance : public frametest::Linked, public ::testing::WithParamInterface<bool> {
  protected:
    void SetUp() override {
        Linked::SetUp();
        inside = 0;
        met = 0;
    }

    ZInst* prepared() {
        ZInst* inst = create();
        EXPECT_NE(inst, nullptr);
        if (!inst) return nullptr;
        const std::string c = clause();
        const std::u32string text(c.begin(), c.end());
        EXPECT_EQ(inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), jnl_), 0);
        EXPECT_EQ(inst->Resolve(inst, jnl_, bind, nullptr), 0);
        return inst;
    }

    // The blocks on the instance's free stack, each once: a block seen twice (a cycle) or
    // more blocks than could ever have been in use fail the test.
    static size_t stacked(const ZInst* inst) {
        std::set<uintptr_t> seen;
        for (uintptr_t b = inst->workfree; b != 0; b = *reinterpret_cast<const uintptr_t*>(b)) {
            EXPECT_EQ(b & 7u, 0u) << "a busy mark or a stray link on the stack";
            if (!seen.insert(b).second || seen.size() > kThreads + 1u) {
                ADD_FAILURE() << "the free stack loops";
                break;
            }
        }
        return seen.size();
    }
};

TEST_P(SharedInstance, ThreadsGiveTheAnswersOfOneThread) {
    const bool serialize = GetParam();
    const std::vector<Row> rows = make_rows();

    // One thread, on an instance of its own: the reference answers.
    ZInst* alone = prepared();
    ASSERT_NE(alone, nullptr);
    ASSERT_GT(alone->worksize, 4 * 48) << "both long texts need the work area";
    std::vector<int> want(kRows);
    for (int i = 0; i < kRows; ++i) {
        want[static_cast<size_t>(i)] =
            alone->Eval(alone, &rows[static_cast<size_t>(i)], nullptr, nullptr);
        ASSERT_EQ(want[static_cast<size_t>(i)], expected(rows[static_cast<size_t>(i)], i))
            << "row " << i;
    }
    EXPECT_EQ(stacked(alone), 1u);

    // Many threads on a fresh instance: no work area yet, the negative offset not yet
    // stored back.
    ZInst* shared = prepared();
    ASSERT_NE(shared, nullptr);
    ASSERT_EQ(shared->workfree, 0u);
    shared->serialize = serialize ? 1 : 0;
    std::vector<std::vector<int>> got(kThreads, std::vector<int>(kRows, -1));
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            std::vector<int>& mine = got[static_cast<size_t>(t)];
            for (int pass = 0; pass < kPasses; ++pass)
                for (int i = 0; i < kRows; ++i) {
                    const size_t k = static_cast<size_t>((i + t * 37) % kRows);
                    ZNode result;
                    const int truth = shared->Eval(shared, &rows[k], &result, nullptr);
                    // A later pass that disagrees with an earlier one leaves -2.
                    mine[k] = pass == 0 || mine[k] == truth ? truth : -2;
                }
        });
    for (std::thread& th : threads) th.join();

    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(got[static_cast<size_t>(t)], want) << "thread " << t;
    const size_t areas = stacked(shared);
    EXPECT_GE(areas, 1u);
    EXPECT_LE(areas, static_cast<size_t>(kThreads)) << "more areas than evaluations at once";
    if (serialize)
        EXPECT_EQ(met.load(), 0) << "two evaluations ran at once under the lock";
    else
        EXPECT_GT(met.load(), 0) << "the threads never overlapped: the test proves nothing";
}

INSTANTIATE_TEST_SUITE_P(Lock, SharedInstance, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "Serialized" : "Concurrent";
                         });

}  // namespace
