// Runs the zorv command of this build as a child process and collects what it printed.
#ifndef ZORV_TESTS_CLI_RUN_H
#define ZORV_TESTS_CLI_RUN_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct CliResult {
    int status = -1;  // the exit status, or 128 + the signal that ended the command
    std::string out;
    std::string err;
    long peak_kb = 0;  // the command's peak memory (VmHWM), when asked for
    double seconds = 0;
};

// How a run is set up besides its arguments.
struct RunOptions {
    // Standard input: `input`, or the pieces `feed` gives (it appends one to its argument and
    // returns false at the end), or a file to open, or closed.
    std::string input;
    std::function<bool(std::string*)> feed;
    const char* stdin_path = nullptr;
    bool close_stdin = false;
    // Standard output: the test's pipe, or a file to open, or closed.
    const char* stdout_path = nullptr;
    bool close_stdout = false;
    size_t keep_out = ~size_t{0};  // stdout bytes read before the pipe is closed
    bool as_nobody = false;        // drop root's rights before the command starts
    bool measure_peak = false;     // watch the command's memory while it runs
};

// Runs build/<width>/zorv (through the emulator where 32-bit programs need one) with args.
CliResult run_zorv(const std::vector<std::string>& args, const RunOptions& how);
CliResult run_zorv(const std::vector<std::string>& args, const std::string& input = "");

// Splits output into lines (without their newlines).
std::vector<std::string> lines_of(const std::string& text);

#endif
