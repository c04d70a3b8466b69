// End-to-end tests of constants at the edges of what the library can hold: integers past
// 32 bits keep their value, numbers past a double and strings past 8191 characters are
// refused with a message instead of coming out wrapped, cut or missing.
#include <gtest/gtest.h>

#include <string>

#include "cli_run.h"
#include "drawing.h"

namespace {

TEST(Constants, IntegersPast32BitsKeepTheirValue) {
    struct Case {
        std::string clause;
        const char* tree;
    } cases[] = {
        {"x = 2147483648", "CEQ(NAME X,LITN 2.14748e+09)"},
        {"x = 4294967297", "CEQ(NAME X,LITN 4.29497e+09)"},
        {"x = -2147483648", "CEQ(NAME X,ANEG(LITN 2.14748e+09))"},
        {"x = 000000000000000000000000000000000000007", "CEQ(NAME X,LITN 7)"},
        {"x = 1" + std::string(300, '0'), "CEQ(NAME X,LITN 1e+300)"},
    };
    for (const Case& c : cases) {
        CliResult r = run_zorv({"explain", "--stage", "parsed", c.clause});
        EXPECT_EQ(r.status, 0) << c.clause << "\n" << r.err;
        EXPECT_EQ(read_drawing(lines_of(r.out)), c.tree) << c.clause;
    }
}

TEST(Constants, ValuesTheLibraryCannotHoldAreErrorsOfTheClause) {
    struct Case {
        std::string clause;
        std::string message;
    } cases[] = {
        {"x = 1" + std::string(400, '0'), "zorv: error: number too large at column 5 near '1" +
                                              std::string(31, '0') +
                                              "': numbers are limited to about 1.8e308\n"},
        {"x > 2e308",
         "zorv: error: number too large at column 5 near '2e308': numbers are "
         "limited to about 1.8e308\n"},
        {"s = '" + std::string(16385, 'a') + "'",
         "zorv: error: string constant too long at column 5 near ''" + std::string(31, 'a') +
             "': string constants are limited to 8191 characters\n"},
    };
    for (const Case& c : cases) {
        for (const char* command : {"check", "explain"}) {
            CliResult r = run_zorv({command, c.clause});
            EXPECT_EQ(r.status, 1) << command << " " << c.clause.substr(0, 20);
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, c.message);
        }
    }
}

TEST(Constants, StringsUpTo8191CharactersAreKeptWhole) {
    // A doubled quote counts once: 8190 letters and one quote make the longest value.
    CliResult r =
        run_zorv({"explain", "--stage", "parsed", "-"}, "s = '" + std::string(8190, 'a') + "'''");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[2].substr(0, 6), "32764 ") << "4 bytes for each of 8191 characters";

    // A megabyte of string on standard input is refused, not wrapped to nothing.
    r = run_zorv({"check", "-"}, "s = '" + std::string(1 << 20, 'a') + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("string constant too long at column 5"), std::string::npos) << r.err;
}

}  // namespace
