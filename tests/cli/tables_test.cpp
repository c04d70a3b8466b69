// End-to-end tests of the command over tables: clauses the resolver refuses, named by the
// operator at fault; unknown columns; refused tables; the column list; the two stages of
// explain; clauses that begin with '-'; and the depth bound.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli_run.h"
#include "drawing.h"
#include "temp_files.h"

namespace {

class Tables : public ::testing::Test {
  protected:
    TempFiles files;
    // x, y numeric; s and name character of 3; big typed as wide as a value may be.
    const std::string table =
        files.write("t.csv", "x,y,s,name,big:char(8191)\n1,2,abc,Ann,z\n-1,.A,de,Bo,\n");

    CliResult check(const std::string& clause) {
        return run_zorv({"check", "--input", table, "--", clause});
    }
};

TEST_F(Tables, EachResolverStatusIsNamedByItsOperator) {
    struct Case {
        const char* clause;
        const char* message;  // after "zorv: error: "
    } cases[] = {
        // 1: the call of a function
        {"lower(s) = 'a'", "unknown function 'LOWER' (UPCASE is the only one)"},
        {"upcase(s, name) = 'A'", "UPCASE takes 1 argument, not 2"},
        {"upcase(x) = 'A'", "UPCASE needs a character argument, but x is a numeric column"},
        // 2: colon forms of numbers
        {"x =: 1",
         "'=:' compares character values, but x is a numeric column; for numbers "
         "write '='"},
        {"y IN : (1, 2)",
         "'IN :' compares character values, but y is a numeric column; for "
         "numbers write 'IN'"},
        // 3: arithmetic on characters, as the first operand or a later one
        {"s + 1 > 0", "'+' needs numeric operands, but s is a character column"},
        {"x * 'ab' > 0", "'*' needs numeric operands, but 'ab' is a character constant"},
        {"-name < 1", "prefix '-' needs numeric operands, but name is a character column"},
        // 4: character operators on numbers
        {"x || s = 'a'", "'||' needs character operands, but x is a numeric column"},
        {"s CONTAINS 12", "'CONTAINS' needs character operands, but 12 is a number"},
        // 5: kinds mixed; in a chain, the comparison that mixes them
        {"x = s",
         "'=' needs operands of one kind, but x is a numeric column and s is a "
         "character column"},
        {"x < y <= name",
         "'<=' needs operands of one kind, but y is a numeric column and name is a character "
         "column"},
        {"(x = 1) MIN s > 0",
         "'MIN' needs operands of one kind, but the result of '=' is a "
         "number and s is a character column"},
        {"name NOT IN (1, 2)",
         "'NOT IN' needs operands of one kind, but name is a character "
         "column and the list holds numbers"},
        // 7: a value longer than a node can say
        {"big || big = 'a'",
         "'||' would make a value of 16382 characters; values hold at most "
         "8191"},
        // The first in the resolver's walk: children first, then left to right.
        {"(x || s) + 1 > 0", "'||' needs character operands, but x is a numeric column"},
        {"s + 1 > 0 OR x =: 1", "'+' needs numeric operands, but s is a character column"},
    };
    for (const Case& c : cases) {
        const CliResult r = check(c.clause);
        EXPECT_EQ(r.status, 1) << c.clause;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, std::string("zorv: error: ") + c.message + "\n") << c.clause;
    }
    // explain refuses the same clause the same way and draws nothing.
    const CliResult r = run_zorv({"explain", "--input", table, "s + 1 > 0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zorv: error: '+' needs numeric operands, but s is a character column\n");
}

TEST_F(Tables, UnknownColumnsAreNamedWithTheNearestAndTheTablesColumns) {
    const std::string columns = "zorv: note: " + table + " has the columns x, y, s, name, big\n";
    struct Case {
        const char* clause;
        std::string first;
    } cases[] = {
        {"nmae = 'Bo'", "zorv: error: unknown column 'NMAE'; did you mean 'name'?\n"},
        {"x = 1 AND bigg || s = 'a'", "zorv: error: unknown column 'BIGG'; did you mean 'big'?\n"},
        {"quantity > 1", "zorv: error: unknown column 'QUANTITY'\n"},
    };
    for (const Case& c : cases) {
        const CliResult r = check(c.clause);
        EXPECT_EQ(r.status, 1) << c.clause;
        EXPECT_EQ(r.err, c.first + columns) << c.clause;
    }
    // Names are matched without regard to case.
    EXPECT_EQ(check("X + Y > 1 AND NAME = 'Bo' AND Name ^= 'Ann'").status, 0);
}

TEST_F(Tables, RefusedTablesSayWhereWithStatus2) {
    struct Case {
        const char* name;
        const char* content;
        const char* message;  // after the path
    } cases[] = {
        {"short.csv", "a,b\n1,2\n3\n", ":3:2: row has 1 cell, the header has 2"},
        {"dup.csv", "a,A\n1,2\n", ":1:3: duplicate column name 'A' (column 1 is 'a')"},
        {"typed.csv", "a:num,b\nx1,2\n", ":2:1: cell 'x1' of numeric column 'a' is not a number"},
        {"empty.csv", "", ":1:1: no header row: the table is empty"},
        {"quote.csv", "a,b\n\"open,2\n", ":2:1: quoted cell has no closing quote"},
    };
    for (const Case& c : cases) {
        const std::string path = files.write(c.name, c.content);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"check", "--input", path, "a = 1"},
              {"columns", "--input", path}}) {
            const CliResult r = run_zorv(args);
            EXPECT_EQ(r.status, 2) << c.name;
            EXPECT_EQ(r.out, "");
            EXPECT_EQ(r.err, "zorv: error: " + path + c.message + "\n") << args[0];
        }
    }
    const CliResult r = run_zorv({"columns", "--input", "/no/such/table.csv"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zorv: error: /no/such/table.csv: cannot open: No such file or directory\n");
}

TEST_F(Tables, ColumnsListsNamesKindsAndWidths) {
    const std::string expected =
        "column  kind       width\n"
        "x       numeric        -\n"
        "s       character      3\n"
        "Größe   numeric        -\n";
    const std::string tsv = files.write("t.tsv", "x\ts\tGröße:num\n1\tabc\t2\n");
    const std::string semi = files.write("t.txt", "x;s;Größe:num\n1;abc;2\n");
    const std::string tab = files.write("tab.txt", "x\ts\tGröße:num\n1\tabc\t2\n");
    for (const std::vector<std::string>& args : {
             std::vector<std::string>{"columns", "--input", tsv},  // a tab for *.tsv
             {"columns", "--input", semi, "--delimiter", ";"},
             {"columns", "--input", tab, "--delimiter", "\\t"},
             {"columns", "--input", tab, "--delimiter", "\t"},
             {"columns", "--input", "-", "--delimiter", ";"},
         }) {
        const CliResult r = run_zorv(args, "x;s;Größe:num\n1;abc;2\n");
        EXPECT_EQ(r.status, 0) << args[2] << r.err;
        EXPECT_EQ(r.out, expected) << args[2];
    }
    for (const char* bad : {";;", "\"", ""}) {
        const CliResult r = run_zorv({"columns", "--input", semi, "--delimiter", bad});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("--delimiter takes one ASCII character"), std::string::npos) << r.err;
    }
    // Without --input: the bundled sample table.
    const CliResult r = run_zorv({"columns"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines_of(r.out).at(2), "name    character     10");
}

TEST_F(Tables, ExplainDrawsTheResolvedTreeUnlessAskedForTheParsedOne) {
    // Parsed: names unbound (value length 0), the chain one node; no table is read.
    CliResult r =
        run_zorv({"explain", "--stage", "parsed", "--input", "/no/such.csv", "x < y <= upcase(s)"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_drawing(lines_of(r.out)), "CLT(NAME X,NAME Y,CLE(FLST(FNAM UPCASE,NAME S)))");
    EXPECT_EQ(lines_of(r.out).front().substr(0, 5), "   0 ");

    // Resolved (the default): bound, typed and split; UPCASE of a column bound as a call.
    r = run_zorv({"explain", "--input", table, "s =: 'ab' AND upcase(name) = 'ANN'"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines)
        if (line.find("NAME---(") != std::string::npos) {
            EXPECT_EQ(line.substr(0, 5), "  12 ") << line;
        }
    EXPECT_NE(r.out.find("CTEQ"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("-FUNC---(UPCASE"), std::string::npos) << r.out;
}

TEST_F(Tables, ClausesThatBeginWithMinus) {
    // After '--' they reach the parser.
    CliResult r = run_zorv({"check", "--input", table, "--", "-x < 3"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = run_zorv({"explain", "--stage", "parsed", "--", "-.A IN (1)"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_drawing(lines_of(r.out)), "IN(ANEG(LITN .),SET(LITN 1))");

    // Before it they read as options: the message says how to pass them.
    struct Case {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"explain", "-x < 3"},
         "zorv: error: unknown option '-x < 3'; a clause that begins with '-' goes after '--': "
         "zorv explain -- \"-x < 3\"\n"},
        {{"check", "--input", table, "-.A IN (1)"},
         "zorv: error: unknown option '-.A IN (1)'; a clause that begins with '-' goes after "
         "'--': zorv check -- \"-.A IN (1)\"\n"},
        {{"check"},
         "zorv: error: clause is required\nzorv: note: a clause that begins with '-' goes after "
         "'--': zorv check -- \"-x < 3\"\n"},
        {{"explain", "--frob", "x"}, "zorv: error: unknown option '--frob'\n"},
    };
    for (const Case& c : cases) {
        r = run_zorv(c.args);
        EXPECT_EQ(r.status, 2) << c.args[1];
        EXPECT_EQ(r.err, c.message + std::string("Run 'zorv --help' for usage.\n"));
    }
}

TEST_F(Tables, StandardInputServesTheClauseOrTheTable) {
    CliResult r = run_zorv({"check", "--input", "-", "a > 1"}, "a,b\n1,2\n");
    EXPECT_EQ(r.status, 0) << r.err;
    // Every subcommand refuses a shared standard input before reading any of it.
    for (const char* command : {"check", "explain", "filter"}) {
        r = run_zorv({command, "--input", "-", "-"}, "a > 1");
        EXPECT_EQ(r.status, 2) << command;
        EXPECT_EQ(r.out, "") << command;
        EXPECT_EQ(r.err,
                  "zorv: error: the clause and the table cannot both come from standard input\n")
            << command;
    }
}

TEST_F(Tables, TooDeepAClauseIsRefusedWithTheLibrarysMessage) {
    std::string clause = "1";
    for (int i = 1; i < 10000; ++i) clause += "+1";
    for (const char* command : {"check", "explain"}) {
        const CliResult r = run_zorv({command, "--input", table, "-"}, clause + " > x");
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "zorv: error: clause nested too deeply: more than 4000 levels\n");
    }
}

}  // namespace
