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

TEST_F(Optimiser, ComparisonsOfOneColumnMergeUnderAnd) {
    for (const Case& c : {
             Case{"x > 1 AND x <= 5", "IN(NAME X,SET(RANH(LITN 1,LITN 5)))"},
             // 5 > x turns round to x < 5 first.
             Case{"5 > x AND x > 1", "IN(NAME X,SET(RANN(LITN 1,LITN 5)))"},
             Case{"x = 1 AND x = 2", "LITN 0"},
             Case{"x <= 3 AND x ^= 3 AND y = 1", "LAND(CLT(NAME X,LITN 3),CEQ(NAME Y,LITN 1))"},
         })
        expect(c);
}

TEST_F(Optimiser, ComparisonsOfOneColumnMergeUnderOr) {
    for (const Case& c : {
             Case{"x = 1 OR x = 2", "IN(NAME X,SET(LITN 1,LITN 2))"},
             Case{"x < 1 OR x >= 5", "NIN(NAME X,SET(RANL(LITN 1,LITN 5)))"},
             Case{"x < 3 OR x = 3", "CLE(NAME X,LITN 3)"},
         })
        expect(c);
}

TEST_F(Optimiser, ListsAreSortedMergedAndCollapsed) {
    for (const Case& c : {
             Case{"x IN (3, 1, 2, 1)", "IN(NAME X,SET(LITN 1,LITN 2,LITN 3))"},
             Case{"x IN (5)", "CEQ(NAME X,LITN 5)"},
             Case{"x NOT IN (5, 5)", "CNE(NAME X,LITN 5)"},
             // A list joined with an equality, then sorted.
             Case{"x IN (9, 4) OR x = 6", "IN(NAME X,SET(LITN 4,LITN 6,LITN 9))"},
         })
        expect(c);
}

TEST_F(Optimiser, BetweenBecomesARange) {
    for (const Case& c : {
             Case{"x BETWEEN 5 AND 1", "IN(NAME X,SET(RANB(LITN 1,LITN 5)))"},
             Case{"x NOT BETWEEN 1 AND 3", "NIN(NAME X,SET(RANB(LITN 1,LITN 3)))"},
             Case{"x BETWEEN 2 AND 2", "CEQ(NAME X,LITN 2)"},
         })
        expect(c);
}

TEST_F(Optimiser, NegationsArePushedDownAndRunsFlattened) {
    for (const Case& c : {
             Case{"NOT (x = 1 OR y < 2)", "LAND(CNE(NAME X,LITN 1),CGE(NAME Y,LITN 2))"},
             Case{"NOT (x IN (1, 2))", "NIN(NAME X,SET(LITN 1,LITN 2))"},
             Case{"(x = 1 AND y = 2) AND s = 'abc'",
                  "LAND(CEQ(NAME X,LITN 1),CEQ(NAME Y,LITN 2),CEQ(NAME S,LITC 'abc'))"},
             Case{"x = 1 OR (y = 2 OR s = 'abc')",
                  "LOR(CEQ(NAME X,LITN 1),CEQ(NAME Y,LITN 2),CEQ(NAME S,LITC 'abc'))"},
         })
        expect(c);
}

TEST_F(Optimiser, CharacterConstantsNarrowToTheColumnsWidth) {
    for (const Case& c : {
             Case{"s = 'ABCD'", "LITN 0"},
             Case{"s ^= 'ABCD'", "LITN 1"},
             Case{"s < 'ABCD'", "CLE(NAME S,LITC 'ABC')"},
             Case{"s = 'AB    '", "CEQ(NAME S,LITC 'AB ')"},
             Case{"s IN ('ABCD', 'XY  ')", "CEQ(NAME S,LITC 'XY ')"},
         })
        expect(c);
}

TEST_F(Optimiser, ConstantsAreFolded) {
    for (const Case& c : {
             Case{"x = 1 OR x ^= 1", "LITN 1"},
             Case{"x > 1 AND 0", "LITN 0"},
             Case{"x > 1 AND 1", "CGT(NAME X,LITN 1)"},
             Case{"-(-x) > 1 AND y = -(4)", "LAND(CGT(NAME X,LITN 1),CEQ(NAME Y,LITN -4))"},
         })
        expect(c);
}

TEST_F(Optimiser, CheapOperandsComeFirst) {
    for (const Case& c : {
             Case{"x IN (1, 2, 3, 4, 5, 6, 7, 8, 9, 10) AND y = 1",
                  "LAND(CEQ(NAME Y,LITN 1),IN(NAME X,SET(LITN 1,LITN 2,LITN 3,LITN 4,LITN 5,LITN "
                  "6,LITN 7,LITN 8,LITN 9,LITN 10)))"},
             Case{"s = 'abc' OR x < 1", "LOR(CLT(NAME X,LITN 1),CEQ(NAME S,LITC 'abc'))"},
         })
        expect(c);
}

}  // namespace
