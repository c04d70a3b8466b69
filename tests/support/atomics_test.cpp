// Atomic cells and the lock-free stack, alone and under several threads at once: no
// update may be lost, and no stack item lost or handed to two threads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <set>
#include <thread>
#include <vector>

#include "zorv/support.h"

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 100000;

// Runs body(t) on kThreads threads released together, so that their loops overlap.
template <class F>
void run_threads(F body) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; t++)
        threads.emplace_back([&, t] {
            ready++;
            while (ready.load() < kThreads) std::this_thread::yield();
            body(t);
        });
    for (auto& th : threads) th.join();
}

TEST(Atomics, SingleThreadResults) {
    volatile int32_t cell = 77;
    EXPECT_EQ(nqAtomicInit(&cell, 5), 0);
    EXPECT_EQ(cell, 5);
    EXPECT_EQ(nqAtomicSet(&cell, 5, 9), 1);
    EXPECT_EQ(cell, 9);
    EXPECT_EQ(nqAtomicSet(&cell, 4, 1), 0);
    EXPECT_EQ(cell, 9);

    nqAtomicInit(&cell, 1);
    EXPECT_EQ(nqAtomicAdd(&cell, -1), 0);
    nqAtomicInit(&cell, INT32_MAX);
    EXPECT_EQ(nqAtomicAdd(&cell, 1), INT32_MIN) << "addition wraps";
    EXPECT_EQ(nqAtomicAdd(&cell, -1), INT32_MAX);

    nqAtomicInit(&cell, 0x3C);
    EXPECT_EQ(nqAtomicAnd(&cell, 0xF0), 0x30);
    EXPECT_EQ(nqAtomicOr(&cell, 0x03), 0x33);
    EXPECT_EQ(nqAtomicOr(&cell, INT32_MIN), static_cast<int32_t>(0x80000033u));
    EXPECT_EQ(nqAtomicAnd(&cell, INT32_MIN), INT32_MIN);

    EXPECT_EQ(nqAtomicDestroy(&cell), 0);
    EXPECT_EQ(cell, 0);
}

TEST(Atomics, ConcurrentAddsAndCompareAndSwapLoseNothing) {
    alignas(4) volatile int32_t added = 0;
    alignas(4) volatile int32_t swapped = 0;
    run_threads([&](int) {
        for (int i = 0; i < kRounds; i++) {
            nqAtomicAdd(&added, 3);
            nqAtomicAdd(&added, -2);
            for (;;) {
                const int32_t seen = swapped;
                if (nqAtomicSet(&swapped, seen, seen + 1)) break;
            }
        }
    });
    EXPECT_EQ(added, kThreads * kRounds);
    EXPECT_EQ(swapped, kThreads * kRounds);
}

// Each thread sets and clears its own bits in a shared cell. A lost update would let
// another thread's And or Or wipe out or restore a bit: the owner sees it in the value
// its own operation returns.
TEST(Atomics, ConcurrentAndOrKeepEveryThreadsBits) {
    alignas(4) volatile int32_t cell = 0;
    std::atomic<int> wrong{0};
    run_threads([&](int t) {
        const int32_t mine = 0x11 << t;
        for (int i = 0; i < kRounds; i++) {
            if ((nqAtomicOr(&cell, mine) & mine) != mine) wrong++;
            if ((nqAtomicAnd(&cell, ~mine) & mine) != 0) wrong++;
        }
        nqAtomicOr(&cell, 0x100000 << t);  // leave a mark for the final check
    });
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(cell, 0xF00000);
}

// Stack items with the link word away from the start, to catch a wrong offset.
struct Item {
    int32_t id;
    std::atomic<int> holders{0};
    uintptr_t link;
};
const int32_t kLink = static_cast<int32_t>(offsetof(Item, link));

TEST(AtomicStack, LastInFirstOut) {
    volatile uintptr_t head = 0;
    EXPECT_EQ(nqAStackPop(&head, kLink), nullptr);
    EXPECT_EQ(head, 0u);

    Item a, b, c;
    nqAStackPush(&head, &a, kLink);
    nqAStackPush(&head, &b, kLink);
    EXPECT_EQ(head, reinterpret_cast<uintptr_t>(&b));
    EXPECT_EQ(nqAStackPop(&head, kLink), &b);
    nqAStackPush(&head, &c, kLink);
    EXPECT_EQ(nqAStackPop(&head, kLink), &c);
    EXPECT_EQ(nqAStackPop(&head, kLink), &a);
    EXPECT_EQ(nqAStackPop(&head, kLink), nullptr);
    EXPECT_EQ(head, 0u);
}

// Threads pop items and push them back, some holding several at once so that the same
// item returns to the top while others are mid-pop. Every item must be held by at most
// one thread at a time, and at the end each is on the stack exactly once.
TEST(AtomicStack, ConcurrentPopAndPushBackLosesAndDuplicatesNothing) {
    constexpr int kItems = 16;
    std::vector<Item> items(kItems);
    volatile uintptr_t head = 0;
    for (int i = 0; i < kItems; i++) {
        items[i].id = i;
        nqAStackPush(&head, &items[i], kLink);
    }
    std::atomic<int> shared{0}, empty{0};
    run_threads([&](int t) {
        Item* held[3];
        for (int i = 0; i < kRounds; i++) {
            const int want = 1 + (i + t) % 3;
            int got = 0;
            while (got < want) {
                auto* it = static_cast<Item*>(nqAStackPop(&head, kLink));
                if (it == nullptr) {
                    empty++;
                    break;
                }
                if (it->holders.fetch_add(1) != 0) shared++;
                held[got++] = it;
            }
            for (int k = 0; k < got; k++) {
                Item* it = held[(k + i) % got];
                it->holders.fetch_sub(1);
                nqAStackPush(&head, it, kLink);
            }
        }
    });
    EXPECT_EQ(shared.load(), 0);
    std::set<int32_t> seen;
    for (int i = 0; i <= kItems; i++) {  // bounded: a broken stack may have become a cycle
        auto* it = static_cast<Item*>(nqAStackPop(&head, kLink));
        if (it == nullptr) break;
        EXPECT_TRUE(seen.insert(it->id).second) << "item " << it->id << " twice";
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kItems));
    EXPECT_EQ(head, 0u);
}

// While a pop holds the busy mark, pushes and pops wait; they finish once it clears.
TEST(AtomicStack, BusyMarkHoldsOffPushAndPop) {
    Item a, b;
    volatile uintptr_t head = 0;
    nqAStackPush(&head, &a, kLink);
    const uintptr_t top = head;
    head = top | 1;  // as a pop does while it takes the top off

    std::atomic<bool> pushed{false}, popped{false};
    std::thread pusher([&] {
        nqAStackPush(&head, &b, kLink);
        pushed = true;
    });
    std::thread popper([&] {
        (void)nqAStackPop(&head, kLink);
        popped = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(pushed.load());
    EXPECT_FALSE(popped.load());
    EXPECT_EQ(head, top | 1);

    __atomic_store_n(&head, top, __ATOMIC_SEQ_CST);
    pusher.join();
    popper.join();
    // One of the two items is left, whichever order the two threads ran in.
    auto* left = static_cast<Item*>(nqAStackPop(&head, kLink));
    EXPECT_TRUE(left == &a || left == &b);
    EXPECT_EQ(nqAStackPop(&head, kLink), nullptr);
}

}  // namespace
