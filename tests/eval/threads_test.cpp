// Several threads evaluating one instance at once give the answers one thread gives: a
// clause with an indexed list, arithmetic, a fetch column and a call that needs a work
// area, over rows that exercise every branch.
#include <thread>
#include <vector>

#include "tests/eval/eval_fixture.h"

namespace evaltest {
namespace {

TEST_F(EvalTest, ThreadsAgreeWithOneThread) {
    std::string list = "x in (";
    for (int i = 0; i < 300; ++i) list += (i ? ", " : "") + std::to_string(3 * i);
    prepare(list + ") and (y + z * 2 > 10 or upcase(c) = 'AB') and f ** 2 < 900");
    ASSERT_GT(inst_->worksize, 0);

    const int kRows = 4000;
    std::vector<Row> rows(kRows);
    for (int i = 0; i < kRows; ++i) {
        Row& r = rows[static_cast<size_t>(i)];
        r.x = (i * 7) % 1000;
        r.y = i % 9;
        r.z = i % 5 == 0 ? missing(2) : (i % 4);
        r.f = (i % 61) - 30;
        put(r.c, i % 3 == 0 ? U"ab" : i % 3 == 1 ? U"AB " : U"abc");
    }
    std::vector<int> want(kRows);
    int selected = 0;
    for (int i = 0; i < kRows; ++i)
        selected += want[static_cast<size_t>(i)] = eval(rows[static_cast<size_t>(i)]);
    ASSERT_GT(selected, kRows / 20);
    ASSERT_LT(selected, kRows - kRows / 20);

    const int kThreads = 4;
    std::vector<std::vector<int>> got(kThreads, std::vector<int>(kRows, -1));
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            for (int pass = 0; pass < 3; ++pass)
                for (int i = 0; i < kRows; ++i) {
                    const size_t k = static_cast<size_t>((i + t * 997) % kRows);
                    got[static_cast<size_t>(t)][k] = eval(rows[k]);
                }
        });
    for (std::thread& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t)
        EXPECT_EQ(got[static_cast<size_t>(t)], want) << "thread " << t;
}

}  // namespace
}  // namespace evaltest
