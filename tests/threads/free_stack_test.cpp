// The lock-free stack under contention: threads that pop two items and push them back, so
// that an item is often popped and pushed back while another thread is between reading the
// head and swapping it. Each item is owned by one thread at a time, and when the threads
// are done the stack holds every item exactly once. The threads run spread over the cores,
// and then all on one core, where the scheduler stops them at arbitrary instructions: that
// is what leaves a thread between its read of the head and its swap for long enough.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <latch>
#include <set>
#include <thread>
#include <vector>

#include "zorv/support.h"

namespace {

// The link lies after a word of its own, so the stack is driven at a non-zero offset.
struct Item {
    uint64_t tag = 0;
    uintptr_t link = 0;
    std::atomic<int> owner{0};
    int payload = 0;  // written plainly by the owner: two owners at once are a data race
};
constexpr int32_t kLinkOffset = offsetof(Item, link);

constexpr int kThreads = 4;
constexpr int kItems = 5;  // a thread holds up to two, so the stack is often nearly empty
constexpr int kRounds = 60000;

// The first processor this process may run on, or -1 when that cannot be learnt.
int first_cpu() {
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) != 0) return -1;
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &set)) return c;
    return -1;
}

class FreeStack : public ::testing::TestWithParam<bool> {};

TEST_P(FreeStack, ItemsPoppedAndPushedBackUnderContentionStayWhole) {
    const int cpu = GetParam() ? first_cpu() : -1;
    std::vector<Item> items(kItems);
    volatile uintptr_t head = 0;
    for (Item& it : items) nqAStackPush(&head, &it, kLinkOffset);

    std::atomic<long> doubled{0}, clobbered{0};
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, id = t + 1] {
            if (cpu >= 0) {
                cpu_set_t one;
                CPU_ZERO(&one);
                CPU_SET(cpu, &one);
                pthread_setaffinity_np(pthread_self(), sizeof one, &one);
            }
            start.arrive_and_wait();
            uint32_t rng = 0x9E3779B9u * static_cast<uint32_t>(id);
            for (int round = 0; round < kRounds; ++round) {
                rng ^= rng << 13;
                rng ^= rng >> 17;
                rng ^= rng << 5;
                // One to three items off the top, put back with the first of them first and
                // the rest after it in turn, so that the order under the top keeps changing:
                // a thread that read an item as the head before may find it on top again
                // with another link, while the item it read as next is held here.
                Item* got[3];
                int n = 0;
                for (int k = 0; k < 1 + static_cast<int>(rng % 3); ++k)
                    if (void* p = nqAStackPop(&head, kLinkOffset)) got[n++] = static_cast<Item*>(p);
                for (int k = 0; k < n; ++k) {
                    if (got[k]->owner.exchange(id) != 0) doubled.fetch_add(1);
                    got[k]->payload = id * 100000 + round;
                }
                const int turn = static_cast<int>((rng >> 8) % 2);
                for (int j = 0; j < n; ++j) {
                    Item* it = got[j == 0 ? 0 : 1 + (j - 1 + turn) % (n - 1)];
                    if (j == 1 && cpu < 0 && round % 8 == 0) std::this_thread::yield();
                    if (it->payload != id * 100000 + round) clobbered.fetch_add(1);
                    it->owner.store(0);
                    nqAStackPush(&head, it, kLinkOffset);
                }
            }
        });
    for (std::thread& th : threads) th.join();

    EXPECT_EQ(doubled.load(), 0) << "an item was held by two threads at once";
    EXPECT_EQ(clobbered.load(), 0);
    std::set<const Item*> seen;
    uintptr_t at = head;
    for (int steps = 0; at != 0 && steps <= kItems; ++steps) {
        ASSERT_EQ(at & 1u, 0u) << "the head kept a busy mark";
        seen.insert(reinterpret_cast<const Item*>(at));
        at = reinterpret_cast<const Item*>(at)->link;
    }
    EXPECT_EQ(at, 0u) << "the stack does not end after its items";
    EXPECT_EQ(seen.size(), static_cast<size_t>(kItems)) << "items lost or linked twice";
    for (const Item& it : items) {
        EXPECT_TRUE(seen.count(&it));
        EXPECT_EQ(it.owner.load(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Cores, FreeStack, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "OneCore" : "Spread";
                         });

}  // namespace
