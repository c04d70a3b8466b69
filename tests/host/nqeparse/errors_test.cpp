// The engine on faulty clauses: the wording of syntax errors (column, offending text, what
// was expected, how the clause was repaired), checking after a repair, the error limit,
// and clauses nested past the engine's depth.
#include <string>

#include "calc_harness.h"

namespace calc_test {
namespace {

// MIN$ and MAX$ are named as they are written.
const std::string kOperand = "expected a name, a constant, '(', '-', 'MAX' or 'MIN'";
const std::string kAfterOperand = "expected end of clause, '*', '+', ',', '-', '/', ';' or 'AND'";

struct ErrorCase {
    const char* what;
    const char* clause;
    std::vector<std::string> messages;
};
void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.what;
}

class SyntaxErrors : public EngineTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(SyntaxErrors, ReportedOnceEachWithTheRepair) {
    const ErrorCase& c = GetParam();
    EXPECT_EQ(parse(c.clause), NQ_STATUS_SYNTAX) << c.what;
    EXPECT_EQ(messages(), c.messages) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Calc, SyntaxErrors,
    ::testing::Values(
        ErrorCase{"missing operand",
                  "1 + * 2;",
                  {"syntax error at column 5 near '*': " + kOperand +
                   "; read as if an integer were inserted"}},
        ErrorCase{"trailing operator",
                  "1 +",
                  {"syntax error at column 4 near end of clause: " + kOperand +
                   "; read as if an integer were inserted"}},
        ErrorCase{"unclosed parenthesis",
                  "(1 + 2;",
                  {"syntax error at column 7 near ';': expected ')', '*', '+', '-' or '/'"
                   "; read as if ')' were inserted"}},
        ErrorCase{"unopened parenthesis",
                  "1 + 2);",
                  {"syntax error at column 6 near ')': " + kAfterOperand +
                   "; read as if ')' were deleted"}},
        ErrorCase{"stray operand",
                  "1 2;",
                  {"syntax error at column 3 near '2': " + kAfterOperand +
                   "; read as if '*' were inserted"}},
        ErrorCase{
            "token of no production",
            "1 + # 2",
            {"syntax error at column 5 near '#': " + kOperand + "; read as if '#' were deleted"}},
        // Inserting "( 0" costs as much as deleting both, but reads less of what follows.
        ErrorCase{"two tokens deleted",
                  "1 + ) ) 2;",
                  {"syntax error at column 5 near ')': " + kOperand +
                   "; read as if ')' and ')' were deleted"}},
        ErrorCase{"many tokens deleted",
                  "1 + # # # # # # # 2;",
                  {"syntax error at column 5 near '#': " + kOperand +
                   "; read as if '#', '#', '#', '#' and 3 more tokens were deleted"}},
        ErrorCase{"deleted then inserted",
                  "1 + # * 2;",
                  {"syntax error at column 5 near '#': " + kOperand +
                   "; read as if '#' were deleted and an integer were inserted"}},
        ErrorCase{"parenthesis opened on repair",
                  "1 + ) * 2;",
                  {"syntax error at column 5 near ')': " + kOperand +
                   "; read as if '(' and an integer were inserted"}},
        ErrorCase{"text after the clause",
                  "1; 2",
                  {"syntax error at column 4 near '2': expected end of input"
                   "; read as if '2' and end of clause were deleted"}},
        // MAX$ can start an operand, so it is not read as a name here.
        ErrorCase{"keyword where it can stand",
                  "MAX$ + 1",
                  {"syntax error at column 6 near '+': expected '('"
                   "; read as if '(' and an integer were inserted",
                   "syntax error at column 9 near end of clause: expected ')', '*', '+', ',', "
                   "'-', '/' or 'AND'; read as if ')' were inserted"}},
        ErrorCase{"errors after a repair",
                  "1 + * 2, (3;",
                  {"syntax error at column 5 near '*': " + kOperand +
                       "; read as if an integer were inserted",
                   "syntax error at column 12 near ';': expected ')', '*', '+', '-' or '/'"
                   "; read as if ')' were inserted"}}));

TEST_F(EngineTest, NoActionAfterTheFirstSyntaxError) {
    ASSERT_EQ(parse("1 + * 2, (3;"), NQ_STATUS_SYNTAX);
    EXPECT_EQ(messages().size(), 2u);
    // @MARK and @NUM for "1" ran before "*" was found wrong; nothing ran after it.
    ASSERT_EQ(s.seen.size(), 2u);
    EXPECT_EQ(s.seen[0].code, aMark);
    EXPECT_EQ(s.seen[1].code, aNum);
    EXPECT_EQ(utf8(s.seen[1].token), "1");
    EXPECT_EQ(s.next, s.input.toks.size()) << "the rest of the clause was still read";
}

TEST_F(EngineTest, AtMostTenErrorsAreReportedAndTheCutIsSaid) {
    std::string clause = "1";
    std::vector<size_t> stray;
    for (int i = 2; i <= 13; i++) {  // twelve tokens that can only be deleted
        clause += " + ";
        stray.push_back(clause.size());
        clause += "# " + std::to_string(i);
    }
    EXPECT_EQ(parse(clause), NQ_STATUS_SYNTAX);
    const std::vector<std::string> got = messages();
    ASSERT_EQ(got.size(), 11u);
    for (size_t i = 0; i < 10; i++)
        EXPECT_EQ(got[i], "syntax error at column " + std::to_string(stray[i] + 1) +
                              " near '#': " + kOperand + "; read as if '#' were deleted");
    EXPECT_EQ(got[10], "too many errors; the rest of the clause was not checked");

    // Ten errors exactly: nothing was left out, so nothing more is said.
    clause.resize(stray[10] - 3);
    EXPECT_EQ(parse(clause), NQ_STATUS_SYNTAX);
    EXPECT_EQ(messages().size(), 10u);
}

TEST_F(EngineTest, LookAheadTokensAreCopiesOfTheReusedRecord) {
    // The repair reads several tokens ahead through the one record the callback rewrites;
    // the tokens it keeps must still be the right ones afterwards.
    ASSERT_EQ(parse("1 + ) # 2 * ) 3"), NQ_STATUS_SYNTAX);
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              "syntax error at column 5 near ')': " + kOperand +
                                  "; read as if ')' and '#' were deleted",
                              "syntax error at column 13 near ')': " + kOperand +
                                  "; read as if ')' were deleted",
                          }));
}

TEST_F(EngineTest, DeepNestingIsRefusedCleanly) {
    const int depth = 100000;
    std::string clause(depth, '(');
    clause += "1" + std::string(depth, ')');
    EXPECT_EQ(parse(clause), NQ_STATUS_TOO_DEEP);
    const std::vector<std::string> got = messages();
    ASSERT_EQ(got.size(), 1u);
    const std::string head = "clause is nested too deeply at column ";
    ASSERT_EQ(got[0].rfind(head, 0), 0u) << got[0];
    const int column = std::stoi(got[0].substr(head.size()));
    EXPECT_GT(column, 500) << "hundreds of levels are allowed";
    EXPECT_LT(column, depth);
    EXPECT_EQ(got[0], head + std::to_string(column) + " near '('");
    EXPECT_LT(s.next, 5000u) << "the parse stops at the limit";

    // Nesting well inside the limit still works, and the engine is usable after a refusal.
    const int fine = 400;
    ASSERT_EQ(parse(std::string(fine, '(') + "1 + 1" + std::string(fine, ')')), 0);
    EXPECT_EQ(s.result, std::vector<double>{2});
}

}  // namespace
}  // namespace calc_test
