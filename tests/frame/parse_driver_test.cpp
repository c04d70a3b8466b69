// The parse driver through the instance's Parse slot: clauses with nothing in them, a clause
// that gives a tree, the ESC wrapper, the token trace, and a failed parse.
#include <string>

#include "frame/frame_fixture.h"

namespace {

using frametest::Host;

class ParseDriver : public Host {
  protected:
    int32_t parse(ZInst* inst, const std::u32string& text) {
        return inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), jnl_);
    }
};

TEST_F(ParseDriver, NothingToParseGivesNoTree) {
    ZInst* inst = create(ZORV_OPT_ESC);
    ASSERT_NE(inst, nullptr);
    const std::u32string blanks = U"     ";
    struct Case {
        const char* what;
        const NQWChar* text;
        int32_t length;
    };
    const Case cases[] = {
        {"null text", nullptr, 5}, {"no length", blanks.data(), 0}, {"blanks", blanks.data(), 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(parse(inst, U"x = 1"), 0);  // a tree that the next parse must drop
        ASSERT_NE(inst->Root(inst), nullptr);
        EXPECT_EQ(inst->Parse(inst, c.text, c.length, jnl_), 0);
        EXPECT_EQ(inst->Root(inst), nullptr);
        EXPECT_EQ(inst->root, nullptr);
    }
}

TEST_F(ParseDriver, ClauseGivesATree) {
    ZInst* inst = create();
    ASSERT_NE(inst, nullptr);
    ASSERT_EQ(parse(inst, U"x = 1"), 0);
    ZNode* root = inst->Root(inst);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root, inst->root);
    EXPECT_EQ(inst->escroot, nullptr);
    EXPECT_EQ(root->type, Z_CEQ);
    ASSERT_EQ(root->u.op.nargs, 2);
    EXPECT_EQ(inst->Get(inst, root, 0)->type, Z_NAME);
    EXPECT_EQ(inst->Get(inst, root, 1)->type, Z_LITN);
    EXPECT_EQ(inst->prs.text, nullptr);  // the line was handed back
}

TEST_F(ParseDriver, EscOptionWrapsTheTree) {
    ZInst* inst = create(ZORV_OPT_ESC);
    ASSERT_NE(inst, nullptr);
    ASSERT_EQ(parse(inst, U"x > 2 and y < 3"), 0);
    ZNode* esc = inst->Root(inst);
    ASSERT_NE(esc, nullptr);
    EXPECT_EQ(esc, inst->escroot);
    EXPECT_EQ(esc->type, Z_ESC);
    EXPECT_EQ(esc->u.op.nargs, 2);
    ASSERT_NE(inst->root, nullptr);
    EXPECT_EQ(inst->root->type, Z_LAND);
    EXPECT_EQ(inst->Get(inst, esc, 0), inst->root);
    EXPECT_EQ(inst->Get(inst, esc, 1), reinterpret_cast<ZNode*>(inst));
}

TEST_F(ParseDriver, TokenTraceShowsEachToken) {
    ZInst* traced = create(ZORV_OPT_TOKTRACE);
    ZInst* quiet = create();
    ASSERT_TRUE(traced && quiet);

    ASSERT_EQ(parse(quiet, U"x = 1"), 0);
    EXPECT_TRUE(messages(NQ_LEVEL_TRACE).empty());

    ASSERT_EQ(parse(traced, U"x = 1"), 0);
    const std::vector<std::string> trace = messages(NQ_LEVEL_TRACE);
    ASSERT_GE(trace.size(), 3u);
    EXPECT_EQ(trace[0], "tok: type  2 \"x\"");
    EXPECT_EQ(trace[1], "tok: type 36 \"=\"");
    EXPECT_EQ(trace[2], "tok: type  4 \"1\"");
    for (const std::string& line : trace) EXPECT_EQ(line.rfind("tok: type ", 0), 0u) << line;
}

TEST_F(ParseDriver, FailedParseIsPassedOnWithoutWrapper) {
    ZInst* inst = create(ZORV_OPT_ESC);
    ASSERT_NE(inst, nullptr);
    EXPECT_NE(parse(inst, U"x = = ("), 0);
    EXPECT_EQ(inst->escroot, nullptr);
    EXPECT_EQ(inst->prs.jnl, jnl_);

    // The instance parses again afterwards.
    EXPECT_EQ(parse(inst, U"x = 1"), 0);
    EXPECT_NE(inst->escroot, nullptr);
}

}  // namespace
