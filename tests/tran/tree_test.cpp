// Deep copies share nothing with their source, releases give back exactly the nodes of a
// subtree (blocks included), and the truth constants replace a subtree in place.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <utility>

#include "tests/tran/tran_fixture.h"

namespace {

using Nodes = std::set<const ZNode*>;

// Every record a subtree occupies: its nodes and their overflow blocks.
void collect(const ZNode* n, Nodes& out) {
    if (n == nullptr) return;
    out.insert(n);
    if (zkind::is_leaf(n->type)) return;
    int32_t remaining = n->u.op.nargs;
    for (const ZNode* b = n; b != nullptr; b = b->u.op.next, remaining -= Z_NODE_ARGS) {
        if (b != n) out.insert(b);
        for (int32_t i = 0; i < std::min(remaining, Z_NODE_ARGS); ++i)
            collect(b->u.op.args[i], out);
    }
}

Nodes nodes_of(const ZNode* n) {
    Nodes out;
    collect(n, out);
    return out;
}

class TreeOps : public trantest::TranTest {
  protected:
    // The records on the free list, in order; stops at a repeat (a node freed twice links
    // the list into a cycle) and records that it found one.
    Nodes free_list() {
        Nodes out;
        for (ZNode* n = inst_->nodefree; n != nullptr; n = n->u.op.next) {
            if (!out.insert(n).second) {
                ADD_FAILURE() << "a node is on the free list twice";
                break;
            }
        }
        return out;
    }

    ZNode* wide(int type, int count, int from = 0) {
        ZNode* n = node(type, -8);
        for (int i = 0; i < count; ++i) inst_->Set(inst_, n, -1, num(from + i));
        return n;
    }

    ZNode* sample() {
        return op(Z_LAND, {op(Z_CGT, {col("X"), num(5)}),
                           op(Z_IN, {col("Y"), set({num(1), range(Z_RANB, 2, 4)})})});
    }
};

TEST_F(TreeOps, CopySharesNoRecordWithItsSource) {
    ZNode* src = sample();
    src->weight = 7;
    src->workoff = 40;
    ZNode* long_list = wide(Z_SET, 20);
    inst_->Set(inst_, long_list, 3, nullptr);
    for (ZNode* s : {src, long_list, col("ONLY"), static_cast<ZNode*>(nullptr)}) {
        ZNode* copy = CopyTree(s, inst_, jnl_);
        EXPECT_EQ(render(copy), render(s));
        if (s == nullptr) continue;
        EXPECT_EQ(copy->weight, s->weight);
        EXPECT_EQ(copy->workoff, s->workoff);
        const Nodes a = nodes_of(s);
        const Nodes b = nodes_of(copy);
        EXPECT_EQ(a.size(), b.size()) << render(s);
        for (const ZNode* n : b) EXPECT_EQ(a.count(n), 0u) << "copy shares a record";
    }
    ZNode* copy = CopyTree(long_list, inst_, jnl_);
    EXPECT_EQ(copy->u.op.nargs, 20);
    ASSERT_NE(copy->u.op.next, nullptr);
    EXPECT_EQ(copy->u.op.next->u.op.next, nullptr);
    EXPECT_EQ(copy->u.op.args[3], nullptr);
}

TEST_F(TreeOps, CopiedInlineTextOutlivesItsSource) {
    ZNode* shorttext = chr("eleven char");
    ASSERT_EQ(shorttext->u.litc.str, shorttext->u.litc.inl);
    ZNode* copy = CopyTree(shorttext, inst_, jnl_);
    EXPECT_EQ(copy->u.litc.str, copy->u.litc.inl);
    shorttext->u.litc.inl[0] = U'X';
    FreeTree(&shorttext, inst_, jnl_);
    inst_->NewOp(inst_, Z_NULL);  // reuses and clears the source's record
    EXPECT_EQ(render(copy), "LITC 'eleven char'");

    // A text in the arena is shared: it lives as long as the instance's memory.
    ZNode* longtext = chr("a text too long for the node");
    ZNode* copy2 = CopyTree(longtext, inst_, jnl_);
    EXPECT_EQ(copy2->u.litc.str, longtext->u.litc.str);
}

TEST_F(TreeOps, FreeGivesBackExactlyTheSubtreesRecords) {
    ZNode* none = nullptr;
    FreeTree(&none, inst_, jnl_);
    EXPECT_EQ(free_list().size(), 0u);

    struct Case {
        ZNode* tree;
        size_t records;
    } const cases[] = {
        {col("X"), 1},
        {op(Z_CEQ, {col("X"), num(1)}), 3},
        {wide(Z_LOR, 16), 18},
        {wide(Z_SET, 30), 32},  // two full blocks: no empty third block is made or freed
        {sample(), 11},
        {op(Z_LAND, {nullptr, wide(Z_IN, 31), nullptr}), 35},
    };
    for (const Case& c : cases) {
        const Nodes before = free_list();
        const Nodes tree = nodes_of(c.tree);
        ASSERT_EQ(tree.size(), c.records) << render(c.tree);
        ZNode* ref = c.tree;
        FreeTree(&ref, inst_, jnl_);
        EXPECT_EQ(ref, nullptr);
        Nodes after = free_list();
        for (const ZNode* n : before) after.erase(n);
        EXPECT_EQ(after, tree) << "records given back differ from the tree's";
    }
}

TEST_F(TreeOps, MakeTrueKeepsTheNodeAndReleasesItsOperands) {
    for (ZNode* n : {op(Z_LAND, {op(Z_CGT, {col("X"), num(5)}), op(Z_CLT, {col("X"), num(9)})}),
                     wide(Z_LOR, 16), col("X")}) {
        Nodes released = nodes_of(n);
        released.erase(n);
        const Nodes before = free_list();
        inst_->MakeTrue(inst_, n);
        Nodes after = free_list();
        for (const ZNode* f : before) after.erase(f);
        EXPECT_EQ(after, released);

        ZNode expected;
        std::memset(&expected, 0, sizeof expected);
        expected.type = Z_LITN;
        expected.vlen = -8;
        expected.u.litn.num = 1.0;
        EXPECT_EQ(std::memcmp(n, &expected, sizeof expected), 0) << render(n);
    }
    EXPECT_EQ(inst_->MakeTrue, &ZORVMakeTrue);
    inst_->MakeTrue(inst_, nullptr);  // nothing to do

    ZNode* n = num(7, 1);
    make_truth(inst_, n, false, jnl_);
    EXPECT_TRUE(n->vlen == -8 && n->u.litn.tag == 0 && n->u.litn.num == 0.0 &&
                !std::signbit(n->u.litn.num));
}

TEST_F(TreeOps, TakeOverMovesTheRecordAndReleasesTheDonor) {
    ZNode* x = op(Z_CEQ, {col("X"), num(1)});
    ZNode* y = chr("abc");
    take_over(inst_, x, y);
    EXPECT_EQ(render(x), "LITC 'abc'");
    EXPECT_EQ(x->u.litc.str, x->u.litc.inl);
    EXPECT_EQ(inst_->nodefree, y);

    // A taken-over list keeps its overflow blocks.
    ZNode* z = col("Z");
    ZNode* list = wide(Z_SET, 17);
    const std::string text = render(list);
    take_over(inst_, z, list);
    EXPECT_EQ(render(z), text);
}

TEST_F(TreeOps, TruthOfTheRoot) {
    EXPECT_EQ(inst_->TruthOf, &ZORVTruthOf);
    EXPECT_EQ(inst_->TruthOf(inst_), 2);  // no root
    // The truth rule itself is truth_of's; here: it is applied to the root.
    for (auto [root, truth] : {std::pair{num(0), 0}, {chr("a"), 1}, {sample(), 2}}) {
        inst_->root = root;
        EXPECT_EQ(inst_->TruthOf(inst_), truth) << render(root);
    }
    inst_->root = sample();
    inst_->MakeTrue(inst_, inst_->root);
    EXPECT_EQ(inst_->TruthOf(inst_), 1);

    // The ESC wrapper is not looked at: the root itself is.
    inst_->escroot = op(Z_ESC, {inst_->root});
    inst_->root = num(0);
    EXPECT_EQ(inst_->TruthOf(inst_), 0);
    inst_->escroot = nullptr;
}

}  // namespace
