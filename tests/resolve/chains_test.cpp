// Chained comparisons split into an AND of simple ones, each shared term a copy of its own,
// and the deep copy of subtrees that the split relies on.
#include <gtest/gtest.h>

#include <set>

#include "frame/nodeutil.h"
#include "tests/resolve/resolve_fixture.h"

namespace {

using resolvetest::Resolver;

// Every node of the subtree, overflow blocks included (and the operands of a NULL node).
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
    const char* offered;  // names in the order the callback saw them
};

const ChainCase kChainCases[] = {
    {"n1 < n2", "CLT(NAME N1,NAME N2)", "N1 N2"},
    {"n1 < n2 <= n3", "LAND(CLT(NAME N1,NAME N2),CLE(NAME N2,NAME N3))", "N1 N2 N2 N3"},
    {"n1 < n2 NOT <= n3 = n4",
     "LAND(CLT(NAME N1,NAME N2),CGT(NAME N2,NAME N3),CEQ(NAME N3,NAME N4))", "N1 N2 N2 N3 N3 N4"},
    {"1 < n + 2 < 3", "LAND(CLT(LITN 1,AADD(NAME N,LITN 2)),CLT(AADD(NAME N,LITN 2),LITN 3))",
     "N N"},
    {"c < : 'a' <= : w", "LAND(CTLT(NAME C,LITC 'a'),CTLE(LITC 'a',NAME W))", "C W"},
};

TEST_F(Resolver, ChainedComparisonsBecomeAnAndOfComparisons) {
    for (const ChainCase& c : kChainCases) {
        SCOPED_TRACE(c.clause);
        offered_.clear();
        ASSERT_EQ(parse(c.clause), 0);
        ASSERT_EQ(resolve(), 0);
        EXPECT_EQ(tree(), c.tree);
        std::string seen;
        for (const std::string& n : offered_) seen += (seen.empty() ? "" : " ") + n;
        EXPECT_EQ(seen, c.offered);

        // Every node appears once: the shared terms are copies, and every comparison and
        // the AND itself is typed numeric.
        ZNode* root = inst_->root;
        std::set<ZNode*> all;
        collect(root, &all);
        size_t count = 0;
        for (ArgCursor it(root); !it.done(); it.next()) {
            std::set<ZNode*> mine;
            collect(it.get(), &mine);
            count += mine.size();
            EXPECT_EQ(it.get()->vlen, -8);
        }
        if (root->type == Z_LAND) {
            EXPECT_EQ(count + 1, all.size());
        }
        EXPECT_EQ(root->vlen, -8);
    }
}

// A chain of more links than a node has slots: the links come from overflow blocks and the
// AND gets blocks of its own.
TEST_F(Resolver, ALongChainSplitsLinkByLink) {
    std::string clause = "0";
    std::string expect = "LAND(";
    for (int i = 1; i <= 40; ++i) {
        clause += " < " + std::to_string(i);
        expect += (i > 1 ? "," : "") + std::string("CLT(LITN ") + std::to_string(i - 1) + ",LITN " +
                  std::to_string(i) + ")";
    }
    ASSERT_EQ(parse(clause), 0);
    ASSERT_EQ(resolve(), 0);
    EXPECT_EQ(tree(), expect + ")");
    EXPECT_EQ(inst_->root->u.op.nargs, 40);
}

// The callback's refusal inside a chain stops the walk in the conjunct where it happened.
TEST_F(Resolver, ARefusalInsideAChainStopsThere) {
    refuse_ = "BAD";
    refusal_ = 41;
    ASSERT_EQ(parse("n1 < bad < n3"), 0);
    EXPECT_EQ(resolve(), 41);
    EXPECT_EQ(offered_, (std::vector<std::string>{"N1", "BAD"}));
    EXPECT_EQ(tree(), "LAND(CLT(NAME N1,NAME BAD),CLT(NAME BAD,NAME N3))");
}

TEST_F(Resolver, CopyTreeCopiesEveryNodeAndOwnText) {
    std::string clause = "c IN (";
    for (int i = 0; i < 40; ++i) clause += (i ? ",'" : "'") + std::to_string(i) + "'";
    clause += ", 'a text too long to sit in a node') OR n * (n + 1) > 2 OR n * NOT n";
    ASSERT_EQ(parse(clause), 0);
    ZNode* root = inst_->root;
    ZNode* copy = copy_tree(inst_, root);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(ztest::render(copy), tree());

    std::set<ZNode*> original, copied;
    collect(root, &original);
    collect(copy, &copied);
    EXPECT_EQ(original.size(), copied.size());
    for (ZNode* n : copied) {
        EXPECT_EQ(original.count(n), 0u) << "a node is shared with the original";
        if (n->type == Z_LITC && n->u.litc.slen <= 48) {
            EXPECT_EQ(n->u.litc.str, n->u.litc.inl);
        }
    }
    EXPECT_EQ(copy_tree(inst_, nullptr), nullptr);
}

}  // namespace
