// End-to-end tests of the optimiser as `zorv explain` shows it: one clause per family of
// rewrites, bound to a table with numeric columns x and y and a character column s three
// characters wide, read back in the tests' tree notation.
#include <gtest/gtest.h>

#include <string>

#include "cli_run.h"
#include "drawing.h"
#include "temp_files.h"

namespace {

struct Case {
    const char* clause;
    const char* tree;
};

class Optimiser : public ::testing::Test {
  protected:
    TempFiles files;
    const std::string table = files.write("t.csv", "x,y,s:char(3)\n1,2,abc\n");

    void expect(const Case& c) {
        const CliResult r = run_zorv({"explain", "--input", table, "--", c.clause});
        EXPECT_EQ(r.status, 0) << c.clause << "\n" << r.err;
        EXPECT_EQ(read_drawing(lines_of(r.out)), c.tree) << c.clause;
    }
};

// One or two clauses per family; the transformer's own tests hold the rules in full.
TEST_F(Optimiser, EachFamilyOfRewritesShows) {
    for (const Case& c : {
             // Comparisons of one column merge under AND (5 > x turns round first) and OR.
             Case{"5 > x AND x > 1", "IN(NAME X,SET(RANN(LITN 1,LITN 5)))"},
             Case{"x <= 3 AND x ^= 3 AND y = 1", "LAND(CLT(NAME X,LITN 3),CEQ(NAME Y,LITN 1))"},
             Case{"x < 1 OR x >= 5", "NIN(NAME X,SET(RANL(LITN 1,LITN 5)))"},
             // Lists are sorted, merged with equalities and collapsed.
             Case{"x IN (9, 4, 9) OR x = 6", "IN(NAME X,SET(LITN 4,LITN 6,LITN 9))"},
             Case{"x NOT IN (5, 5)", "CNE(NAME X,LITN 5)"},
             // BETWEEN becomes a range.
             Case{"x NOT BETWEEN 3 AND 1", "NIN(NAME X,SET(RANB(LITN 1,LITN 3)))"},
             Case{"x BETWEEN 2 AND 2", "CEQ(NAME X,LITN 2)"},
             // Negations are pushed down and runs flattened.
             Case{"NOT (x = 1 OR y < 2)", "LAND(CNE(NAME X,LITN 1),CGE(NAME Y,LITN 2))"},
             Case{"x = 1 OR (y = 2 OR s = 'abc')",
                  "LOR(CEQ(NAME X,LITN 1),CEQ(NAME Y,LITN 2),CEQ(NAME S,LITC 'abc'))"},
             // Character constants narrow to the column's width.
             Case{"s = 'ABCD'", "LITN 0"},
             Case{"s < 'ABCD'", "CLE(NAME S,LITC 'ABC')"},
             Case{"s IN ('ABCD', 'XY  ')", "CEQ(NAME S,LITC 'XY ')"},
             // Constants are folded.
             Case{"x = 1 OR x ^= 1", "LITN 1"},
             Case{"-(-x) > 1 AND y = -(4)", "LAND(CGT(NAME X,LITN 1),CEQ(NAME Y,LITN -4))"},
             // Cheap operands come first.
             Case{"s = 'abc' OR x < 1", "LOR(CLT(NAME X,LITN 1),CEQ(NAME S,LITC 'abc'))"},
         })
        expect(c);
}

}  // namespace
