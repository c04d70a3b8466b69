// The parse driver's bound on tree depth: deep clauses are refused cleanly whatever their
// shape, a clause at the bound is accepted, resolved and printed, and wide clauses (long
// lists and runs) are not mistaken for deep ones.
#include <gtest/gtest.h>

#include <algorithm>

#include "frame/nodeutil.h"
#include "tests/resolve/resolve_fixture.h"

namespace {

static_assert(ZORV_MAX_DEPTH == 4000, "the message below spells the bound");

// first, then (terms - 1) times op first, then tail.
std::string run(const std::string& first, const std::string& op, int terms,
                const std::string& tail = "") {
    std::string s = first;
    for (int i = 1; i < terms; ++i) s += op + first;
    return s + tail;
}

// Levels of the subtree, the root being level 1.
int depth(ZNode* n) {
    int deepest = 0;
    if (n && zkind::is_operator(n->type))
        for (ArgCursor c(n); !c.done(); c.next()) deepest = std::max(deepest, depth(c.get()));
    return n ? deepest + 1 : 0;
}

class Depth : public resolvetest::Resolver {
  protected:
    void expect_refused(ZInst* inst, const std::string& clause) {
        SCOPED_TRACE(clause.substr(0, 40));
        zhost_journal_clear(jnl_);
        EXPECT_EQ(parse(clause, inst), ZORV_PARSE_TOO_DEEP);
        EXPECT_EQ(messages(NQ_LEVEL_ERROR),
                  std::vector<std::string>{"clause nested too deeply: more than 4000 levels"});
        EXPECT_EQ(inst->Root(inst), nullptr);
        ASSERT_EQ(parse("n = 1", inst), 0) << "the instance parses again";
        EXPECT_EQ(ztest::render(inst->root), "CEQ(NAME N,LITN 1)");
    }
    void expect_accepted(const std::string& clause, int levels) {
        SCOPED_TRACE(clause.substr(0, 40));
        ASSERT_EQ(parse(clause), 0);
        const int32_t status = resolve();
        EXPECT_TRUE(status == 0 || status == ZORV_RESOLVE_TOO_LONG) << status;
        EXPECT_EQ(depth(inst_->root), levels);
    }
};

// Runs of a left-associative operator nest one level per term.
TEST_F(Depth, DeepClausesAreRefusedCleanly) {
    ZInst* wrapped = create(ZORV_OPT_ESC);
    ASSERT_NE(wrapped, nullptr);
    const int over = ZORV_MAX_DEPTH + 10;
    for (const std::string& clause : {
             run("n", " - ", over, " > 0"),
             run("n", "*", over, " > 0"),
             run("n", "/", over, " = 1"),
             run("c", " MIN ", over),
             run("c", " MAX ", over, " = w"),
             run("n = 1", " AND ", 1000, " AND ") + run("n", "+", over, " > 0"),
             run("1", "+", 100000, " > 0"),
         }) {
        expect_refused(inst_, clause);
        expect_refused(wrapped, clause);
    }
}

// A semantic error (here a name of 33 letters) does not stop the actions, so a failed parse
// may leave a tree: a deep one is dropped, and the engine's status stands.
TEST_F(Depth, AFailedParseKeepsNoDeepTree) {
    const std::string name(33, 'n');
    EXPECT_EQ(parse(name + " + n > 0"), NQ_STATUS_SEMANTIC);
    EXPECT_NE(inst_->root, nullptr);
    EXPECT_EQ(parse(run(name, "+", ZORV_MAX_DEPTH + 10, " > 0")), NQ_STATUS_SEMANTIC);
    EXPECT_EQ(inst_->root, nullptr);
}

// Parenthesised nesting meets the parse engine's own limit long before the bound.
TEST_F(Depth, NestedParenthesesMeetTheEnginesLimit) {
    const int n = 100000;
    for (const char* open : {"(", "-(", "NOT ("}) {
        EXPECT_EQ(parse(run(open, "", n) + "n" + std::string(n, ')') + " > 1"), NQ_STATUS_TOO_DEEP);
        EXPECT_EQ(inst_->root, nullptr);
    }
}

// The deepest clause accepted: n + n + ... + n > 0, its first n at level ZORV_MAX_DEPTH.
// It resolves, within the stack budget the bound was chosen for, and prints (the printer
// draws 25 levels and marks the cut). One level more, or the ESC wrapper around it, passes
// the bound.
TEST_F(Depth, AClauseAtTheBoundIsAcceptedResolvedAndPrinted) {
    const std::string clause = run("n", "+", ZORV_MAX_DEPTH - 1, " > 0");
    ASSERT_EQ(parse(clause), 0);
    EXPECT_EQ(depth(inst_->root), ZORV_MAX_DEPTH);

    std::vector<uintptr_t> frames;  // the stack address of each name offered
    auto note = [](void* ctx, ZNode* leaf, NQJournal*) -> int32_t {
        static_cast<std::vector<uintptr_t>*>(ctx)->push_back(
            reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
        leaf->vlen = -8;
        return 0;
    };
    ASSERT_EQ(inst_->Resolve(inst_, jnl_, note, &frames), 0);
    EXPECT_EQ(inst_->root->vlen, -8);
    ASSERT_EQ(frames.size(), static_cast<size_t>(ZORV_MAX_DEPTH - 1));
    // The first name is at the bottom, the last one at level 3.
    const uintptr_t per_level = (frames.back() - frames.front()) / (ZORV_MAX_DEPTH - 3);
    RecordProperty("resolve_stack_bytes_per_level", static_cast<int>(per_level));
    EXPECT_LT(per_level * ZORV_MAX_DEPTH, 2u << 20);

    zhost_journal_clear(jnl_);
    inst_->Print(inst_, jnl_);
    const std::vector<std::string> lines = messages(NQ_LEVEL_PLAIN);
    // The cut's mark, each of the AADDs on levels 2 to 25 and its n, the root and its 0.
    ASSERT_EQ(lines.size(), 1u + 2 * 24 + 2);
    EXPECT_EQ(lines.front(), "...overflow tree print...");
    EXPECT_NE(lines[49].find("--CGT"), std::string::npos);

    expect_refused(inst_, "n + " + clause);
    expect_refused(create(ZORV_OPT_ESC), clause);
}

// A chained comparison counts two levels, for the AND that resolution makes of it, so the
// resolved tree stays within the bound too.
TEST_F(Depth, AChainCountsTheLevelItGainsInResolution) {
    const std::string deep = run("n", "+", ZORV_MAX_DEPTH - 2) + ")";
    ASSERT_EQ(parse("(" + deep + " < 1 < 2"), 0);
    ASSERT_EQ(resolve(), 0);
    EXPECT_EQ(depth(inst_->root), ZORV_MAX_DEPTH);
    expect_refused(inst_, "(n + " + deep + " < 1 < 2");
    EXPECT_EQ(parse("(n + " + deep + " < 1"), 0) << "an unchained comparison";
}

// Lists, runs of AND, OR, ** and ||, folded unary minuses and chains are wide: they stay a
// few levels deep whatever their length.
TEST_F(Depth, LongListsRunsAndChainsAreAccepted) {
    std::string in = "n IN (";
    for (int i = 0; i < 100000; ++i) in += std::to_string(i) + ",";
    in.back() = ')';
    expect_accepted(in, 3);
    expect_accepted(run("n", "&", 200000), 2);
    expect_accepted(run("n=1", "|", 20000), 3);
    expect_accepted(run("n", "**", 20000, " > 1"), 3);
    expect_accepted(run("c", "||", 20000, " = c"), 3);
    expect_accepted(run("-", " ", 100000, " n > 1"), 3);
    expect_accepted(run("n", " < ", 20000), 3);  // split: LAND, CLT, NAME
}

}  // namespace
