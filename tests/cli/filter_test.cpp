// End-to-end tests of `zorv filter`: the rows selected come out byte for byte as the table
// holds them, in order whatever the threads; --count, --row-numbers and --and; standard
// input; every refusal with its place and status; --output replaced only on success; a
// full disk is an error and a reader that goes away is not.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_run.h"
#include "temp_files.h"

extern char** environ;

namespace {

// A table of some megabytes: several blocks of rows, with quoted cells over two lines.
std::string big_table() {
    std::string csv = "id,city,qty,note\n";
    const char* cities[] = {"Oslo", "Cork", "Basel", "Lyon"};
    for (int i = 1; i <= 40000; ++i) {
        csv += std::to_string(i) + "," + cities[i % 4] + "," + std::to_string(i % 37) + ",";
        csv += i % 9 == 0 ? "\"two\nlines, " + std::to_string(i) + "\"\n"
                          : "note " + std::to_string(i) + "\n";
    }
    return csv;
}

class Filter : public ::testing::Test {
  protected:
    TempFiles files;
    const std::string sample = std::string(ZORV_SOURCE_DIR) + "/data/sample.csv";
};

TEST_F(Filter, TheSampleTableByDefault) {
    const std::string text = slurp(sample);
    const std::vector<std::string> lines = lines_of(text);
    // Every row selected: the table itself, byte for byte.
    CliResult r = run_zorv({"filter", "id > 0"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, text);
    EXPECT_EQ(r.err, "");
    r = run_zorv({"filter", "id IN (122, 3, 41) OR id > 1000"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, lines[0] + "\n" + lines[3] + "\n" + lines[41] + "\n" + lines[122] + "\n");
    r = run_zorv({"filter", "--count", "id > 150"});
    EXPECT_EQ(r.out, "50\n");
    r = run_zorv({"filter", "--row-numbers", "id BETWEEN 10 AND 12 OR id = 200"});
    EXPECT_EQ(r.out, "10\n11\n12\n200\n");
}

TEST_F(Filter, RowsComeOutAsTheTableHoldsThem) {
    struct Case {
        const char* name;
        std::string table;
        const char* clause;
        std::string out;
    } cases[] = {
        // Byte-order mark dropped; CRLF kept; quoted cells as written, line breaks inside
        // included; a quote inside an unquoted cell gets the quoting CSV needs.
        {"t.csv",
         "\xEF\xBB\xBFid,note,city\r\n1,\"a, b\",Oslo\r\n2,x,Cork\r\n3,\"two\r\nlines \"\"q\"\"\","
         "Oslo\r\n\r\n4,5'11\",Oslo",
         "city = 'Oslo'",
         "id,note,city\r\n1,\"a, b\",Oslo\r\n3,\"two\r\nlines \"\"q\"\"\",Oslo\r\n"
         "4,\"5'11\"\"\",Oslo\r\n"},
        // TSV in, TSV out: the table's delimiter, so a comma needs no quotes.
        {"t.tsv", "id\tnote:char\n1\ta,b\n2\tc\n", "note CONTAINS ','", "id\tnote:char\n1\ta,b\n"},
        // Nothing selected: the header alone.
        {"u.csv", "a,b\n1,2\n", "a > 5", "a,b\n"},
    };
    for (const Case& c : cases) {
        const std::string path = files.write(c.name, c.table);
        const CliResult r = run_zorv({"filter", "--input", path, c.clause});
        EXPECT_EQ(r.status, 0) << c.name << r.err;
        EXPECT_EQ(r.out, c.out) << c.name;
    }
}

TEST_F(Filter, StandardInputStreamsATypedTable) {
    const std::string typed = "n:num,s:char(3)\n1,a\n2,b\n3,c\n";
    // A typed header needs no copy of the input: no temporary folder is even needed.
    const char* saved = std::getenv("TMPDIR");
    const std::string tmpdir = saved != nullptr ? saved : "";
    setenv("TMPDIR", "/nonexistent/zorv", 1);
    const CliResult streamed = run_zorv({"filter", "--input", "-", "n >= 2"}, typed);
    const CliResult copied = run_zorv({"filter", "--input", "-", "n >= 2"}, "n,s\n1,a\n2,b\n");
    if (saved != nullptr)
        setenv("TMPDIR", tmpdir.c_str(), 1);
    else
        unsetenv("TMPDIR");
    EXPECT_EQ(streamed.status, 0) << streamed.err;
    EXPECT_EQ(streamed.out, "n:num,s:char(3)\n2,b\n3,c\n");
    EXPECT_EQ(copied.status, 2);
    EXPECT_NE(copied.err.find("cannot make a temporary copy"), std::string::npos) << copied.err;
    // With a place for the copy, an untyped table on standard input works as well.
    const CliResult r = run_zorv({"filter", "--input", "-", "n >= 2"}, "n,s\n1,a\n2,b\n");
    EXPECT_EQ(r.out, "n,s\n2,b\n") << r.err;
}

TEST_F(Filter, ThreadsCountAndNumbersAgree) {
    const std::string path = files.write("big.csv", big_table());
    const std::string clause = "qty BETWEEN 3 AND 9 AND city IN ('Oslo', 'Lyon')";
    const CliResult one = run_zorv({"filter", "--threads", "1", "--input", path, clause});
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_NE(one.out.find("\"two\nlines, "), std::string::npos);
    const CliResult three = run_zorv({"filter", "--threads", "3", "--input", path, clause});
    EXPECT_EQ(three.out, one.out);
    // The rows selected, counted and numbered (the id is the row's number).
    const CliResult count =
        run_zorv({"filter", "--threads", "3", "--count", "--input", path, clause});
    const CliResult numbers =
        run_zorv({"filter", "--threads", "2", "--row-numbers", "--input", path, clause});
    const std::vector<std::string> picked = lines_of(numbers.out);
    EXPECT_GT(picked.size(), 3000u);
    EXPECT_EQ(count.out, std::to_string(picked.size()) + "\n");
    size_t lines = 1;  // the header
    for (const std::string& n : picked) {
        const int id = std::stoi(n);
        EXPECT_TRUE(id % 37 >= 3 && id % 37 <= 9 && (id % 4 == 0 || id % 4 == 3)) << id;
        lines += id % 9 == 0 ? 2 : 1;  // a note over two lines
    }
    EXPECT_EQ(lines_of(one.out).size(), lines);
}

TEST_F(Filter, AndClausesJoinTheClause) {
    const std::string path =
        files.write("t.csv",
                    "name,city,note\nAnn,Oslo,rush\nBo,oslo,a long note that makes a long text\n"
                    "Cy,Cork,x\nDag,OSLO,\n");
    // Each --and is bound on its own; the work area of its long values (UPCASE, ||) must
    // still be there when the joined clause is evaluated.
    const std::string also =
        "name || note = 'Bo a long note that makes a long text' OR note IS NULL";
    const CliResult joined = run_zorv({"filter", "--input", path, "--and", "UPCASE(city) = 'OSLO'",
                                       "--and", also, "name ^= 'Ann'"});
    const CliResult one = run_zorv(
        {"filter", "--input", path, "name ^= 'Ann' AND UPCASE(city) = 'OSLO' AND (" + also + ")"});
    EXPECT_EQ(joined.status, 0) << joined.err;
    EXPECT_EQ(joined.out,
              "name,city,note\nBo,oslo,a long note that makes a long text\nDag,OSLO,\n");
    EXPECT_EQ(joined.out, one.out);
    // An --and clause is checked as the clause is.
    const CliResult r =
        run_zorv({"filter", "--input", path, "--and", "ctiy = 'Oslo'", "name = 'Bo'"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zorv: error: unknown column 'CTIY'; did you mean 'city'?\nzorv: note: " +
                         path + " has the columns name, city, note\n");
}

TEST_F(Filter, RefusalsSayWhatAndWhere) {
    struct Case {
        const char* table;  // null: no file
        std::vector<std::string> args;
        int status;
        std::string err;  // {} stands for the table's path
    } cases[] = {
        {"a,b\n1,2\n3\n", {"a > 0"}, 2, "zorv: error: {}:3:2: row has 1 cell, the header has 2\n"},
        {"a:num,b\n1,2\nx,3\n",
         {"b > 0"},
         2,
         "zorv: error: {}:3:1: cell 'x' of numeric column 'a' is not a number\n"},
        {"a,b\n1,\xFF\n", {"a > 0"}, 2, "zorv: error: {}:2:3: invalid UTF-8 (byte 0xFF)\n"},
        {"a,name\n1,x\n",
         {"nmae = 'x'"},
         1,
         "zorv: error: unknown column 'NMAE'; did you mean 'name'?\nzorv: note: {} has the "
         "columns a, name\n"},
        {"a,b\n1,2\n",
         {"--count", "--row-numbers", "a > 0"},
         2,
         "zorv: error: --count and --row-numbers exclude each other: give one\n"},
        {nullptr, {"a > 0"}, 2, "zorv: error: {}: cannot open: No such file or directory\n"},
    };
    for (const Case& c : cases) {
        const std::string path =
            c.table != nullptr ? files.write("bad.csv", c.table) : "/no/such/table.csv";
        std::vector<std::string> args = {"filter", "--input", path};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliResult r = run_zorv(args);
        std::string err = c.err;
        for (size_t at; (at = err.find("{}")) != std::string::npos;) err.replace(at, 2, path);
        EXPECT_EQ(r.status, c.status) << c.err;
        EXPECT_EQ(r.err, err);
        EXPECT_EQ(r.out, "");  // the table is refused before any row is written
    }
    // The rows before a fault in a streamed table are out already; the status says it failed.
    const CliResult r = run_zorv({"filter", "--input", "-", "n > 1"}, "n:num\n2\n3\nx\n");
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "n:num\n2\n3\n");
    EXPECT_EQ(r.err, "zorv: error: <stdin>:4:1: cell 'x' of numeric column 'n' is not a number\n");
}

TEST_F(Filter, OutputFilesAreReplacedOnlyOnSuccess) {
    const std::string good = files.write("good.csv", "a,b\n1,2\n3,4\n");
    const std::string bad = files.write("bad.csv", "a,b\n1,2\n3\n");
    const std::string out = files.write("out.csv", "kept\n");
    const std::string dir = out.substr(0, out.rfind('/'));
    CliResult r = run_zorv({"filter", "--input", bad, "--output", out, "a > 0"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(slurp(out), "kept\n");
    EXPECT_EQ(files_in(dir).size(), 3u);  // no temporary file left behind
    r = run_zorv({"filter", "--input", good, "--output", out, "a > 1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(slurp(out), "a,b\n3,4\n");
    EXPECT_EQ(files_in(dir).size(), 3u);
    r = run_zorv({"filter", "--input", good, "--output", "/no/such/dir/out.csv", "a > 1"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "zorv: error: cannot write to /no/such/dir/out.csv: No such file or directory\n");
}

// Runs the command with its standard output on a pipe that is closed after the first bytes
// come through; returns the status and what stderr said.
CliResult run_into_closed_pipe(const std::vector<std::string>& args) {
    std::vector<std::string> argv_s;
    if (std::string(ZORV_EMULATOR) != "") argv_s.push_back(ZORV_EMULATOR);
    argv_s.push_back(std::string(ZORV_BUILD_DIR) + "/zorv");
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2], err[2];
    CliResult r;
    if (pipe(out) != 0 || pipe(err) != 0) return r;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    for (int fd : {out[0], out[1], err[0], err[1]}) posix_spawn_file_actions_addclose(&fa, fd);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t pipe_only;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &pipe_only);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &fa, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    close(err[1]);
    if (rc == 0) {
        char buf[100];
        (void)!read(out[0], buf, sizeof buf);
    }
    close(out[0]);
    char buf[4096];
    for (ssize_t n; (n = read(err[0], buf, sizeof buf)) > 0;)
        r.err.append(buf, static_cast<size_t>(n));
    close(err[0]);
    int wstatus = 0;
    while (rc == 0 && waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    r.status = rc != 0 ? -1 : WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    return r;
}

TEST_F(Filter, AFullDiskIsAnErrorAndAClosedPipeIsNot) {
    const std::string path = files.write("big.csv", big_table());
    RunOptions full;
    full.stdout_path = "/dev/full";
    RunOptions closed;
    closed.close_stdout = true;
    for (const auto& [redirect, reason] :
         {std::pair{full, "No space left on device"}, std::pair{closed, "Bad file descriptor"}}) {
        for (const char* mode : {"--threads=2", "--count"}) {
            const CliResult r = run_zorv({"filter", mode, "--input", path, "qty > 1"}, redirect);
            EXPECT_EQ(r.status, 2) << mode;
            EXPECT_EQ(r.err,
                      std::string("zorv: error: cannot write to standard output: ") + reason + "\n")
                << mode;
        }
    }
    // zorv filter ... | head: the reader goes away; the command ends quietly, all well.
    for (const char* threads : {"1", "3"}) {
        const CliResult r =
            run_into_closed_pipe({"filter", "--threads", threads, "--input", path, "qty > 1"});
        EXPECT_EQ(r.status, 0) << threads;
        EXPECT_EQ(r.err, "") << threads;
    }
}

}  // namespace
