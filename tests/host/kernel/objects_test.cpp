/* Groups, pools and locks of the kernel: release order and ownership, pool memory,
 * mutual exclusion, live accounting and injected failures. */
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

#include "host/kernel/kernel_test.h"

using ktest::KernelTest;

namespace {

/* A foreign object with a three-word header whose Dispose logs its tag. */
struct Logged {
    NQObject hdr;
    int tag;
    std::vector<int>* log;
    static void dispose(void* self) {
        auto* o = static_cast<Logged*>(self);
        o->log->push_back(o->tag);
    }
};

TEST_F(KernelTest, GroupReleasesItsObjectsNewestFirstAndOnce) {
    std::vector<int> log;
    Logged objs[3] = {{{Logged::dispose, nullptr, 0}, 0, &log},
                      {{Logged::dispose, nullptr, 0}, 1, &log},
                      {{Logged::dispose, nullptr, 0}, 2, &log}};
    NQObject silent{}; /* null Dispose: skipped */
    NQGroup* g = group();
    ASSERT_NE(g, nullptr);
    void* order[] = {&objs[0], &silent, nullptr, &objs[1], &objs[2]};
    for (void* o : order) EXPECT_EQ(g->Register(g, 0, 0, o, 0, 0, 0, 0), NQ_OK);
    EXPECT_NE(g->Register(g, 0, 0, &objs[1], 0, 0, 0, 0), NQ_OK); /* twice would free twice */
    EXPECT_EQ(g->Destroy(g), NQ_OK);
    EXPECT_EQ(log, (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(zhost_live_count(k), 0);
}

TEST_F(KernelTest, GroupReleasesPoolsLocksAndNestedGroups) {
    NQGroup* outer = group();
    NQGroup* inner = group();
    NQPool* p = pool();
    NQLock* l = lock();
    ASSERT_TRUE(outer && inner && p && l);
    for (int i = 0; i < 5; ++i) ASSERT_NE(p->Alloc(p, 16, 0), nullptr);
    EXPECT_EQ(zhost_live_count(k), 4 + 5);
    EXPECT_EQ(inner->Register(inner, 0, 0, p, 0, 0, 0, 0), NQ_OK);
    EXPECT_EQ(outer->Register(outer, 0, 0, inner, 0, 0, 0, 0), NQ_OK);
    EXPECT_EQ(outer->Register(outer, 0, 0, l, 0, 0, 0, 0), NQ_OK);
    /* a kernel object belongs to one group at a time, and never to itself */
    EXPECT_NE(outer->Register(outer, 0, 0, p, 0, 0, 0, 0), NQ_OK);
    EXPECT_NE(outer->Register(outer, 0, 0, outer, 0, 0, 0, 0), NQ_OK);
    EXPECT_EQ(outer->Destroy(outer), NQ_OK);
    EXPECT_EQ(zhost_live_count(k), 0);
}

/* Closing the kernel releases every leftover exactly once (ASan checks the memory): a
 * group inside a group, a pool no group owns, NLS objects, a foreign object. */
TEST(KernelClose, ReleasesWhatTheProgramLeftBehind) {
    NQKernel* k = zhost_open_kernel(nullptr);
    ASSERT_NE(k, nullptr);
    std::vector<int> log;
    Logged foreign{{Logged::dispose, nullptr, 0}, 7, &log};
    NQGroup* inner = k->CreateGroup(k, nullptr, nullptr, nullptr);
    NQGroup* outer = k->CreateGroup(k, nullptr, nullptr, nullptr);
    NQPool* owned = k->CreatePool(k, nullptr, nullptr, "owned");
    NQPool* loose = k->CreatePool(k, nullptr, nullptr, "loose");
    ASSERT_TRUE(inner && outer && owned && loose);
    inner->Register(inner, 0, 0, owned, 0, 0, 0, 0);
    inner->Register(inner, 0, 0, &foreign, 0, 0, 0, 0);
    outer->Register(outer, 0, 0, inner, 0, 0, 0, 0);
    outer->Register(outer, 0, 0, k->CreateLock(k, nullptr, nullptr, nullptr), 0, 0, 0, 0);
    ASSERT_NE(owned->Alloc(owned, 100, 0), nullptr);
    ASSERT_NE(loose->Alloc(loose, 100, NQ_ALLOC_ZERO), nullptr);
    ASSERT_NE(k->nls->CreateTranscoder(k->nls, NQ_ENCODING_BYTES, 0, nullptr), nullptr);
    ASSERT_NE(k->nls->CreateLocale(k->nls, U"en_US", 5), nullptr);
    zhost_close_kernel(k);
    EXPECT_EQ(log, std::vector<int>{7});
}

TEST_F(KernelTest, PoolBlocksAreAlignedZeroFilledOnRequestAndReleasedWithThePool) {
    NQPool* p = pool();
    ASSERT_NE(p, nullptr);
    std::vector<void*> blocks;
    for (uint32_t size : {0u, 1u, 3u, 13u, 100u, 2048u}) {
        void* b = p->Alloc(p, size, 0);
        ASSERT_NE(b, nullptr) << size;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 8, 0u) << size;
        std::memset(b, 0xA5, size);
        blocks.push_back(b);
    }
    EXPECT_EQ(zhost_live_count(k), 1 + 6);
    for (void* b : blocks) p->Free(p, b);
    p->Free(p, nullptr);
    EXPECT_EQ(zhost_live_count(k), 1);
    /* dirty memory given back comes out clean when zero-filling is asked for */
    for (int round = 0; round < 4; ++round) {
        auto* b = static_cast<unsigned char*>(p->Alloc(p, 2048, NQ_ALLOC_ZERO));
        ASSERT_NE(b, nullptr);
        for (int i = 0; i < 2048; ++i) ASSERT_EQ(b[i], 0) << i;
        std::memset(b, 0xFF, 2048);
        p->Free(p, b);
    }
    for (int i = 0; i < 10; ++i) ASSERT_NE(p->Alloc(p, 24, 0), nullptr);
    dispose(p);
    EXPECT_EQ(zhost_live_count(k), 0);
}

TEST_F(KernelTest, RefusedAllocationCountsKernelWideOrPerPool) {
    NQPool* a = pool();
    NQPool* b = pool();
    ASSERT_TRUE(a && b);
    auto ok = [](NQPool* p) { return p->Alloc(p, 8, 0) != nullptr; };
    zhost_fail_allocation(k, 3); /* the third allocation of any pool, once */
    EXPECT_TRUE(ok(a));
    EXPECT_TRUE(ok(b));
    EXPECT_FALSE(ok(a));
    EXPECT_TRUE(ok(b));
    EXPECT_EQ(zhost_injected_failures(k), 1);
    zhost_fail_pool_allocation(a, 2); /* allocations of b do not count */
    EXPECT_TRUE(ok(b));
    EXPECT_TRUE(ok(a));
    EXPECT_FALSE(ok(a));
    EXPECT_TRUE(ok(a));
    zhost_fail_pool_allocation(a, 2); /* both armed: each counts in its own scope */
    zhost_fail_allocation(k, 3);
    EXPECT_TRUE(ok(a));
    EXPECT_FALSE(ok(a));
    EXPECT_FALSE(ok(b));
    EXPECT_TRUE(ok(a));
    zhost_fail_allocation(k, 1); /* 0 switches off */
    zhost_fail_allocation(k, 0);
    EXPECT_TRUE(ok(b));
    EXPECT_EQ(zhost_injected_failures(k), 4); /* one refusal per countdown that came due */
}

/* Each kind fails exactly at its n-th creation; other kinds do not move its count. */
TEST_F(KernelTest, InjectedCreationFailsAtTheNthAttemptOfItsKindOnly) {
    auto* x = static_cast<NQStringExt*>(load(U"nqstring"));
    NQPool* p = pool();
    ASSERT_TRUE(x && p);
    auto make = [&](ZHostCreation kind) -> bool {
        NQNls* n = k->nls;
        switch (kind) {
            case ZHOST_CREATE_GROUP: {
                NQGroup* g = group();
                return g && g->Destroy(g) == NQ_OK;
            }
            case ZHOST_CREATE_POOL: {
                NQPool* q = pool();
                return q && (dispose(q), true);
            }
            case ZHOST_CREATE_LOCK: {
                NQLock* l = lock();
                return l && (dispose(l), true);
            }
            case ZHOST_CREATE_TRANSCODER: {
                NQTranscoder* t = n->CreateTranscoder(n, NQ_ENCODING_BYTES, 0, nullptr);
                return t && (t->Destroy(t), true);
            }
            default: {
                NQString* s = x->NewString(x, p, U"abc", 3, 1);
                return s && (s->Release(s), true);
            }
        }
    };
    const ZHostCreation kinds[] = {ZHOST_CREATE_GROUP, ZHOST_CREATE_POOL, ZHOST_CREATE_LOCK,
                                   ZHOST_CREATE_TRANSCODER, ZHOST_CREATE_STRING};
    for (ZHostCreation kind : kinds) {
        zhost_fail_creation(k, kind, 2);
        EXPECT_TRUE(make(kind)) << kind;
        for (ZHostCreation other : kinds) EXPECT_TRUE(other == kind || make(other)) << other;
        EXPECT_FALSE(make(kind)) << kind;
        EXPECT_TRUE(make(kind)) << kind;
    }
    /* the extensions' kinds are served through zhost_should_fail */
    zhost_fail_creation(k, ZHOST_CREATE_ENGINE, 2);
    EXPECT_EQ(zhost_should_fail(k, ZHOST_CREATE_TOKENIZER), 0);
    EXPECT_EQ(zhost_should_fail(k, ZHOST_CREATE_ENGINE), 0);
    EXPECT_EQ(zhost_should_fail(k, ZHOST_CREATE_ENGINE), 1);
    EXPECT_EQ(zhost_should_fail(k, ZHOST_CREATE_ENGINE), 0);
    EXPECT_EQ(zhost_injected_failures(k), 6);
    dispose(p);
    EXPECT_EQ(zhost_live_count(k), 0);
    zhost_track(k, +2); /* extensions' own objects */
    EXPECT_EQ(zhost_live_count(k), 2);
    zhost_track(k, -2);
}

TEST_F(KernelTest, LockKeepsTwoThreadsApart) {
    NQLock* l = lock();
    ASSERT_NE(l, nullptr);
    std::atomic<bool> entered{false};
    ASSERT_EQ(l->Acquire(l, 1, 1), NQ_OK);
    std::thread waiter([&] {
        l->Acquire(l, 1, 1);
        entered = true;
        l->Release(l);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(entered.load());
    ASSERT_EQ(l->Release(l), NQ_OK);
    waiter.join();
    EXPECT_TRUE(entered.load());

    long counter = 0; /* a plain read-modify-write loses nothing under the lock */
    auto work = [&] {
        for (int i = 0; i < 100000; ++i) {
            l->Acquire(l, 1, 1);
            counter = counter + 1;
            l->Release(l);
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 200000);
}

TEST(KernelService, AbortEndsTheProcess) {
    NQKernel* k = zhost_open_kernel(nullptr);
    EXPECT_DEATH(k->svc->Abort(k->svc), "");
    zhost_close_kernel(k);
}

}  // namespace
