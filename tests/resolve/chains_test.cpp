// Chained comparisons split into an AND of simple ones, each shared term a copy of its own,
// and the deep copy of subtrees that the split relies on.
#include <gtest/gtest.h>

#include <set>

#include "frame/nodeutil.h"
#include "tests/resolve/resolve_fixture.h"

namespace {

using resolvetest::Resolver;

// Every node of the subtree, overflow blocks and the operands of NULL nodes included.
void collect(ZNode* n, std::set<ZNode*>* out) {
    if (!n) return;
    out->insert(n);
    if (!zkind::is_operator(n->type) && (n->type != Z_NULL || n->u.op.nargs == 0)) return;
    for (ZNode* b = n->u.op.next; b; b = b->u.op.next) out->insert(b);
    for (ArgCursor c(n); !c.done(); c.next()) collect(c.get(), out);
}

struct ChainCase {
    const char* clause;
    const char* tree;
    std::vector<std::string> offered;  // in the order the callback saw them
};

TEST_F(Resolver, ChainedComparisonsBecomeAnAndOfComparisons) {
    const ChainCase cases[] = {
        {"n1 < n2", "CLT(NAME N1,NAME N2)", {"N1", "N2"}},
        {"n1 < n2 NOT <= n3 = n4",
         "LAND(CLT(NAME N1,NAME N2),CGT(NAME N2,NAME N3),CEQ(NAME N3,NAME N4))",
         {"N1", "N2", "N2", "N3", "N3", "N4"}},
        {"1 < n + 2 < 3",
         "LAND(CLT(LITN 1,AADD(NAME N,LITN 2)),CLT(AADD(NAME N,LITN 2),LITN 3))",
         {"N", "N"}},
        {"c < : 'a' <= : w", "LAND(CTLT(NAME C,LITC 'a'),CTLE(LITC 'a',NAME W))", {"C", "W"}},
    };
    for (const ChainCase& c : cases) {
        SCOPED_TRACE(c.clause);
        offered_.clear();
        ASSERT_EQ(parse(c.clause), 0);
        ASSERT_EQ(resolve(), 0);
        EXPECT_EQ(tree(), c.tree);
        EXPECT_EQ(offered_, c.offered);
        EXPECT_EQ(inst_->root->vlen, -8);
        // No node is shared between two conjuncts, and each is typed.
        std::set<ZNode*> all;
        size_t count = 0;
        for (ArgCursor it(inst_->root); !it.done(); it.next()) {
            std::set<ZNode*> mine;
            collect(it.get(), &mine);
            all.insert(mine.begin(), mine.end());
            count += mine.size();
            EXPECT_EQ(it.get()->vlen, -8);
        }
        EXPECT_EQ(count, all.size());
    }
}

// More links than a node has slots: they come from overflow blocks, and the AND needs its
// own.
TEST_F(Resolver, ALongChainSplitsLinkByLink) {
    std::string clause = "0";
    std::string expect = "LAND(";
    for (int i = 1; i <= 40; ++i) {
        clause += " < " + std::to_string(i);
        expect += (i > 1 ? ",CLT(LITN " : "CLT(LITN ") + std::to_string(i - 1) + ",LITN " +
                  std::to_string(i) + ")";
    }
    ASSERT_EQ(parse(clause), 0);
    ASSERT_EQ(resolve(), 0);
    EXPECT_EQ(tree(), expect + ")");
}

// A copy that cannot have its nodes ends the walk with a status; the AND keeps the
// comparisons made whole so far.
TEST_F(Resolver, RunningOutOfNodesInAChainIsAStatus) {
    std::string sum = "n";
    for (int i = 0; i < 100; ++i) sum += " + n";
    ASSERT_EQ(parse("0 < " + sum + " < 1 < 2"), 0);
    zhost_fail_pool_allocation(inst_->pool, 1);
    EXPECT_EQ(resolve(), ZORV_RESOLVE_NO_MEMORY);
    zhost_fail_pool_allocation(inst_->pool, 0);
    EXPECT_EQ(tree().substr(0, 19), "LAND(CLT(LITN 0,AAD");
    EXPECT_EQ(inst_->root->u.op.nargs, 1);
}

// Nodes refused through the instance's NewOp slot from the n-th call of the split on.
struct RefusedNodes {
    static inline long countdown = 0;
    static inline ZORVNewOpFn real = nullptr;
    static ZNode* refusing(ZInst* inst, int32_t type) {
        return --countdown <= 0 ? nullptr : real(inst, type);
    }
};

// Running out of nodes anywhere in the split of a chain longer than a node's slots (the
// first comparison's node, a copy of a term, the AND's overflow block) is a status, and
// the AND holds the comparisons made whole before it, in order.
TEST_F(Resolver, RunningOutOfNodesAnywhereInAChainKeepsWholeComparisons) {
    std::string clause = "0";
    std::vector<std::string> conjuncts;
    for (int i = 1; i <= Z_NODE_ARGS + 5; ++i) {
        clause += " < " + std::to_string(i);
        conjuncts.push_back("CLT(LITN " + std::to_string(i - 1) + ",LITN " + std::to_string(i) +
                            ")");
    }
    for (long n = 1;; ++n) {
        ASSERT_LT(n, 100) << "the split never succeeded";
        SCOPED_TRACE(n);
        ASSERT_EQ(parse(clause), 0);
        const std::string parsed = tree();
        RefusedNodes::real = inst_->NewOp;
        RefusedNodes::countdown = n;
        inst_->NewOp = RefusedNodes::refusing;
        const int32_t status = resolve();
        inst_->NewOp = RefusedNodes::real;
        if (status == 0) {
            EXPECT_EQ(inst_->root->u.op.nargs, Z_NODE_ARGS + 5);
            break;
        }
        ASSERT_EQ(status, ZORV_RESOLVE_NO_MEMORY);
        if (inst_->root->type != Z_LAND) {
            EXPECT_EQ(tree(), parsed) << "refused before anything was changed";
            continue;
        }
        const int32_t whole = inst_->root->u.op.nargs;
        ASSERT_GE(whole, 1);
        ASSERT_LT(whole, Z_NODE_ARGS + 5);
        std::string want = "LAND(";
        for (int32_t i = 0; i < whole; ++i) want += (i ? "," : "") + conjuncts[i];
        EXPECT_EQ(tree(), want + ")");
    }
}

TEST_F(Resolver, CopyTreeCopiesEveryNodeAndOwnText) {
    std::string clause = "c IN (";
    for (int i = 0; i < 40; ++i) clause += "'" + std::to_string(i) + "',";
    clause += "'a text too long to sit in a node') OR n * (n + 1) > 2 OR n * NOT n";
    ASSERT_EQ(parse(clause), 0);
    ZNode* copy = copy_tree(inst_, inst_->root);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(ztest::render(copy), tree());

    std::set<ZNode*> original, copied;
    collect(inst_->root, &original);
    collect(copy, &copied);
    EXPECT_EQ(original.size(), copied.size());
    for (ZNode* n : copied) {
        EXPECT_EQ(original.count(n), 0u) << "a node is shared with the original";
        if (n->type == Z_LITC && n->u.litc.slen <= 48) {
            EXPECT_EQ(n->u.litc.str, n->u.litc.inl);
        }
    }
}

}  // namespace
