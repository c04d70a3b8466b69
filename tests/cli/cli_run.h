// Runs the zorv command of this build as a child process and collects what it printed.
#ifndef ZORV_TESTS_CLI_RUN_H
#define ZORV_TESTS_CLI_RUN_H

#include <string>
#include <vector>

struct CliResult {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs build/<width>/zorv with args, feeding input on standard input.
CliResult run_zorv(const std::vector<std::string>& args, const std::string& input = "");

// Where the command's standard input and output go instead of the test's pipes: a path
// to open, or closed. Unset members keep the pipe (stdin then gets no input).
struct Redirect {
    const char* stdin_path = nullptr;
    const char* stdout_path = nullptr;
    bool close_stdin = false;
    bool close_stdout = false;
};
CliResult run_zorv(const std::vector<std::string>& args, const Redirect& redirect);

// Splits output into lines (without their newlines).
std::vector<std::string> lines_of(const std::string& text);

#endif
