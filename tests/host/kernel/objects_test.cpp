/* Groups, pools and locks of the kernel: release order and ownership, pool memory,
 * mutual exclusion, live accounting and injected failures of each. */
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "host/kernel/kernel_test.h"

using ktest::KernelTest;

namespace {

/* A foreign object with a three-word header whose Dispose records its tag. */
struct Recorded {
    NQObject hdr;
    int tag;
    std::vector<int>* log;
};

void record_disposal(void* self) {
    Recorded* r = static_cast<Recorded*>(self);
    r->log->push_back(r->tag);
}

TEST_F(KernelTest, GroupReleasesRegisteredObjectsNewestFirstAndOnce) {
    std::vector<int> log;
    Recorded objs[4];
    for (int i = 0; i < 4; ++i) objs[i] = {{record_disposal, nullptr, 0}, i, &log};
    NQObject silent{};  /* null Dispose: registered but skipped */
    NQGroup* g = group();
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->Register(g, 0, 0, &objs[0], 0, 0, 0, 0), NQ_OK);
    EXPECT_EQ(g->Register(g, 0, 0, &silent, 0, 0, 0, 0), NQ_OK);
    EXPECT_EQ(g->Register(g, 0, 0, nullptr, 0, 0, 0, 0), NQ_OK);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(g->Register(g, 0, 0, &objs[i], 0, 0, 0, 0), NQ_OK);
    /* registering twice would release twice */
    EXPECT_NE(g->Register(g, 0, 0, &objs[2], 0, 0, 0, 0), NQ_OK);
    EXPECT_EQ(g->Destroy(g), NQ_OK);
    EXPECT_EQ(log, (std::vector<int>{3, 2, 1, 0}));
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
    /* a kernel object belongs to one group at a time */
    EXPECT_NE(outer->Register(outer, 0, 0, p, 0, 0, 0, 0), NQ_OK);
    EXPECT_NE(inner->Register(inner, 0, 0, inner, 0, 0, 0, 0), NQ_OK);
    EXPECT_EQ(outer->Destroy(outer), NQ_OK);
    EXPECT_EQ(zhost_live_count(k), 0);
}

/* Closing the kernel must release every leftover exactly once (ASan checks the rest):
 * a group inside a group, a pool no group owns, NLS objects, a foreign object. */
TEST(KernelClose, ReleasesWhatTheProgramLeftBehind) {
    NQKernel* k = zhost_open_kernel(nullptr);
    ASSERT_NE(k, nullptr);
    std::vector<int> log;
    Recorded foreign{{record_disposal, nullptr, 0}, 7, &log};
    const int32_t gblock[6] = {3, 0, 1, 0, 0, 0};
    const int32_t zero3[3] = {0, 0, 0};
    NQGroup* inner = k->CreateGroup(k, gblock, nullptr, nullptr);
    NQGroup* outer = k->CreateGroup(k, gblock, nullptr, nullptr);
    NQPool* owned = k->CreatePool(k, zero3, nullptr, "owned");
    NQPool* loose = k->CreatePool(k, zero3, nullptr, "loose");
    ASSERT_TRUE(inner && outer && owned && loose);
    inner->Register(inner, 0, 0, owned, 0, 0, 0, 0);
    inner->Register(inner, 0, 0, &foreign, 0, 0, 0, 0);
    outer->Register(outer, 0, 0, inner, 0, 0, 0, 0);
    outer->Register(outer, 0, 0, k->CreateLock(k, zero3, nullptr, nullptr), 0, 0, 0, 0);
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
    for (uint32_t size : {0u, 1u, 3u, 8u, 13u, 64u, 100u, 2048u}) {
        void* b = p->Alloc(p, size, 0);
        ASSERT_NE(b, nullptr) << size;
        EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % 8, 0u) << size;
        std::memset(b, 0xA5, size);
        blocks.push_back(b);
    }
    EXPECT_EQ(zhost_live_count(k), 1 + 8);
    for (void* b : blocks) p->Free(p, b);
    p->Free(p, nullptr);
    EXPECT_EQ(zhost_live_count(k), 1);

    /* freed memory that was dirty comes back clean when zero-filling is asked for */
    for (int round = 0; round < 4; ++round) {
        unsigned char* b = static_cast<unsigned char*>(p->Alloc(p, 2048, NQ_ALLOC_ZERO));
        ASSERT_NE(b, nullptr);
        for (int i = 0; i < 2048; ++i) ASSERT_EQ(b[i], 0) << i;
        std::memset(b, 0xFF, 2048);
        p->Free(p, b);
    }
    for (int i = 0; i < 10; ++i) ASSERT_NE(p->Alloc(p, 24, i % 2 ? NQ_ALLOC_ZERO : 0), nullptr);
    EXPECT_EQ(zhost_live_count(k), 11);
    static_cast<NQObject*>(static_cast<void*>(p))->Dispose(p);
    EXPECT_EQ(zhost_live_count(k), 0);
}

TEST_F(KernelTest, RefusedAllocationCountsAcrossEveryPoolOfTheKernel) {
    NQPool* a = pool();
    NQPool* b = pool();
    ASSERT_TRUE(a && b);
    zhost_fail_allocation(k, 3);
    void* a1 = a->Alloc(a, 8, 0);
    void* b1 = b->Alloc(b, 8, 0);
    EXPECT_TRUE(a1 && b1);
    EXPECT_EQ(a->Alloc(a, 8, 0), nullptr);   /* the third, in either pool */
    EXPECT_NE(b->Alloc(b, 8, 0), nullptr);   /* one-shot */
    zhost_fail_allocation(k, 1);
    zhost_fail_allocation(k, 0);             /* switched off again */
    EXPECT_NE(b->Alloc(b, 8, 0), nullptr);
    EXPECT_EQ(zhost_live_count(k), 2 + 4);
}

TEST_F(KernelTest, RefusedAllocationOfOnePoolLeavesOthersAlone) {
    NQPool* a = pool();
    NQPool* b = pool();
    ASSERT_TRUE(a && b);
    zhost_fail_pool_allocation(a, 2);
    for (int i = 0; i < 3; ++i) EXPECT_NE(b->Alloc(b, 8, 0), nullptr);
    EXPECT_NE(a->Alloc(a, 8, 0), nullptr);
    EXPECT_EQ(a->Alloc(a, 8, NQ_ALLOC_ZERO), nullptr);
    EXPECT_NE(a->Alloc(a, 8, 0), nullptr);

    /* both armed: each counts every allocation of its scope */
    zhost_fail_pool_allocation(a, 2);
    zhost_fail_allocation(k, 3);
    EXPECT_NE(a->Alloc(a, 8, 0), nullptr);  /* a:1 k:1 */
    EXPECT_EQ(a->Alloc(a, 8, 0), nullptr);  /* a:2 */
    EXPECT_EQ(b->Alloc(b, 8, 0), nullptr);  /* k:3 */
    EXPECT_NE(a->Alloc(a, 8, 0), nullptr);
}

/* Each kind of creation made by the kernel fails exactly at the n-th attempt. */
TEST_F(KernelTest, InjectedCreationFailsAtTheNthAttemptOfItsKindOnly) {
    void* strext = load(U"nqstring");
    ASSERT_NE(strext, nullptr);
    NQPool* strpool = pool();
    ASSERT_NE(strpool, nullptr);
    struct Kind {
        ZHostCreation kind;
        const char* name;
        bool (*attempt)(NQKernel*, NQPool*, void*);
    };
    const Kind kinds[] = {
        {ZHOST_CREATE_GROUP, "group",
         [](NQKernel* k, NQPool*, void*) {
             NQGroup* g = k->CreateGroup(k, nullptr, nullptr, nullptr);
             return g && g->Destroy(g) == NQ_OK;
         }},
        {ZHOST_CREATE_POOL, "pool",
         [](NQKernel* k, NQPool*, void*) {
             NQPool* p = k->CreatePool(k, nullptr, nullptr, "p");
             if (p) p->hdr.Dispose(p);
             return p != nullptr;
         }},
        {ZHOST_CREATE_LOCK, "lock",
         [](NQKernel* k, NQPool*, void*) {
             NQLock* l = k->CreateLock(k, nullptr, nullptr, nullptr);
             if (l) l->hdr.Dispose(l);
             return l != nullptr;
         }},
        {ZHOST_CREATE_TRANSCODER, "transcoder",
         [](NQKernel* k, NQPool*, void*) {
             NQTranscoder* t = k->nls->CreateTranscoder(k->nls, NQ_ENCODING_BYTES, 0, nullptr);
             if (t) t->Destroy(t);
             return t != nullptr;
         }},
        {ZHOST_CREATE_STRING, "string",
         [](NQKernel*, NQPool* p, void* ext) {
             NQStringExt* x = static_cast<NQStringExt*>(ext);
             NQString* s = x->NewString(x, p, U"abc", 3, 1);
             if (s) s->Release(s);
             return s != nullptr;
         }},
    };
    for (const Kind& kind : kinds) {
        zhost_fail_creation(k, kind.kind, 2);
        EXPECT_TRUE(kind.attempt(k, strpool, strext)) << kind.name;
        /* other kinds do not consume this kind's countdown */
        for (const Kind& other : kinds) {
            if (other.kind != kind.kind) {
                EXPECT_TRUE(other.attempt(k, strpool, strext)) << other.name;
            }
        }
        EXPECT_FALSE(kind.attempt(k, strpool, strext)) << kind.name;
        EXPECT_TRUE(kind.attempt(k, strpool, strext)) << kind.name;
        zhost_fail_creation(k, kind.kind, 1);
        zhost_fail_creation(k, kind.kind, 0);
        EXPECT_TRUE(kind.attempt(k, strpool, strext)) << kind.name;
    }
    strpool->hdr.Dispose(strpool);
    EXPECT_EQ(zhost_live_count(k), 0);
}

TEST_F(KernelTest, ShouldFailServesTheExtensionsKinds) {
    for (ZHostCreation kind : {ZHOST_CREATE_ENGINE, ZHOST_CREATE_TOKENIZER}) {
        EXPECT_EQ(zhost_should_fail(k, kind), 0);
        zhost_fail_creation(k, kind, 3);
        EXPECT_EQ(zhost_should_fail(k, kind), 0);
        EXPECT_EQ(zhost_should_fail(k, kind), 0);
        EXPECT_EQ(zhost_should_fail(k, kind), 1);
        EXPECT_EQ(zhost_should_fail(k, kind), 0);
    }
    EXPECT_EQ(zhost_should_fail(nullptr, ZHOST_CREATE_ENGINE), 0);
    zhost_track(k, +2);
    EXPECT_EQ(zhost_live_count(k), 2);
    zhost_track(k, -2);
    EXPECT_EQ(zhost_live_count(k), 0);
}

TEST_F(KernelTest, LockKeepsTwoThreadsApart) {
    NQLock* l = lock();
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(zhost_live_count(k), 1);

    /* a waiter cannot get in while the lock is held */
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

    /* unsynchronised read-modify-write under the lock loses nothing */
    volatile long counter = 0;
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
    l->hdr.Dispose(l);
    EXPECT_EQ(zhost_live_count(k), 0);
}

TEST_F(KernelTest, HiddenNlsAndServiceWords) {
    NQNls* nls = k->nls;
    ASSERT_NE(nls, nullptr);
    ASSERT_NE(k->svc, nullptr);
    EXPECT_NE(k->svc->Abort, nullptr);
    zhost_hide_nls(k, 1);
    EXPECT_EQ(k->nls, nullptr);
    zhost_hide_nls(k, 0);
    EXPECT_EQ(k->nls, nls);
}

TEST(KernelAbort, EndsTheProcess) {
    EXPECT_DEATH(
        {
            NQKernel* k = zhost_open_kernel(nullptr);
            k->svc->Abort(k->svc);
        },
        "");
}

}  // namespace
