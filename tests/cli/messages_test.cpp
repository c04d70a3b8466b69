// End-to-end tests of what `check` tells a user about a wrong clause: operators named as
// they are written, a hint where another language's habit misleads, the limit on names,
// and a last word when the error limit cut the checking short.
#include <gtest/gtest.h>

#include <string>

#include "cli_run.h"

namespace {

CliResult check(const std::string& clause) {
    CliResult r = run_zorv({"check", clause});
    EXPECT_EQ(r.status, 1) << clause;
    EXPECT_EQ(r.out, "") << clause;
    return r;
}

bool says(const CliResult& r, const std::string& text) {
    return r.err.find(text) != std::string::npos;
}

TEST(Messages, ExpectedListsNameMinAndMaxAsWritten) {
    CliResult r = check("x = 1 2");
    EXPECT_TRUE(says(r, "'LT', 'MAX', 'MIN', 'NE'")) << r.err;
    EXPECT_FALSE(says(r, "$")) << r.err;
}

TEST(Messages, ExclamationEqualsIsExplained) {
    const std::string hint = "'!' means OR in this language; for 'not equal' write '^=' or '<>'";
    for (const char* clause : {"x != 1", "a = 1 AND b!=2"}) {
        CliResult r = check(clause);
        EXPECT_EQ(lines_of(r.err).size(), 1u) << r.err;
        EXPECT_TRUE(says(r, "near '=': ")) << r.err;
        EXPECT_TRUE(says(r, hint)) << r.err;
    }
    // '!' used as OR, and a '=' that is wrong for another reason, get no hint.
    for (const char* clause : {"x ! y", "x ! = 1", "x = = 1"}) {
        CliResult r = run_zorv({"check", clause});
        EXPECT_FALSE(says(r, "means OR")) << clause << "\n" << r.err;
    }
}

TEST(Messages, NamesPastTheirLimitSayWhatTheLimitIs) {
    CliResult r = check(std::string(33, 'c') + " > 1");
    EXPECT_EQ(r.err, "zorv: error: name too long at column 1 near '" + std::string(33, 'c') +
                         "': names are limited to 32 characters\n");
    r = check("'" + std::string(33, 'c') + "'n > 1");
    EXPECT_TRUE(says(r, "name too long at column 1")) << r.err;
    // 17 two-byte letters: 34 bytes, which the library would cut to 16 letters.
    std::string wide;
    for (int i = 0; i < 17; ++i) wide += "\xC3\xA9";
    r = check("f(" + wide + ") > 1");
    EXPECT_TRUE(says(r, "name too long at column 3")) << r.err;
    EXPECT_TRUE(says(r, "names are limited to 32 bytes in UTF-8")) << r.err;

    EXPECT_EQ(run_zorv({"explain", "--stage", "parsed", std::string(32, 'c') + " > 1"}).status, 0);
}

TEST(Messages, TheErrorLimitIsSaid) {
    std::string clause = "x = 1";
    for (int i = 0; i < 12; ++i) clause += " 1 x";
    CliResult r = check(clause);
    const std::vector<std::string> lines = lines_of(r.err);
    ASSERT_EQ(lines.size(), 11u) << r.err;
    EXPECT_EQ(lines[10], "zorv: error: too many errors; the rest of the clause was not checked");
}

}  // namespace
