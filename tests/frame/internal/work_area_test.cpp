// The stack of evaluation work areas: blocks come from the extension's pool, are cached and
// reused, all go back on clear and on destruction, and several threads taking and returning
// areas at once never share one.
#include <atomic>
#include <cstring>
#include <set>
#include <thread>

#include "frame/evalwork.h"
#include "frame/internal/internal_fixture.h"

namespace {

class WorkArea : public frametest::Linked {
  protected:
    void SetUp() override {
        Linked::SetUp();
        inst_ = create();
        ASSERT_NE(inst_, nullptr);
        inst_->workcap = 4096;
    }
    size_t cached() const {
        size_t n = 0;
        for (uintptr_t b = inst_->workfree; b; b = *reinterpret_cast<const uintptr_t*>(b)) ++n;
        return n;
    }
    ZInst* inst_ = nullptr;
};

TEST_F(WorkArea, EmptyStackAllocatesFromTheExtensionPool) {
    const long before = live();
    zhost_fail_pool_allocation(inst_->pool, 1);  // the instance pool is not asked
    void* block = EvalWorkAlloc(inst_);
    zhost_fail_pool_allocation(inst_->pool, 0);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0x3C, static_cast<size_t>(inst_->workcap));
    EXPECT_EQ(live(), before + 1);

    zhost_fail_pool_allocation(ext()->pool, 1);
    EXPECT_EQ(EvalWorkAlloc(inst_), nullptr);
    zhost_fail_pool_allocation(ext()->pool, 0);
    EvalWorkFree(inst_, block);
}

TEST_F(WorkArea, FreedAreasAreReusedLastInFirstOut) {
    void* a = EvalWorkAlloc(inst_);
    void* b = EvalWorkAlloc(inst_);
    ASSERT_TRUE(a && b);
    EXPECT_NE(a, b);
    const long held = live();
    EvalWorkFree(inst_, a);
    EvalWorkFree(inst_, b);
    EXPECT_EQ(cached(), 2u);
    EXPECT_EQ(EvalWorkAlloc(inst_), b);
    EXPECT_EQ(EvalWorkAlloc(inst_), a);
    EXPECT_EQ(inst_->workfree, 0u);
    EXPECT_EQ(live(), held);
    EvalWorkFree(inst_, a);
    EvalWorkFree(inst_, b);
}

TEST_F(WorkArea, ClearAndTermGiveEverythingBack) {
    const long before = live();
    for (auto finish : {EvalWorkClear, EvalWorkTerm}) {
        void* blocks[3];
        for (void*& b : blocks) b = EvalWorkAlloc(inst_);
        for (void* b : blocks) EvalWorkFree(inst_, b);
        EXPECT_EQ(live(), before + 3);
        finish(inst_);
        EXPECT_EQ(inst_->workfree, 0u);
        EXPECT_EQ(live(), before);
    }
    EvalWorkClear(inst_);  // an empty stack is fine too
    EXPECT_EQ(live(), before);
}

TEST_F(WorkArea, DestroyReturnsCachedAreas) {
    const long before = live();
    ZInst* other = create();
    ASSERT_NE(other, nullptr);
    other->workcap = 8192;
    void* a = EvalWorkAlloc(other);
    void* b = EvalWorkAlloc(other);
    EvalWorkFree(other, a);
    EvalWorkFree(other, b);
    destroy(other);
    EXPECT_EQ(live(), before);
}

TEST_F(WorkArea, ThreadsNeverShareAnArea) {
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    std::atomic<int> clashes{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const unsigned char mark = static_cast<unsigned char>(0x10 + t);
            for (int r = 0; r < kRounds; ++r) {
                auto* area = static_cast<unsigned char*>(EvalWorkAlloc(inst_));
                if (!area) {
                    ++failures;
                    continue;
                }
                std::memset(area, mark, 64);
                std::this_thread::yield();
                for (int i = 0; i < 64; ++i)
                    if (area[i] != mark) {
                        ++clashes;
                        break;
                    }
                EvalWorkFree(inst_, area);
            }
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(clashes.load(), 0);
    EXPECT_EQ(failures.load(), 0);

    // Every area made is on the stack once, and no more were made than threads ran.
    std::set<uintptr_t> distinct;
    for (uintptr_t b = inst_->workfree; b; b = *reinterpret_cast<const uintptr_t*>(b))
        ASSERT_TRUE(distinct.insert(b).second) << "area on the stack twice";
    EXPECT_GE(distinct.size(), 1u);
    EXPECT_LE(distinct.size(), static_cast<size_t>(kThreads));
    const long before = live();
    EvalWorkClear(inst_);
    EXPECT_EQ(before - live(), static_cast<long>(distinct.size()));
}

}  // namespace
