// The extension's entry: the record it hands the host, the messages of each sibling that
// cannot be had, and that every way of giving up releases everything it made.
#include <cstring>

#include "frame/frame_fixture.h"

namespace {

using frametest::Host;

class Entry : public Host {};

TEST_F(Entry, RecordHoldsServicesAndOperations) {
    ZExt* x = ext();
    ASSERT_NE(x, nullptr);

    const void* const* words = reinterpret_cast<const void* const*>(x);
    for (int reserved : {0, 1, 2, 5, 7, 8}) EXPECT_EQ(words[reserved], nullptr) << reserved;
    EXPECT_EQ(x->kernel, kernel_);
    EXPECT_EQ(x->nls, kernel_->nls);
    for (int service : {11, 12, 14, 15, 16, 17, 18}) EXPECT_NE(words[service], nullptr) << service;

    int32_t a = -1, b = -1, c = -1;
    EXPECT_EQ(x->GetReqVersion(x, &a, &b, &c), 0);
    EXPECT_EQ((std::vector<int32_t>{a, b, c}), (std::vector<int32_t>{3, 1, 1}));
    EXPECT_EQ(x->GetVersion(x, &a, &b, &c), 0);
    EXPECT_EQ((std::vector<int32_t>{a, b, c}), (std::vector<int32_t>{1, 0, 3}));
    EXPECT_TRUE(messages(NQ_LEVEL_ERROR).empty());
}

TEST_F(Entry, NoTranscoderWhenNlsNeedsNone) {
    zhost_set_needs_transcoder(kernel_, 0);
    ZExt* x = ext();
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->xcoder, nullptr);
    EXPECT_NE(create(), nullptr);
}

// A sibling that cannot be loaded, or a kernel without NLS service: each has its message,
// sent only when there is a journal to send it to.
struct Missing {
    const char* extension;  // null: hide the NLS service instead
    const char* message;
};

const Missing kMissing[] = {
    {"nqstring", "Unable to load nqstring extension\n"},
    {nullptr, "ZORV: Can't load the NQNLS extension!!!"},
    {"nqeparse", "ZORV: Can't load the NQEPARSE extension!!!"},
    {"nqetok", "ZORV: Can't load the NQETOK extension!!!"},
};

TEST_F(Entry, MissingServiceIsReportedAndReleased) {
    for (const Missing& m : kMissing) {
        SCOPED_TRACE(m.message);
        if (m.extension)
            zhost_fail_extension(kernel_, m.extension);
        else
            zhost_hide_nls(kernel_, 1);

        zhost_journal_clear(jnl_);
        EXPECT_EQ(load(jnl_), nullptr);
        EXPECT_EQ(messages(NQ_LEVEL_ERROR), std::vector<std::string>{m.message});
        EXPECT_EQ(live(), baseline_);

        EXPECT_EQ(load(nullptr), nullptr);
        EXPECT_EQ(live(), baseline_);

        zhost_fail_extension(kernel_, nullptr);
        zhost_hide_nls(kernel_, 0);
    }
    zhost_journal_clear(jnl_);
    EXPECT_NE(ext(), nullptr);
}

TEST_F(Entry, EveryRefusedAllocationIsReleased) {
    long refused = 0;
    for (long n = 1;; ++n) {
        ASSERT_LT(n, 100) << "the entry never succeeded";
        zhost_fail_allocation(kernel_, n);
        ZExt* x = load(jnl_);
        zhost_fail_allocation(kernel_, 0);
        if (x) {
            x->RealDestroy(x);
            break;
        }
        ++refused;
        EXPECT_EQ(live(), baseline_) << "allocation " << n;
    }
    EXPECT_GT(refused, 0);
    EXPECT_TRUE(messages(NQ_LEVEL_ERROR).empty());
}

TEST_F(Entry, EveryFailedCreationIsReleased) {
    for (ZHostCreation kind : {ZHOST_CREATE_GROUP, ZHOST_CREATE_POOL, ZHOST_CREATE_TRANSCODER}) {
        SCOPED_TRACE(kind);
        zhost_fail_creation(kernel_, kind, 1);
        EXPECT_EQ(load(jnl_), nullptr);
        zhost_fail_creation(kernel_, kind, 0);
        EXPECT_EQ(live(), baseline_);
    }
    EXPECT_TRUE(messages(NQ_LEVEL_ERROR).empty());
}

// Groups whose Register refuses the n-th object handed to any of them: a group made by the
// kernel while the refusal is armed gets a Register that counts down first.
struct RefusedRegistration {
    static inline long countdown = 0;
    static inline NQGroup* (*create_group)(NQKernel*, const int32_t*, NQJournal*, void*);
    static inline NQStatus (*real_register)(NQGroup*, int32_t, int32_t, void*, int32_t, int32_t,
                                            int32_t, int32_t);
    static NQStatus refusing(NQGroup* g, int32_t a, int32_t b, void* object, int32_t c, int32_t d,
                             int32_t e, int32_t f) {
        if (object && --countdown == 0) return NQ_STATUS_NO_MEMORY;
        return real_register(g, a, b, object, c, d, e, f);
    }
    static NQGroup* creating(NQKernel* k, const int32_t* block, NQJournal* jnl, void* zero) {
        NQGroup* g = create_group(k, block, jnl, zero);
        if (g) {
            real_register = g->Register;
            g->Register = refusing;
        }
        return g;
    }
    // Arms the refusal of the n-th registration on `kernel` for the call of `make`.
    template <typename Make>
    static auto with(NQKernel* kernel, long n, Make make) {
        create_group = kernel->CreateGroup;
        kernel->CreateGroup = creating;
        countdown = n;
        auto made = make();
        kernel->CreateGroup = create_group;
        return made;
    }
};

// A group that will not take an object will not release it either: the entry and
// ZORVCreate release it themselves and give up, whichever registration is refused.
TEST_F(Entry, EveryRefusedRegistrationIsReleased) {
    long refused = 0;
    for (long n = 1;; ++n) {
        ASSERT_LT(n, 100) << "the entry never succeeded";
        ZExt* x = RefusedRegistration::with(kernel_, n, [&] { return load(jnl_); });
        if (x) {
            x->RealDestroy(x);
            break;
        }
        ++refused;
        EXPECT_EQ(live(), baseline_) << "registration " << n;
    }
    EXPECT_GE(refused, 5) << "the pool, three siblings and the locale";

    ASSERT_NE(ext(), nullptr);
    const long with_ext = live();
    refused = 0;
    for (long n = 1;; ++n) {
        ASSERT_LT(n, 100) << "ZORVCreate never succeeded";
        const uintptr_t options[2] = {0, 0};
        ZInst* inst = RefusedRegistration::with(
            kernel_, n, [&] { return ext_->Create(ext_, options, jnl_, "refusals"); });
        if (inst) {
            EXPECT_EQ(inst->Destroy(inst), 0);
            break;
        }
        ++refused;
        EXPECT_EQ(live(), with_ext) << "registration " << n;
    }
    EXPECT_GE(refused, 4) << "the pool, the lock, the engine and the tokenizer";
    EXPECT_TRUE(messages(NQ_LEVEL_ERROR).empty());
}

}  // namespace
