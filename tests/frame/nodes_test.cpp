// The node store through the instance's slots: arena arithmetic and its blocks, requests no
// ordinary block holds, node reuse, argument lists across overflow blocks, and the root.
#include <cstring>

#include "frame/arena.h"
#include "frame/frame_fixture.h"

namespace {

using frametest::Host;
using namespace zarena;

constexpr int32_t kNodeBytes = static_cast<int32_t>(rounded(sizeof(ZNode)));

class Nodes : public Host {
  protected:
    void SetUp() override {
        Host::SetUp();
        inst_ = create();
        ASSERT_NE(inst_, nullptr);
    }
    void* alloc(int32_t size) { return inst_->Alloc(inst_, size); }
    ZNode* newop(int32_t type) { return inst_->NewOp(inst_, type); }
    ZNode* get(ZNode* n, int32_t i) { return inst_->Get(inst_, n, i); }
    void set(ZNode* n, int32_t i, ZNode* v) { inst_->Set(inst_, n, i, v); }
    char* top() { return static_cast<char*>(inst_->arena) + kLinkBytes + inst_->arenafree; }
    static void* link(void* block) { return *static_cast<void**>(block); }
    // Blocks in a node's chain, the node itself included.
    static int blocks(ZNode* n) {
        int count = 0;
        for (; n; n = n->u.op.next) ++count;
        return count;
    }
    // A distinct non-null marker for argument i.
    ZNode* marker(int i) { return reinterpret_cast<ZNode*>(&markers_[i]); }

    ZInst* inst_ = nullptr;
    uint64_t markers_[128] = {};
    const ZNode opzero_copy_{};
};

TEST_F(Nodes, RequestsTakeWholeStepsFromTheTop) {
    struct Case {
        int32_t size;
        int32_t taken;
    };
    const Case cases[] = {{0, 0},
                          {1, 8},
                          {7, 8},
                          {8, 8},
                          {9, 16},
                          {124, 128},
                          {static_cast<int32_t>(sizeof(ZNode)), kNodeBytes}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        const int32_t before = inst_->arenafree;
        char* piece = static_cast<char*>(alloc(c.size));
        EXPECT_EQ(inst_->arenafree, before - c.taken);
        EXPECT_EQ(piece, top());
    }
    EXPECT_EQ(alloc(-1), nullptr);
}

TEST_F(Nodes, FirstNodeComesFromTheTopOfTheFirstBlock) {
    ZNode* n = newop(Z_LAND);
    EXPECT_EQ(inst_->arenafree, kFirstBlockFree - kNodeBytes);
    EXPECT_EQ(reinterpret_cast<char*>(n), top());
    EXPECT_EQ(n->type, Z_LAND);
}

TEST_F(Nodes, FullBlockChainsANewOne) {
    void* first = inst_->arena;
    // The whole first block fits one request, although later blocks hold less.
    ASSERT_NE(alloc(kFirstBlockFree), nullptr);
    EXPECT_EQ(inst_->arena, first);
    EXPECT_EQ(inst_->arenafree, 0);

    char* piece = static_cast<char*>(alloc(24));
    ASSERT_NE(inst_->arena, first);
    EXPECT_EQ(link(inst_->arena), first);
    EXPECT_EQ(inst_->arenafree, kBlockFree - 24);
    EXPECT_EQ(piece + 24, static_cast<char*>(inst_->arena) + kLinkBytes + kBlockFree);
}

TEST_F(Nodes, OversizedRequestsGetABlockOfTheirOwn) {
    void* first = inst_->arena;
    ASSERT_NE(alloc(8), nullptr);  // the untouched first block would still hold 2040 bytes
    for (int32_t size : {kBlockFree + 1, 5000, 64 * 1024}) {
        SCOPED_TRACE(size);
        void* under = inst_->arena;
        char* piece = static_cast<char*>(alloc(size));
        ASSERT_NE(piece, nullptr);
        std::memset(piece, 0xA5, static_cast<size_t>(size));  // all of it is usable
        EXPECT_EQ(link(inst_->arena), under);
        EXPECT_EQ(inst_->arenafree, 0);
    }
    // The largest ordinary request still gets an ordinary block.
    void* under = inst_->arena;
    ASSERT_NE(alloc(kBlockFree), nullptr);
    EXPECT_EQ(link(inst_->arena), under);
    EXPECT_EQ(inst_->arenafree, 0);

    EXPECT_EQ(inst_->Reset(inst_), 0);
    EXPECT_EQ(inst_->arena, first);
    EXPECT_EQ(inst_->arenafree, kFirstBlockFree);
}

TEST_F(Nodes, RefusedBlockLeavesTheArenaAsItWas) {
    ASSERT_NE(alloc(kFirstBlockFree - 16), nullptr);
    void* arena = inst_->arena;
    for (int32_t size : {24, kBlockFree + 8}) {
        SCOPED_TRACE(size);
        zhost_fail_pool_allocation(inst_->pool, 1);
        EXPECT_EQ(alloc(size), nullptr);
        EXPECT_EQ(inst_->arena, arena);
        EXPECT_EQ(inst_->arenafree, 16);
    }
    zhost_fail_pool_allocation(inst_->pool, 1);
    EXPECT_EQ(newop(Z_LAND), nullptr);
    zhost_fail_pool_allocation(inst_->pool, 0);
    EXPECT_NE(alloc(16), nullptr);  // what was left still serves
    EXPECT_EQ(inst_->arena, arena);
}

TEST_F(Nodes, FreedNodeIsReusedCleared) {
    ZNode* a = newop(Z_LAND);
    ZNode* b = newop(Z_LOR);
    std::memset(a, 0x5A, sizeof(ZNode));
    std::memset(b, 0x5A, sizeof(ZNode));
    inst_->FreeOp(inst_, a);
    inst_->FreeOp(inst_, b);
    const int32_t arenafree = inst_->arenafree;

    ZNode* c = newop(Z_CEQ);
    ZNode* d = newop(Z_LITN);
    EXPECT_EQ(c, b);  // last freed, first reused
    EXPECT_EQ(d, a);
    EXPECT_EQ(inst_->arenafree, arenafree);
    EXPECT_EQ(inst_->nodefree, nullptr);
    for (ZNode* n : {c, d}) {
        ZNode expect{};
        expect.type = n->type;
        EXPECT_EQ(std::memcmp(n, &expect, sizeof(ZNode)), 0);
    }
    EXPECT_EQ(c->type, Z_CEQ);
    EXPECT_EQ(d->type, Z_LITN);
    EXPECT_NE(newop(Z_LAND), nullptr);
    EXPECT_EQ(inst_->arenafree, arenafree - kNodeBytes);
}

TEST_F(Nodes, SetFarBeyondTheEndLeavesAGapOfNulls) {
    ZNode* n = newop(Z_LAND);
    set(n, 20, marker(20));
    EXPECT_EQ(n->u.op.nargs, 21);
    EXPECT_EQ(blocks(n), 2);
    EXPECT_EQ(n->u.op.next->type, Z_NULL);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(get(n, i), nullptr) << i;
    EXPECT_EQ(get(n, 20), marker(20));
    EXPECT_EQ(get(n, 21), nullptr);
    EXPECT_EQ(get(n, -1), nullptr);
}

// Fifteen arguments fill the node; the sixteenth opens an overflow block, and so on for
// ten thousand.
TEST_F(Nodes, AppendedArgumentsRoundTripAcrossOverflowBlocks) {
    ZNode* n = newop(Z_IN);
    for (int i = 0; i < 15; ++i) set(n, -1, marker(i));
    EXPECT_EQ(blocks(n), 1);
    set(n, -1, marker(15));
    EXPECT_EQ(n->u.op.nargs, 16);
    ASSERT_EQ(blocks(n), 2);
    EXPECT_EQ(n->u.op.next->u.op.args[0], marker(15));
    const int count = 10000;
    for (int i = 16; i < count; ++i) set(n, -1, marker(i % 128));
    EXPECT_EQ(n->u.op.nargs, count);
    EXPECT_EQ(blocks(n), (count + Z_NODE_ARGS - 1) / Z_NODE_ARGS);
    for (int i = 0; i < count; ++i) ASSERT_EQ(get(n, i), marker(i % 128)) << i;
    // Overwriting inside the list changes neither the count nor the chain.
    set(n, 7777, marker(0));
    EXPECT_EQ(get(n, 7777), marker(0));
    EXPECT_EQ(get(n, 7778), marker(7778 % 128));
    EXPECT_EQ(n->u.op.nargs, count);
    EXPECT_EQ(blocks(n), (count + Z_NODE_ARGS - 1) / Z_NODE_ARGS);
}

TEST_F(Nodes, ShrunkListGrowsBackWithoutStaleArguments) {
    ZNode* n = newop(Z_LAND);
    for (int i = 0; i < 20; ++i) set(n, -1, marker(i));
    n->u.op.nargs = 3;  // the way callers drop trailing arguments
    EXPECT_EQ(get(n, 3), nullptr);

    set(n, 10, marker(50));
    EXPECT_EQ(n->u.op.nargs, 11);
    EXPECT_EQ(blocks(n), 1);  // the old overflow block is cut off
    for (int i = 3; i < 10; ++i) EXPECT_EQ(get(n, i), nullptr) << i;
    EXPECT_EQ(get(n, 10), marker(50));

    set(n, 40, marker(51));
    EXPECT_EQ(n->u.op.nargs, 41);
    EXPECT_EQ(blocks(n), 3);
    for (int i = 11; i < 40; ++i) EXPECT_EQ(get(n, i), nullptr) << i;
    EXPECT_EQ(get(n, 40), marker(51));
    EXPECT_EQ(get(n, 2), marker(2));

    // Shrinking inside an overflow block clears that block's tail on the next growth.
    for (int i = 15; i <= 40; ++i) set(n, i, marker(i));
    n->u.op.nargs = 17;
    set(n, 25, marker(52));
    EXPECT_EQ(n->u.op.nargs, 26);
    EXPECT_EQ(blocks(n), 2);
    EXPECT_EQ(get(n, 15), marker(15));
    EXPECT_EQ(get(n, 16), marker(16));
    for (int i = 17; i < 25; ++i) EXPECT_EQ(get(n, i), nullptr) << i;
    EXPECT_EQ(get(n, 25), marker(52));
}

// Appends continue from where the last store landed; whatever happened to the chain in
// between (another list, a cut, freed blocks, a node cleared as a whole), every argument
// reads back where it was put.
TEST_F(Nodes, AppendsAfterChangesToTheChainLandInPlace) {
    ZNode* a = newop(Z_LAND);
    ZNode* b = newop(Z_LOR);
    for (int i = 0; i < 60; ++i) {
        set(a, -1, marker(i));
        set(b, -1, marker(127 - i));
    }
    for (int i = 0; i < 60; ++i) {
        ASSERT_EQ(get(a, i), marker(i)) << i;
        ASSERT_EQ(get(b, i), marker(127 - i)) << i;
    }
    EXPECT_EQ(blocks(a), 4);

    // A store into an early block, then an append three blocks further on.
    set(a, 20, marker(100));
    set(a, -1, marker(103));
    EXPECT_EQ(a->u.op.nargs, 61);
    EXPECT_EQ(get(a, 20), marker(100));
    EXPECT_EQ(get(a, 59), marker(59));
    EXPECT_EQ(get(a, 60), marker(103));
    EXPECT_EQ(blocks(a), 5);

    // A store far beyond the end cuts the chain; appends go on after it.
    a->u.op.nargs = 18;
    set(a, 33, marker(101));
    set(a, -1, marker(102));
    EXPECT_EQ(a->u.op.nargs, 35);
    EXPECT_EQ(get(a, 17), marker(17));
    for (int i = 18; i < 33; ++i) EXPECT_EQ(get(a, i), nullptr) << i;
    EXPECT_EQ(get(a, 33), marker(101));
    EXPECT_EQ(get(a, 34), marker(102));
    EXPECT_EQ(blocks(a), 3);

    // The list's blocks go back to the free list and come out again as another list's.
    for (ZNode* blk = a->u.op.next; blk;) {
        ZNode* next = blk->u.op.next;
        inst_->FreeOp(inst_, blk);
        blk = next;
    }
    ZNode* c = newop(Z_SET);
    for (int i = 0; i < 40; ++i) set(c, -1, marker(i));
    for (int i = 0; i < 40; ++i) ASSERT_EQ(get(c, i), marker(i)) << i;

    // A node cleared as a whole (as parse-stack holders are) starts a fresh chain.
    std::memcpy(c, &opzero_copy_, sizeof(ZNode));
    c->type = Z_SET;
    for (int i = 0; i < 20; ++i) set(c, -1, marker(64 + i));
    EXPECT_EQ(blocks(c), 2);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(get(c, i), marker(64 + i)) << i;
}

TEST_F(Nodes, SetThatCannotGrowLeavesTheNodeAsItWas) {
    ZNode* n = newop(Z_LAND);
    for (int i = 0; i < 15; ++i) set(n, -1, marker(i));
    ZNode* spare = newop(Z_LOR);
    inst_->FreeOp(inst_, spare);  // one node on the free list, then no more memory
    ASSERT_NE(alloc(inst_->arenafree), nullptr);
    zhost_fail_allocation(kernel_, 1);

    set(n, 40, marker(40));  // needs two overflow blocks: the free one and one more
    zhost_fail_allocation(kernel_, 0);
    EXPECT_EQ(n->u.op.nargs, 15);
    EXPECT_EQ(n->u.op.next, nullptr);
    EXPECT_EQ(get(n, 14), marker(14));
    EXPECT_EQ(inst_->nodefree, spare);  // the block it took went back
}

TEST_F(Nodes, RootIsTheWrapperOnlyAroundATree) {
    ZNode* tree = newop(Z_CEQ);
    ZNode* esc = newop(Z_ESC);
    struct Case {
        ZNode* root;
        ZNode* escroot;
        ZNode* expect;
    };
    const Case cases[] = {{nullptr, nullptr, nullptr},
                          {tree, nullptr, tree},
                          {tree, esc, esc},
                          {nullptr, esc, nullptr}};
    for (const Case& c : cases) {
        inst_->root = c.root;
        inst_->escroot = c.escroot;
        EXPECT_EQ(inst_->Root(inst_), c.expect);
    }
}

}  // namespace
