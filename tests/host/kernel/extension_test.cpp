/* Loading extensions by name, and the nqstring extension's string objects. */
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
    int calls = rec->entry_calls;
    EXPECT_EQ(load(U"nqtestext"), rec); /* loaded again: the entry runs again */
    EXPECT_EQ(rec->entry_calls, calls + 1);
    EXPECT_EQ(rec->entry_jnl, nullptr);
    rec->refuse_next = 1; /* an entry answering null fails the load */
    EXPECT_EQ(load(U"nqtestext"), nullptr);
    EXPECT_EQ(load(U"nqtestext"), rec);
    zhost_close_journal(jnl);
}

/* Each kernel closes its libraries: the next kernel gets a fresh copy. */
TEST(KernelExtensions, LibrariesAreClosedWithTheKernel) {
    for (int round = 0; round < 2; ++round) {
        NQKernel* k = zhost_open_kernel(nullptr);
        auto* rec = static_cast<TestExtRecord*>(k->LoadExtension(k, U"nqtestext", 9, nullptr));
        ASSERT_NE(rec, nullptr);
        EXPECT_EQ(rec->fresh, 1) << "round " << round;
        rec->fresh = 0;
        zhost_close_kernel(k);
    }
}

TEST_F(KernelTest, BadOrUnknownNamesLoadNothing) {
    const std::u32string names[] = {
        U"",
        U"nosuchextension",
        U"nqkernel", /* a library without an entry of its name */
        U"../x86/nqstring",
        U"nqstring.so",
        U"nq/string",
        U"nqstring ",
        U"nqstr\u00efng",
        std::u32string(U"nqstring\0x", 10), /* must not be cut at the 0 unit */
        std::u32string(65, U'a'),
    };
    for (const std::u32string& name : names) EXPECT_EQ(load(name), nullptr) << name.size();
    EXPECT_EQ(k->LoadExtension(k, nullptr, 4, nullptr), nullptr);
    EXPECT_EQ(zhost_live_count(k), 0);
}

TEST_F(KernelTest, InjectedLoadFailureHitsOnlyThatNameUntilCleared) {
    zhost_fail_extension(k, "nqstring");
    EXPECT_EQ(load(U"nqstring"), nullptr);
    EXPECT_EQ(load(U"nqstring"), nullptr);
    EXPECT_NE(load(U"nqtestext"), nullptr);
    zhost_fail_extension(k, nullptr);
    EXPECT_NE(load(U"nqstring"), nullptr);
    EXPECT_EQ(zhost_injected_failures(k), 2);
}

TEST(KernelExtensions, ExtensionFolderCanBeChosen) {
    for (const char* dir : {ZORV_BUILD_DIR, "/nonexistent-folder"}) {
        NQKernel* k = zhost_open_kernel(dir);
        EXPECT_EQ(k->LoadExtension(k, U"nqstring", 8, nullptr) != nullptr,
                  dir == std::string(ZORV_BUILD_DIR));
        zhost_close_kernel(k);
    }
}

TEST_F(KernelTest, StringsAreIndependentCopiesInPoolMemory) {
    auto* x = static_cast<NQStringExt*>(load(U"nqstring"));
    NQPool* p = pool();
    ASSERT_TRUE(x && p);
    char32_t source[] = U"a\u00e9\U0001F600z";
    NQString* s = x->NewString(x, p, source, 4, 1);
    ASSERT_NE(s, nullptr);
    source[0] = U'X';
    EXPECT_EQ(std::u32string(s->text, s->length), U"a\u00e9\U0001F600z");
    EXPECT_EQ(s->text[4], 0u);
    NQString* empty = x->NewString(x, p, nullptr, 0, 1);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->length, 0);
    EXPECT_EQ(x->NewString(x, p, source, -1, 1), nullptr);
    EXPECT_EQ(zhost_live_count(k), 1 + 2);
    zhost_fail_pool_allocation(p, 1); /* a string is a pool allocation */
    EXPECT_EQ(x->NewString(x, p, source, 4, 1), nullptr);

    s->Release(s);
    EXPECT_EQ(zhost_live_count(k), 2);
    NQGroup* g = group(); /* a string registered with a group goes with it; the */
    EXPECT_EQ(g->Register(g, 0, 0, empty, 0, 0, 0, 0), NQ_OK); /* shared record stays */
    EXPECT_EQ(g->Register(g, 0, 0, x, 0, 0, 0, 0), NQ_OK);
    g->Destroy(g);
    EXPECT_EQ(zhost_live_count(k), 1);
    ASSERT_NE(x->NewString(x, p, U"left", 4, 1), nullptr); /* strings go with their pool */
    dispose(p);
    EXPECT_EQ(zhost_live_count(k), 0);
    EXPECT_EQ(load(U"nqstring"), x);
}

}  // namespace
