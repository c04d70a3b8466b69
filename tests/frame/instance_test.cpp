// Instances: what ZORVCreate fills in, the name copy, that every failure on the way and every
// destruction gives back all it made, and what ZORVReset leaves.
#include <dlfcn.h>

#include <cstring>

#include "frame/arena.h"
#include "frame/frame_fixture.h"

namespace {

using frametest::Host;

class Instance : public Host {};

// The library's exported operations, looked up in the copy the kernel loaded.
void* exported(const char* name) {
    static void* lib = dlopen(ZORV_BUILD_DIR "/libzorv.so", RTLD_NOW | RTLD_NOLOAD);
    return lib ? dlsym(lib, name) : nullptr;
}

TEST_F(Instance, SlotsAndRecordsAreFilledIn) {
    NQCollator collator{};
    const uintptr_t bits = ZORV_OPT_ESC | 0x100;
    ZInst* inst = create(bits, nullptr, reinterpret_cast<uintptr_t>(&collator));
    ASSERT_NE(inst, nullptr);

    EXPECT_EQ(std::memcmp(inst->magic, "nevo", 4), 0);
    struct Slot {
        const char* name;
        void* slot;
    };
    const Slot slots[] = {
        {"ZORVDestroy", reinterpret_cast<void*>(inst->Destroy)},
        {"ZORVParse", reinterpret_cast<void*>(inst->Parse)},
        {"ZORVRoot", reinterpret_cast<void*>(inst->Root)},
        {"ZORVReset", reinterpret_cast<void*>(inst->Reset)},
        {"ZORVPrint", reinterpret_cast<void*>(inst->Print)},
        {"ZORVGet", reinterpret_cast<void*>(inst->Get)},
        {"ZORVSet", reinterpret_cast<void*>(inst->Set)},
        {"ZORVAlloc", reinterpret_cast<void*>(inst->Alloc)},
        {"ZORVNewOp", reinterpret_cast<void*>(inst->NewOp)},
        {"ZORVFreeOp", reinterpret_cast<void*>(inst->FreeOp)},
    };
    for (const Slot& s : slots) {
        ASSERT_NE(exported(s.name), nullptr) << s.name;
        EXPECT_EQ(s.slot, exported(s.name)) << s.name;
    }
    EXPECT_EQ(inst->reserved16, nullptr);

    EXPECT_EQ(inst->ext, ext());
    EXPECT_EQ(inst->options, bits);
    EXPECT_EQ(inst->options2, &collator);
    EXPECT_NE(inst->lock, nullptr);
    EXPECT_EQ(inst->serialize, 0);
    EXPECT_EQ(inst->root, nullptr);
    EXPECT_EQ(inst->workfree, 0u);
    EXPECT_EQ(inst->arenafree, zarena::kFirstBlockFree);
    EXPECT_EQ(*static_cast<void**>(inst->arena), nullptr);

    const ZParse& prs = inst->prs;
    EXPECT_EQ(prs.inst, inst);
    EXPECT_EQ(prs.pool, inst->pool);
    EXPECT_EQ(prs.jnl, jnl_);
    EXPECT_EQ(prs.strext, ext()->strext);
    EXPECT_EQ(prs.toktrace, 0);
    ASSERT_NE(prs.engine, nullptr);
    ASSERT_NE(prs.tokenizer, nullptr);
    NQParseContext* ctx = prs.engine->Context(prs.engine);
    EXPECT_EQ(ctx->user, &inst->prs);
    EXPECT_EQ(ctx->trace, 0);
}

TEST_F(Instance, NameIsCopiedWithoutTerminator) {
    ZInst* none = create(0, nullptr);
    ZInst* empty = create(0, "");
    char name[] = "abc";
    ZInst* abc = create(0, name);
    ASSERT_TRUE(none && empty && abc);
    EXPECT_EQ(none->name, nullptr);
    EXPECT_EQ(empty->name, nullptr);
    ASSERT_NE(abc->name, nullptr);
    EXPECT_NE(abc->name, name);
    name[0] = 'x';
    EXPECT_EQ(std::string(abc->name, 3), "abc");
}

TEST_F(Instance, DestroyGivesEverythingBack) {
    ASSERT_NE(ext(), nullptr);
    const long before = live();
    ZInst* inst = create(0, "named");
    ASSERT_NE(inst, nullptr);
    for (int i = 0; i < 100; ++i) ASSERT_NE(inst->NewOp(inst, Z_LAND), nullptr);
    EXPECT_GT(live(), before);
    destroy(inst);
    EXPECT_EQ(live(), before);
}

TEST_F(Instance, EveryRefusedAllocationIsReleased) {
    ASSERT_NE(ext(), nullptr);
    const long before = live();
    long refused = 0;
    for (long n = 1;; ++n) {
        ASSERT_LT(n, 100) << "creation never succeeded";
        zhost_fail_allocation(kernel_, n);
        ZInst* inst = create(ZORV_OPT_SEMTRACE, "name");
        zhost_fail_allocation(kernel_, 0);
        if (inst) {
            destroy(inst);
            break;
        }
        ++refused;
        EXPECT_EQ(live(), before) << "allocation " << n;
    }
    EXPECT_GE(refused, 3);  // record, first block, name at least
    EXPECT_EQ(zhost_journal_count(jnl_), 0u);
}

TEST_F(Instance, EveryFailedCreationIsReleased) {
    ASSERT_NE(ext(), nullptr);
    const long before = live();
    for (ZHostCreation kind : {ZHOST_CREATE_GROUP, ZHOST_CREATE_POOL, ZHOST_CREATE_LOCK,
                               ZHOST_CREATE_ENGINE, ZHOST_CREATE_TOKENIZER}) {
        SCOPED_TRACE(kind);
        zhost_fail_creation(kernel_, kind, 1);
        EXPECT_EQ(create(), nullptr);
        zhost_fail_creation(kernel_, kind, 0);
        EXPECT_EQ(live(), before);
    }
    EXPECT_EQ(zhost_journal_count(jnl_), 0u);
}

TEST_F(Instance, ResetKeepsOnlyTheFirstBlock) {
    ZInst* inst = create();
    ASSERT_NE(inst, nullptr);
    void* first = inst->arena;
    const long empty = live();

    for (int i = 0; i < 60; ++i) ASSERT_NE(inst->NewOp(inst, Z_CEQ), nullptr);
    ASSERT_NE(inst->Alloc(inst, 3 * zarena::kBlockBytes), nullptr);
    ZNode* spare = inst->NewOp(inst, Z_LOR);
    inst->FreeOp(inst, spare);
    inst->root = inst->escroot = spare;
    inst->serialize = 1;
    inst->prs.stk = reinterpret_cast<ZNode**>(spare);
    inst->prs.stki = 3;
    inst->prs.stkcap = 9;
    ASSERT_NE(inst->arena, first);

    EXPECT_EQ(inst->Reset(inst), 0);
    EXPECT_EQ(inst->arena, first);
    EXPECT_EQ(inst->arenafree, zarena::kFirstBlockFree);
    EXPECT_EQ(live(), empty);
    EXPECT_EQ(inst->root, nullptr);
    EXPECT_EQ(inst->escroot, nullptr);
    EXPECT_EQ(inst->nodefree, nullptr);
    EXPECT_EQ(inst->serialize, 0);
    EXPECT_EQ(inst->prs.stk, nullptr);
    EXPECT_EQ(inst->prs.stki, 0);
    EXPECT_EQ(inst->prs.stkcap, 0);

    // The arena serves again from the top of the first block.
    void* piece = inst->Alloc(inst, 8);
    EXPECT_EQ(static_cast<char*>(piece),
              static_cast<char*>(first) + zarena::kLinkBytes + zarena::kFirstBlockFree - 8);
}

}  // namespace
