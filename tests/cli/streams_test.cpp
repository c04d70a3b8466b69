// End-to-end tests of the command's input and output: a write or read that fails is an
// error with status 2, never a quiet success; a byte-order mark on standard input is no
// part of the clause; an unknown subcommand is named.
#include <gtest/gtest.h>

#include <string>

#include "cli_run.h"
#include "drawing.h"

namespace {

TEST(Streams, FailedWritesToStandardOutputAreErrors) {
    struct Case {
        std::vector<std::string> args;
        RunOptions redirect;
        const char* reason;
    };
    std::string many = "0";
    for (int i = 1; i < 5000; ++i) many += ", " + std::to_string(i);
    RunOptions full;
    full.stdout_path = "/dev/full";
    RunOptions closed;
    closed.close_stdout = true;
    const Case cases[] = {
        {{"explain", "qty=1"}, full, "No space left on device"},
        {{"explain", "qty=1"}, closed, "Bad file descriptor"},
        {{"--version"}, full, "No space left on device"},
        {{"--help"}, full, "No space left on device"},
        // A drawing larger than the stream's buffer fails while it is written.
        {{"explain", "--stage", "parsed", "x IN (" + many + ")"}, full, "No space left on device"},
    };
    for (const Case& c : cases) {
        CliResult r = run_zorv(c.args, c.redirect);
        EXPECT_EQ(r.status, 2) << c.args[0];
        EXPECT_EQ(r.err,
                  std::string("zorv: error: cannot write to standard output: ") + c.reason + "\n")
            << c.args[0];
    }
    // Nothing to write, nothing lost: check needs no standard output.
    EXPECT_EQ(run_zorv({"check", "qty=1"}, closed).status, 0);
}

TEST(Streams, FailedReadsOfStandardInputAreErrors) {
    RunOptions directory;
    directory.stdin_path = "/";
    RunOptions closed;
    closed.close_stdin = true;
    for (const auto& [redirect, reason] :
         {std::pair{directory, "Is a directory"}, std::pair{closed, "Bad file descriptor"}}) {
        CliResult r = run_zorv({"explain", "-"}, redirect);
        EXPECT_EQ(r.status, 2) << reason;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, std::string("zorv: error: cannot read the clause from standard input: ") +
                             reason + "\n");
    }
}

TEST(Streams, AByteOrderMarkOnStandardInputIsSkipped) {
    CliResult r = run_zorv({"explain", "--stage", "parsed", "-"},
                           "\xEF\xBB\xBF"
                           "abc = 1\n");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_drawing(lines_of(r.out)), "CEQ(NAME ABC,LITN 1)");
}

TEST(Streams, AnUnknownSubcommandIsNamed) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"frob", "x"}, {"--trace", "tokens", "frob"}}) {
        CliResult r = run_zorv(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err,
                  "zorv: error: unknown subcommand 'frob' (the subcommands are filter, explain, "
                  "check, columns)\n"
                  "Run 'zorv --help' for usage.\n");
    }
}

}  // namespace
