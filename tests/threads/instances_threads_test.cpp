// Instances of one extension record used by several threads at once, one instance each:
// created, parsing, resolving (with the transformer), evaluating, printing to one shared
// message target, reset and destroyed, all while the other threads do the same. What the
// threads share is the extension record, its pool, the host kernel and the library's
// tables; each thread's answers must be those of one thread alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <latch>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "frame/internal/internal_fixture.h"

namespace {

struct Row {
    double x = 0, y = 0;
    NQWChar s[6] = {};
};

int32_t bind(void*, ZNode* leaf, NQJournal*) {
    const std::string_view name(leaf->u.nm.name, static_cast<size_t>(leaf->u.nm.namelen));
    if (name == "X" || name == "Y") {
        leaf->vlen = -8;
        leaf->u.nm.colw = 8;
        leaf->u.nm.coloff = name == "X" ? offsetof(Row, x) : offsetof(Row, y);
        return 0;
    }
    if (name == "S") {
        leaf->vlen = sizeof(Row::s);
        leaf->u.nm.colw = sizeof(Row::s);
        leaf->u.nm.coloff = offsetof(Row, s);
        return 0;
    }
    return 99;
}

// Clauses that keep the transformer busy (merged comparisons, sets, negations pushed down,
// constants folded) and the evaluator's operators of every family.
const char* const kClauses[] = {
    "x > 3 and x <= 20 and x <> 7 and y in (1, 4, 9, 16, 25, 36)",
    "not (x < 5 or y = 2) or s =: 'ab'",
    "x in (1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31) or y between 10 and 12",
    "upcase(s || s) contains 'BCA' and x ** 2 - y * 3 >= 4 + 1",
    "(x + y) / 2 > (x min y) + 8 or s in ('cab', 'xyz')",
    "x = 1 or x = 2 or x = 3 or x > 30 and not y is missing",
};

constexpr int kThreads = 4;
constexpr int kRounds = 4;
constexpr int kRows = 40;

std::vector<Row> make_rows() {
    std::vector<Row> rows(kRows);
    const std::u32string texts[] = {U"abc", U"bca", U"cab", U"ab", U"xyz"};
    for (int i = 0; i < kRows; ++i) {
        Row& r = rows[static_cast<size_t>(i)];
        r.x = i % 33;
        r.y = (i * 5) % 41;
        const std::u32string& t = texts[i % 5];
        for (size_t k = 0; k < 6; ++k) r.s[k] = k < t.size() ? t[k] : U' ';
    }
    return rows;
}

class ManyInstances : public frametest::Linked {
  protected:
    // Parses and resolves one clause; the answers for every row, or an empty list when the
    // clause did not parse or bind.
    std::vector<int> answers(ZInst* inst, std::string_view clause, const std::vector<Row>& rows) {
        const std::u32string text(clause.begin(), clause.end());
        if (inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), jnl_) != 0 ||
            inst->Resolve(inst, jnl_, bind, nullptr) != 0)
            return {};
        std::vector<int> out;
        for (const Row& r : rows) out.push_back(inst->Eval(inst, &r, nullptr, nullptr));
        return out;
    }
};

TEST_F(ManyInstances, ThreadsEachWithTheirOwnInstanceAgreeWithOneThread) {
    const std::vector<Row> rows = make_rows();
    ZInst* alone = create();
    ASSERT_NE(alone, nullptr);
    std::vector<std::vector<int>> want;
    for (const char* c : kClauses) {
        want.push_back(answers(alone, c, rows));
        ASSERT_EQ(want.back().size(), rows.size()) << c;
        const long picked = std::count(want.back().begin(), want.back().end(), 1);
        ASSERT_TRUE(picked > 0 && picked < kRows) << c << ": rows that tell answers apart";
    }

    ZExt* x = ext();
    ASSERT_NE(x, nullptr);
    std::vector<int> wrong(kThreads, 0), failed(kThreads, 0);
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int round = 0; round < kRounds; ++round) {
                const uintptr_t options[2] = {0, 0};
                ZInst* inst = x->Create(x, options, jnl_, "thread");
                if (!inst) {
                    ++failed[static_cast<size_t>(t)];
                    continue;
                }
                for (size_t c = 0; c < std::size(kClauses); ++c) {
                    const size_t k = (c + static_cast<size_t>(t + round)) % std::size(kClauses);
                    if (answers(inst, kClauses[k], rows) != want[k])
                        ++wrong[static_cast<size_t>(t)];
                    if (c == 0) inst->Print(inst, jnl_);
                    inst->Reset(inst);
                }
                if (inst->Destroy(inst) != 0) ++failed[static_cast<size_t>(t)];
            }
        });
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
    EXPECT_EQ(failed, std::vector<int>(kThreads, 0));
}

}  // namespace
