// The trees the semantic actions build when the grammar tables drive them clause by clause,
// without the host's engine or tokenizer in between, and the stack they leave behind.
#include <gtest/gtest.h>

#include "tests/parse/clause_cases.h"
#include "tests/parse/sem_harness.h"

namespace {

using semtest::Bench;

TEST(TreeShapes, EveryClauseBuildsItsTree) {
    for (const semtest::ClauseCase& c : semtest::kClauseCases) {
        Bench b;
        const int r = semtest::drive(b, semtest::lex(c.clause));
        if (c.tree == nullptr) {
            EXPECT_EQ(r, semtest::kSyntaxError) << c.clause;
            continue;
        }
        ASSERT_EQ(r, 0) << c.clause;
        EXPECT_EQ(semtest::render(&b.inst, b.inst.root), c.tree) << c.clause;
        EXPECT_EQ(b.ctx.error != 0, c.flagged) << c.clause;
        EXPECT_EQ(b.inst.prs.stki, 0) << c.clause;
        EXPECT_TRUE(b.messages.empty()) << c.clause << ": " << b.messages[0].text;
    }
}

// Nesting deeper than the first stack array makes it grow while the tree keeps its shape.
TEST(TreeShapes, DeepNestingGrowsTheStack) {
    std::string clause, tree = "NAME X";
    for (int i = 0; i < 20; ++i) {
        clause += "(";
        tree = "AADD(" + tree + ",LITN 1)";
    }
    clause += "x";
    for (int i = 0; i < 20; ++i) clause += " + 1)";
    Bench b;
    ASSERT_EQ(semtest::drive(b, semtest::lex(clause)), 0);
    EXPECT_GT(b.inst.prs.stkcap, 30);
    EXPECT_EQ(semtest::render(&b.inst, b.inst.root), tree);
}

TEST(TreeShapes, LongListsSpillIntoOverflowBlocks) {
    std::string clause = "x IN (", tree = "IN(NAME X,SET(";
    for (int i = 1; i <= 40; ++i) {
        clause += std::to_string(i) + " ";
        tree += (i > 1 ? ",LITN " : "LITN ") + std::to_string(i);
    }
    clause += ")";
    tree += "))";
    Bench b;
    ASSERT_EQ(semtest::drive(b, semtest::lex(clause)), 0);
    EXPECT_EQ(semtest::render(&b.inst, b.inst.root), tree);
}

// The tree outlives the holders: a second clause on the same stack starts clean.
TEST(TreeShapes, ASecondClauseReusesTheStack) {
    Bench b;
    ASSERT_EQ(semtest::drive(b, semtest::lex("a OR b AND z")), 0);
    ZNode* first = b.inst.root;
    ZNode** stk = b.inst.prs.stk;
    ASSERT_EQ(semtest::drive(b, semtest::lex("x NOT IN (1 2)")), 0);
    EXPECT_EQ(b.inst.prs.stk, stk);
    EXPECT_EQ(semtest::render(&b.inst, b.inst.root), "NIN(NAME X,SET(LITN 1,LITN 2))");
    EXPECT_EQ(semtest::render(&b.inst, first), "LOR(NAME A,LAND(NAME B,NAME Z))");
}

}  // namespace
