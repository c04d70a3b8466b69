// End-to-end tests of the command on hostile files and environments: tables that are not
// what they seem (empty names, NUL bytes, UTF-16, CR line ends, cells of megabytes),
// inputs and outputs that are no regular files or cannot be read or written, columns named
// like keywords, and clauses and tables of a size meant to find quadratic work and memory
// that grows with the rows. Each case has its message and status, and leaves no file behind.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli_run.h"
#include "temp_files.h"

namespace {

std::string folder_of(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

class Hostile : public ::testing::Test {
  protected:
    TempFiles files;
    // Every file a case writes lies in this folder; the cases check it holds nothing else.
    const std::string dir = folder_of(files.write("keep", "kept\n"));
};

// Tables the filter must refuse or read right. The filter writes to --output, so a refused
// table must leave no output file and no temporary one; a read table, the right rows.
TEST_F(Hostile, TablesThatAreNotWhatTheySeem) {
    const std::string ten_mb(10 << 20, 'x');
    struct Case {
        const char* what;
        std::string table;
        const char* clause;
        int status;
        std::string said;  // stderr after "zorv: error: F", or the output file
    } cases[] = {
        {"a header only", "a,b\n", "a > 0", 0, "a,b\n"},
        {"a header only, no line end", "a:num,b:char(2)", "b = 'x' OR a > 0", 0,
         "a:num,b:char(2)\n"},
        {"an empty name", "a,,b\n1,2,3\n", "a > 0", 2, ":1:3: empty column name in header cell 2"},
        {"a name repeated in another case, blanks around", "id,x, ID :num\n1,2,3\n", "x > 0", 2,
         ":1:6: duplicate column name 'ID' (column 1 is 'id')"},
        {"a 10 MB cell", "a,b\n1," + ten_mb + "\n", "a > 0", 2,
         ":2:3: cell longer than 8191 characters"},
        {"a 10 MB quoted cell", "a,b\n1,\"" + ten_mb + "\"\n", "a > 0", 2,
         ":2:3: cell longer than 8191 characters (is its closing quote missing?)"},
        {"a 10 MB name", "a," + ten_mb + "\n1,2\n", "a > 0", 2,
         ":1:3: cell longer than 8191 characters"},
        {"a NUL byte in a cell", std::string("a,b\n1,x\0y\n", 10), "a > 0", 2,
         ":2:4: NUL byte (is the table UTF-16 text, or not text at all?)"},
        {"a NUL byte in the header", std::string("a,b\0\n1,2\n", 9), "a > 0", 2,
         ":1:4: NUL byte (is the table UTF-16 text, or not text at all?)"},
        {"UTF-16",
         std::string("\xFF\xFE"
                     "a\0,\0b\0\n\0",
                     10),
         "a > 0", 2,
         ":1:1: the table is UTF-16 text (it begins with a UTF-16 byte-order mark); save it as "
         "UTF-8"},
        {"invalid UTF-8 in the header", "a,b\xC3(\n1,2\n", "a > 0", 2,
         ":1:4: invalid UTF-8 (a character begun by byte 0xC3 is broken)"},
        {"lines ended by CR alone", "a,b\r1,2\r3,4\r", "a > 0", 2,
         ":1:4: the header holds a CR that ends no line: lines must end in LF or CRLF, not in "
         "CR alone"},
        {"a quote still open at the end, many rows on", "a,b\n1,2\n3,\"4\n5,6\n7,8", "a > 0", 2,
         ":3:3: quoted cell has no closing quote"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string table = files.write("t.csv", c.table);
        const std::string out = dir + "/out.csv";
        const CliResult r = run_zorv({"filter", "--input", table, "--output", out, c.clause});
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, "");
        if (c.status == 0) {
            EXPECT_EQ(r.err, "");
            EXPECT_EQ(slurp(out), c.said);
            std::remove(out.c_str());
        } else {
            EXPECT_EQ(r.err, "zorv: error: " + table + c.said + "\n");
        }
        EXPECT_EQ(files_in(dir).size(), 2u) << "only the table and 'keep'";
        EXPECT_LT(r.seconds, 30.0);
    }
    // A header alone tells no column's kind: the message says how to give one.
    const std::string table = files.write("t.csv", "a,b\n");
    const CliResult r = run_zorv({"filter", "--input", table, "b = 'x'"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "zorv: error: '=' needs operands of one kind, but b is a numeric column (the table "
              "has no rows to show its kind; a header cell b:char makes it a character column) "
              "and 'x' is a character constant\n");
}

// A typed table on standard input streams: rows before a fault are written at once to
// standard output, but a file named by --output must not be left half written.
TEST_F(Hostile, AStreamedTableThatFailsLeavesNoOutputFile) {
    const std::string out = dir + "/out.csv";
    std::string text = "n:num,s:char(4)\n";
    for (int i = 0; i < 50000; ++i) text += std::to_string(i) + ",abcd\n";
    text += "7,\"open\n";
    const CliResult r = run_zorv({"filter", "--input", "-", "--output", out, "n >= 0"}, text);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zorv: error: <stdin>:50002:3: quoted cell has no closing quote\n");
    EXPECT_EQ(files_in(dir).size(), 1u);
}

TEST_F(Hostile, InputsThatCannotBeRead) {
    // A folder, named or on standard input.
    CliResult r = run_zorv({"filter", "--input", dir, "a > 0"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zorv: error: " + dir + ": cannot open: Is a directory\n");
    const CliResult piped = [&] {
        RunOptions folder;
        folder.stdin_path = "/";
        return run_zorv({"filter", "--input", "-", "a > 0"}, folder);
    }();
    EXPECT_EQ(piped.status, 2);
    EXPECT_EQ(piped.err, "zorv: error: <stdin>: cannot open: Is a directory\n");

    // A device of endless NUL bytes: refused at once, not read on for a line end.
    RunOptions watched;
    watched.measure_peak = true;
    r = run_zorv({"filter", "--input", "/dev/zero", "a > 0"}, watched);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "zorv: error: /dev/zero:1:1: NUL byte (is the table UTF-16 text, or not text at "
              "all?)\n");
    EXPECT_LT(r.seconds, 10.0);
    EXPECT_LT(r.peak_kb, 60 << 10) << "no reading on for a line end";

    // A file without read permission. Root reads it all the same, so as root the command
    // runs as nobody, who can reach the file (the folder is opened to all) but not read it.
    const std::string table = files.write("secret.csv", "a\n1\n");
    ASSERT_EQ(chmod(table.c_str(), 0), 0);
    ASSERT_EQ(chmod(dir.c_str(), 0755), 0);
    RunOptions how;
    how.as_nobody = geteuid() == 0;
    r = run_zorv({"filter", "--input", table, "a > 0"}, how);
    if (r.status == 126 || r.status == 127)
        GTEST_SKIP() << "running as root, and the command cannot be run as nobody (status "
                     << r.status << "): the unreadable file is not tried";
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zorv: error: " + table + ": cannot open: Permission denied\n");
}

// --output onto what is no regular file: written directly, never replaced; a folder is
// refused before the table is read.
TEST_F(Hostile, OutputsThatAreNoRegularFiles) {
    const std::string table = files.write("t.csv", "a,b\n1,2\n3,4\n");
    CliResult r = run_zorv({"filter", "--input", table, "--output", "/dev/full", "a > 0"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zorv: error: cannot write to /dev/full: No space left on device\n");
    struct stat st;
    ASSERT_EQ(stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << "/dev/full is still the device";
    for (const std::string& name : files_in("/dev"))
        EXPECT_EQ(name.find(".zorv-"), std::string::npos) << name;

    r = run_zorv({"filter", "--input", table, "--output", dir, "a > 0"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "zorv: error: cannot write to " + dir + ": Is a directory\n");

    // A FIFO: a reader gets the rows, and the FIFO stays one.
    const std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string got;
    std::thread reader([&] { got = slurp(fifo); });
    r = run_zorv({"filter", "--input", table, "--output", fifo, "a > 1"});
    reader.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(got, "a,b\n3,4\n");
    ASSERT_EQ(lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    std::remove(fifo.c_str());

    // Through a symbolic link the file it names is replaced; the link stays.
    const std::string target = files.write("target.csv", "old\n");
    const std::string link = dir + "/link.csv";
    ASSERT_EQ(symlink("target.csv", link.c_str()), 0);
    r = run_zorv({"filter", "--input", table, "--output", link, "a < 2"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(slurp(target), "a,b\n1,2\n");
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    std::remove(link.c_str());
    EXPECT_EQ(files_in(dir).size(), 3u) << "keep, t.csv and target.csv";
}

// explain (in each format) and columns into a pipe whose reader goes away: quiet, status 0,
// as the filter.
TEST_F(Hostile, AReaderThatGoesAwayEndsEveryCommandQuietly) {
    std::string list = "x IN (0";
    for (int i = 1; i < 20000; ++i) list += ", " + std::to_string(i);
    std::string header = "c0";
    for (int i = 1; i < 8000; ++i) header += ",c" + std::to_string(i);
    const std::string wide = files.write("wide.csv", header + "\n");
    RunOptions how;
    how.keep_out = 100;
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"explain", "--stage", "parsed", list + ")"},
          {"explain", "--format", "json", "--stage", "parsed", list + ")"},
          {"explain", "--format", "dot", "--stage", "parsed", list + ")"},
          {"columns", "--input", wide}}) {
        const CliResult r = run_zorv(args, how);
        EXPECT_EQ(r.status, 0) << args[0] << " " << args[2];
        EXPECT_EQ(r.err, "") << args[0] << " " << args[2];
    }
}

// Keywords read as names wherever a name can stand, so columns named like them need no
// quoting there; NOT is an operator where an operand begins, so a column of that name is
// written as a name literal, which any column may be.
TEST_F(Hostile, ColumnsNamedLikeKeywords) {
    const std::string table =
        files.write("kw.csv",
                    "AND,or,not,in,is,missing,null,between,contains,like,min,max,eq,put,l\n"
                    "1,2,3,4,5,6,7,8,abc,xy,11,12,13,14,15\n"
                    "2,3,4,5,.,7,8,9,bcd,yz,12,13,14,15,16\n");
    struct Case {
        const char* clause;
        const char* rows;  // --row-numbers
    } cases[] = {
        {"AND = 1", "1\n"},
        {"or = 3 OR in IN (4)", "1\n2\n"},
        {"is IS MISSING", "2\n"},
        {"missing = 6 AND null = 7", "1\n"},
        {"between BETWEEN and AND or + 10", "1\n2\n"},
        {"contains CONTAINS 'cd' AND like =: 'y'", "2\n"},
        {"min MIN max = 11 AND eq > put - 2", "1\n"},
        {"l > 15", "2\n"},
        {"'not'n = 4", "2\n"},
        {"NOT 'NOT'n = 0 AND 'in'n + 'Or'n > 6", "2\n"},
    };
    for (const Case& c : cases) {
        const CliResult r = run_zorv({"filter", "--row-numbers", "--input", table, c.clause});
        EXPECT_EQ(r.status, 0) << c.clause << "\n" << r.err;
        EXPECT_EQ(r.out, c.rows) << c.clause;
    }
    const CliResult r = run_zorv({"filter", "--input", table, "not = 3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err,
              "zorv: error: syntax error at column 5 near '=': expected a name, a constant, '(', "
              "'+', '-', 'INPUT' or 'PUT'; read as if an integer were inserted; a column named "
              "NOT is written as the name literal 'NOT'n\n");
}

// A table of ids 1 to 2000 and a city in four.
std::string ids_table() {
    std::string text = "id:num,city:char(40)\n";
    for (int i = 1; i <= 2000; ++i)
        text += std::to_string(i) + ",city number " + std::to_string(i % 4 == 0 ? i : 0) + "\n";
    return text;
}

// A clause of 10 MB: an OR of some 300,000 comparisons, of which those of even i > 0 match
// a city of the table. Answered right, in time linear in its length.
TEST_F(Hostile, ATenMegabyteOrChain) {
    const std::string table = files.write("ids.csv", ids_table());
    std::string clause;
    for (int i = 0; clause.size() < (10u << 20); ++i)
        clause += (i > 0 ? " OR city = 'city number " : "city = 'city number ") +
                  std::to_string(i % 2 == 0 && i > 0 ? i : i + 10000000) + "'";
    RunOptions how;
    how.input = clause;
    how.measure_peak = true;
    const CliResult r = run_zorv({"filter", "--count", "--input", table, "-"}, how);
    EXPECT_EQ(r.status, 0) << r.err.substr(0, 300);
    EXPECT_EQ(r.out, "500\n") << "every id divisible by 4";
    std::printf("[ measure  ] a 10 MB OR chain: %.1f s, %ld MB at most\n", r.seconds,
                r.peak_kb >> 10);
    EXPECT_LT(r.seconds, 120.0);
}

// An IN list of 1,000,000 values: the multiples of 3 below 3,000,000.
TEST_F(Hostile, AnInListOfAMillionValues) {
    const std::string table = files.write("ids.csv", ids_table());
    std::string clause = "id IN (0";
    for (int i = 1; i < 1000000; ++i) clause += "," + std::to_string(3 * i);
    clause += ")";
    RunOptions how;
    how.input = clause;
    how.measure_peak = true;
    const CliResult r = run_zorv({"filter", "--count", "--input", table, "-"}, how);
    EXPECT_EQ(r.status, 0) << r.err.substr(0, 300);
    EXPECT_EQ(r.out, "666\n");
    std::printf("[ measure  ] an IN list of 1,000,000 values: %.1f s, %ld MB at most\n", r.seconds,
                r.peak_kb >> 10);
    EXPECT_LT(r.seconds, 60.0);
}

// Rows made as they are sent, through standard input with a typed header: the filter keeps
// none of them, so its peak memory is the same for half a million rows as for a million.
TEST_F(Hostile, AMillionStreamedRowsInBoundedMemory) {
    auto rows = [](int64_t n) {
        RunOptions how;
        how.measure_peak = true;
        auto next = std::make_shared<int64_t>(-1);
        how.feed = [n, next](std::string* piece) {
            if (*next < 0) {
                *piece = "id:num,name:char(8),v:num\n";
                *next = 0;
                return true;
            }
            for (int k = 0; k < 10000 && *next < n; ++k, ++*next)
                *piece += std::to_string(*next) + ",n" + std::to_string(*next % 1000) + "," +
                          std::to_string(*next % 7) + "\n";
            return !piece->empty();
        };
        return run_zorv({"filter", "--threads", "2", "--count", "--input", "-",
                         "v = 3 AND name IN ('n5', 'n7')"},
                        how);
    };
    const CliResult half = rows(500000);
    const CliResult full = rows(1000000);
    // i % 7 == 3 and i % 1000 in {5, 7}: i % 7000 is one of two residues.
    EXPECT_EQ(half.status, 0) << half.err;
    EXPECT_EQ(full.status, 0) << full.err;
    EXPECT_EQ(half.out, "143\n");
    EXPECT_EQ(full.out, "286\n");
    std::printf(
        "[ measure  ] streamed rows: 500,000 in %.1f s, %ld KB; 1,000,000 in %.1f s, "
        "%ld KB at most\n",
        half.seconds, half.peak_kb, full.seconds, full.peak_kb);
    EXPECT_LT(full.peak_kb - half.peak_kb, 4096) << "memory grows with the rows";
    EXPECT_LT(full.peak_kb, 128 * 1024);
}

}  // namespace
