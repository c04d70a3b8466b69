// End-to-end tests of the zorv command: the trees `explain` draws, read back in the tests' tree
// notation, the messages and statuses of `check`, the traces, standard input, the usage
// errors, and robustness on arbitrary bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "cli_run.h"
#include "drawing.h"

namespace {

std::string explain_tree(const std::string& clause) {
    CliResult r = run_zorv({"explain", "--stage", "parsed", "--", clause});
    EXPECT_EQ(r.status, 0) << clause << "\n" << r.err;
    EXPECT_EQ(r.err, "") << clause;
    return read_drawing(lines_of(r.out));
}

struct TreeCase {
    const char* clause;
    const char* tree;
};

void expect_trees(const std::vector<TreeCase>& cases) {
    for (const TreeCase& c : cases) EXPECT_EQ(explain_tree(c.clause), c.tree) << c.clause;
}

TEST(ExplainCommand, DrawsTheTreeInThePrintersFormat) {
    CliResult r = run_zorv({"explain", "--stage", "parsed", "x = 1 AND y > 'ab'"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> expected = {
        "   0                      /-NAME---(X)",
        "   0            /-CEQ----|",
        "  -8           |          \\-LITN---(1)",
        "   0  --LAND---|",
        "   0           |          /-NAME---(Y)",
        "   0            \\-CGT----|",
        "   8                      \\-LITC---('ab' 6100000062000000)",
    };
    EXPECT_EQ(lines_of(r.out), expected);
    EXPECT_EQ(r.err, "");
}

// The drawings read back as the trees the parser builds; parse_test.cpp holds the
// language's clauses and their precedence in full, these cover each kind of line the
// drawing has: operators, chains, lists, negated predicates, numbers, strings, calls and
// the bare leaves.
TEST(ExplainCommand, DrawingsReadBackAsTheParsedTrees) {
    expect_trees({
        {"a OR b AND c", "LOR(NAME A,LAND(NAME B,NAME C))"},
        {"a < b <= c > d", "CLT(NAME A,NAME B,CLE(NAME C),CGT(NAME D))"},
        {"a IN (-1, 2)", "IN(NAME A,SET(ANEG(LITN 1),LITN 2))"},
        {"a IS NOT NULL", "NTNL(NAME A)"},
        {"a =: 'x'", "CTEQ(NAME A,LITC 'x')"},
        {"a = .", "CEQ(NAME A,LITN .)"},
        {"a = 1.5", "CEQ(NAME A,LITN 1.5)"},
        {"d = '01jan2020'd", "CEQ(NAME D,LITN 0)"},
        {"s = 'it''s'", "CEQ(NAME S,LITC 'it's')"},
        {"upcase(name) = 'X'", "CEQ(FLST(FNAM UPCASE,NAME NAME),LITC 'X')"},
        {"f()", "FLST(FNAM F)"},
        {"UNDO", "UNDO"},
        {"SAME AND x = 1", "SAME(CEQ(NAME X,LITN 1))"},
    });
    // Nothing to parse: the printer's line for an empty tree.
    for (const char* blank : {"", "     "}) {
        CliResult r = run_zorv({"explain", blank});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, "   0  --empty-\n");
    }
}

// `explain --and` shows the tree filter evaluates: the clauses bound one by one, joined under
// AND and optimised together, which is the tree of the one clause "(A) AND (B)". Only the
// joining AND differs: it is made after the binding, which gives the other nodes their value
// lengths, and carries none.
TEST(ExplainCommand, AndJoinsTheClausesAsFilterDoes) {
    const std::pair<std::string, std::string> pairs[] = {
        {"qty > 1", "qty < 9"},
        {"city = 'Oslo' OR price > 3", "NOT (qty IN (1, 2, 3))"},
        {"upcase(name) =: 'A'", "note || city contains 'x'"},
        {"price BETWEEN 1 AND 5", "price > 2 AND qty IS MISSING"},
    };
    for (const auto& [a, b] : pairs) {
        const CliResult joined = run_zorv({"explain", "--format", "json", "--and", b, a});
        const CliResult one =
            run_zorv({"explain", "--format", "json", "(" + a + ") AND (" + b + ")"});
        ASSERT_EQ(joined.status, 0) << joined.err;
        ASSERT_EQ(one.status, 0) << one.err;
        std::string tree = joined.out;
        const std::string root = R"({"type":"LAND","code":221,"vlen":)";
        if (tree.rfind(root + "0,", 0) == 0) tree.replace(root.size(), 1, "-8");
        EXPECT_EQ(tree, one.out) << a << " / " << b;
    }
    // Two comparisons of one column become one range: no AND is left to differ.
    const CliResult range =
        run_zorv({"explain", "--format", "json", "--and", "qty < 9", "qty > 1"});
    EXPECT_EQ(range.out.find("LAND"), std::string::npos) << range.out;

    // The first clause that fails is told, with filter's words and statuses.
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* said;
    } cases[] = {
        {{"explain", "--and", "qtyy < 3", "qty > 1"},
         1,
         "unknown column 'QTYY'; did you mean 'qty'?"},
        {{"explain", "--and", "qty <", "qty > 1"}, 1, "syntax error at column 6"},
        {{"explain", "--stage", "parsed", "--and", "x", "y"}, 2, "give --stage resolved"},
        {{"explain", "--and", "-", "--input", "-", "x > 1"},
         2,
         "only one of the clause, the --and clauses and the table can come from standard input"},
    };
    for (const Case& c : cases) {
        const CliResult r = run_zorv(c.args);
        EXPECT_EQ(r.status, c.status) << c.said;
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    }
}

TEST(CheckCommand, AcceptsWellFormedClausesSilently) {
    for (const char* clause :
         {"qty > 1", "qty > 1;", "city IN ('x', 'y') OR qty BETWEEN 1 AND 2"}) {
        CliResult r = run_zorv({"check", clause});
        EXPECT_EQ(r.status, 0) << clause << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
    }
}

TEST(CheckCommand, ReportsWhereAClauseIsWrong) {
    struct Case {
        const char* clause;
        const char* message;  // start of the first line on standard error
    } cases[] = {
        // One of each kind; the engine's and the tokenizer's tests hold every wording.
        {"x = )", "zorv: error: syntax error at column 5 near ')': expected a name"},
        {"(x = 1", "zorv: error: syntax error at column 7 near end of clause: expected "},
        {"x = 'abc", "zorv: error: unterminated string at column 5"},
        {"x = 1 # 2", "zorv: error: unexpected character '#' at column 7"},
        {"x = 12abc", "zorv: error: malformed number at column 5"},
    };
    for (const Case& c : cases) {
        CliResult r = run_zorv({"check", c.clause});
        EXPECT_EQ(r.status, 1) << c.clause;
        EXPECT_EQ(r.out, "") << c.clause;
        EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << c.clause << "\n" << r.err;
    }
}

TEST(CheckCommand, RefusesFormatCallsAsInvalidConstants) {
    CliResult r = run_zorv({"check", "put(a, 8.) > 1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("invalid name or constant"), std::string::npos) << r.err;
}

TEST(Command, ReadsTheClauseFromStandardInput) {
    CliResult r = run_zorv({"explain", "--stage", "parsed", "-"}, "a < b <= c\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_drawing(lines_of(r.out)), "CLT(NAME A,NAME B,CLE(NAME C))");
}

TEST(Command, TracesGoToStandardError) {
    CliResult r = run_zorv({"check", "--trace", "tokens", "qty = 1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("tok: type 36 \"=\""), std::string::npos) << r.err;

    r = run_zorv({"--trace", "actions", "check", "qty = 1"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("sem: @INIT"), std::string::npos) << r.err;
}

TEST(Command, VersionHelpAndUsageErrors) {
    CliResult r = run_zorv({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "zorv 1.0.3\n");

    r = run_zorv({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* word : {"explain", "check", "--trace", "Examples"})
        EXPECT_NE(r.out.find(word), std::string::npos) << word;

    struct Case {
        std::vector<std::string> args;
        const char* hint;
    } cases[] = {
        {{"frobnicate"}, "frobnicate"},
        {{"explain"}, "clause"},
        {{"explain", "--stage", "cooked", "x"}, "cooked"},
        {{"--trace", "everything", "check", "x"}, "everything"},
        {{"explain", "x = '\xff'"}, "not valid UTF-8"},
    };
    for (const Case& c : cases) {
        r = run_zorv(c.args);
        EXPECT_EQ(r.status, 2) << c.hint;
        EXPECT_EQ(r.err.rfind("zorv: error: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.hint), std::string::npos) << r.err;
    }
}

TEST(Command, NeverCrashesOnArbitraryInput) {
    std::mt19937 rng(20261205);
    const std::string alphabet = "abcXYZ019 .,;:'\"()=<>^~!|&*+-/?$_#";
    for (int i = 0; i < 40; ++i) {
        std::string clause;
        const int len = static_cast<int>(rng() % 40);
        for (int k = 0; k < len; ++k) {
            // Mostly language characters, some raw bytes.
            clause += (rng() % 8 == 0) ? static_cast<char>(rng() % 256)
                                       : alphabet[rng() % alphabet.size()];
        }
        CliResult r = run_zorv({"check", "-"}, clause);
        EXPECT_TRUE(r.status == 0 || r.status == 1 || r.status == 2)
            << "status " << r.status << " for " << clause << "\n"
            << r.err;
        if (r.status != 0) {
            EXPECT_EQ(r.err.rfind("zorv: error: ", 0), 0u) << clause << "\n" << r.err;
        }
    }
}

}  // namespace
