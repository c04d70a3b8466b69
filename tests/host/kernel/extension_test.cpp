/* Loading extensions by name, and the nqstring extension's string objects. */
#include <cstring>
#include <string>

#include "host/kernel/ext/testext.h"
#include "host/kernel/kernel_test.h"

using ktest::KernelTest;

namespace {

TEST_F(KernelTest, ExtensionGetsTheKernelThroughNqextentAndItsEntry) {
    NQJournal* jnl = zhost_open_capture_journal();
    auto* rec = static_cast<TestExtRecord*>(load(U"nqtestext", jnl));
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->extent_kernel, k);
    EXPECT_GE(rec->extent_calls, 1);
    EXPECT_EQ(rec->entry_jnl, jnl);

    /* the same library again: the entry runs again and answers the same record */
    int calls = rec->entry_calls;
    EXPECT_EQ(load(U"nqtestext", nullptr), rec);
    EXPECT_EQ(rec->entry_calls, calls + 1);
    EXPECT_EQ(rec->entry_jnl, nullptr);

    /* an entry that answers null makes the load fail */
    rec->refuse_next = 1;
    EXPECT_EQ(load(U"nqtestext"), nullptr);
    EXPECT_EQ(load(U"nqtestext"), rec);
    zhost_close_journal(jnl);
}

/* The kernel closes its libraries: a fresh kernel gets a fresh copy of the library. */
TEST(KernelExtensions, LibrariesAreClosedWithTheKernel) {
    for (int round = 0; round < 2; ++round) {
        NQKernel* k = zhost_open_kernel(nullptr);
        auto* rec = static_cast<TestExtRecord*>(k->LoadExtension(k, U"nqtestext", 9, nullptr));
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec->fresh, 1) << "round " << round;
        EXPECT_EQ(rec->entry_calls, 1) << "round " << round;
        rec->fresh = 0;
        zhost_close_kernel(k);
    }
}

TEST_F(KernelTest, BadOrUnknownNamesLoadNothing) {
    const std::u32string names[] = {
        U"",                     /* empty */
        U"nosuchextension",      /* no library */
        U"nqkernel",             /* a library without an entry of its name */
        U"../x86/nqstring",      /* path tricks */
        U"nqstring.so",
        U"nq/string",
        U"nqstring ",
        std::u32string(U"nqstring\0x", 10), /* must not be cut at the 0 unit */
        U"nqstr\u00efng",
        std::u32string(65, U'a'), /* too long */
    };
    for (const std::u32string& name : names)
        EXPECT_EQ(load(name), nullptr) << ktest::utf8(name);
    EXPECT_EQ(k->LoadExtension(k, nullptr, 4, nullptr), nullptr);
    EXPECT_EQ(zhost_live_count(k), 0);
}

TEST_F(KernelTest, InjectedLoadFailureHitsOnlyThatName) {
    zhost_fail_extension(k, "nqstring");
    EXPECT_EQ(load(U"nqstring"), nullptr);
    EXPECT_EQ(load(U"nqstring"), nullptr); /* stays until cleared */
    EXPECT_NE(load(U"nqtestext"), nullptr);
    zhost_fail_extension(k, nullptr);
    EXPECT_NE(load(U"nqstring"), nullptr);
}

TEST(KernelExtensions, ExtensionFolderCanBeChosen) {
    NQKernel* k = zhost_open_kernel(ZORV_BUILD_DIR);
    EXPECT_NE(k->LoadExtension(k, U"nqstring", 8, nullptr), nullptr);
    zhost_close_kernel(k);
    k = zhost_open_kernel("/nonexistent-folder");
    EXPECT_EQ(k->LoadExtension(k, U"nqstring", 8, nullptr), nullptr);
    zhost_close_kernel(k);
}

TEST_F(KernelTest, StringsAreIndependentCopiesInPoolMemory) {
    auto* x = static_cast<NQStringExt*>(load(U"nqstring"));
    ASSERT_NE(x, nullptr);
    NQPool* p = pool();
    ASSERT_NE(p, nullptr);

    char32_t source[] = U"a\u00e9\U0001F600z";
    NQString* s = x->NewString(x, p, source, 4, 1);
    ASSERT_NE(s, nullptr);
    source[0] = U'X';
    EXPECT_EQ(s->length, 4);
    EXPECT_EQ(std::u32string(s->text, 4), U"a\u00e9\U0001F600z");
    EXPECT_EQ(s->text[4], 0u); /* terminated for convenience */
    NQString* empty = x->NewString(x, p, nullptr, 0, 1);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->length, 0);
    EXPECT_EQ(x->NewString(x, p, source, -1, 1), nullptr);
    EXPECT_EQ(zhost_live_count(k), 1 + 2);

    /* a string is a pool allocation: it fails when the pool refuses */
    zhost_fail_pool_allocation(p, 1);
    EXPECT_EQ(x->NewString(x, p, source, 4, 1), nullptr);

    s->Release(s);
    EXPECT_EQ(zhost_live_count(k), 2);
    /* a string registered with a group goes with it */
    NQGroup* g = group();
    EXPECT_EQ(g->Register(g, 0, 0, empty, 0, 0, 0, 0), NQ_OK);
    EXPECT_EQ(g->Register(g, 0, 0, x, 0, 0, 0, 0), NQ_OK); /* the record itself is shared */
    g->Destroy(g);
    EXPECT_EQ(zhost_live_count(k), 1);
    /* strings left in a pool go with the pool */
    ASSERT_NE(x->NewString(x, p, U"left", 4, 1), nullptr);
    p->hdr.Dispose(p);
    EXPECT_EQ(zhost_live_count(k), 0);
    EXPECT_NE(load(U"nqstring"), nullptr);
}

}  // namespace
