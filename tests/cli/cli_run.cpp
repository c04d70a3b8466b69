// Child-process runner for the end-to-end tests: fork and exec with three pipes, no shell,
// so clauses reach the command byte for byte. Standard input is written from a thread of
// its own while both outputs are read, so a command that writes before it has read all its
// input cannot block the test.
#include "cli_run.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <thread>

namespace {

// The peak memory of a running process (its VmHWM), or 0 once it has none. Read from /proc
// while the command runs: what wait4 says would count the test's own pages, which the
// child holds from fork to exec.
long peak_of(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// In the child, between fork and exec: the standard streams, SIGPIPE at its default (the
// test ignores it), and root's rights dropped when asked.
[[noreturn]] void exec_child(const RunOptions& how, int in[2], int out[2], int err[2],
                             char** argv) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (how.close_stdin) close(0);
    if (how.stdin_path) {
        const int fd = open(how.stdin_path, O_RDONLY);
        if (fd < 0 || dup2(fd, 0) < 0) _exit(126);
        if (fd != 0) close(fd);
    }
    if (how.close_stdout) close(1);
    if (how.stdout_path) {
        const int fd = open(how.stdout_path, O_WRONLY);
        if (fd < 0 || dup2(fd, 1) < 0) _exit(126);
        if (fd != 1) close(fd);
    }
    std::signal(SIGPIPE, SIG_DFL);
    if (how.as_nobody && (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
        _exit(126);
    execv(argv[0], argv);
    _exit(127);
}

void write_all(int fd, const std::string& piece) {
    for (size_t at = 0; at < piece.size();) {
        const ssize_t n = write(fd, piece.data() + at, piece.size() - at);
        if (n <= 0) return;  // the command closed its input: what is left is not wanted
        at += static_cast<size_t>(n);
    }
}

}  // namespace

CliResult run_zorv(const std::vector<std::string>& args, const RunOptions& how) {
    std::vector<std::string> argv_s;
    const std::string emulator = ZORV_EMULATOR;
    if (!emulator.empty()) argv_s.push_back(emulator);
    argv_s.push_back(std::string(ZORV_BUILD_DIR) + "/zorv");
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);

    // A command may end without reading all its input: the write then fails with EPIPE
    // instead of killing the test.
    static const bool ignored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    (void)ignored;

    CliResult r;
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        r.err = std::string("pipe failed: ") + std::strerror(errno);
        return r;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) exec_child(how, in, out, err, argv.data());
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (pid < 0) {
        for (int fd : {in[1], out[0], err[0]}) close(fd);
        r.err = std::string("fork failed: ") + std::strerror(errno);
        return r;
    }
    std::thread writer([&] {
        write_all(in[1], how.input);
        for (std::string piece; how.feed && how.feed(&piece); piece.clear())
            write_all(in[1], piece);
        close(in[1]);
    });
    char buf[65536];
    int fds[2] = {out[0], err[0]};
    while (fds[0] >= 0 || fds[1] >= 0) {
        pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};
        if (poll(p, 2, how.measure_peak ? 20 : -1) < 0 && errno != EINTR) break;
        if (how.measure_peak) r.peak_kb = std::max(r.peak_kb, peak_of(pid));
        for (int i = 0; i < 2; ++i) {
            if (fds[i] < 0 || p[i].revents == 0) continue;
            const ssize_t got = read(fds[i], buf, sizeof buf);
            std::string& to = i == 0 ? r.out : r.err;
            if (got > 0) to.append(buf, static_cast<size_t>(got));
            if (got <= 0 || (i == 0 && r.out.size() >= how.keep_out)) {
                close(fds[i]);
                fds[i] = -1;
            }
        }
    }
    if (how.measure_peak) r.peak_kb = std::max(r.peak_kb, peak_of(pid));
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    writer.join();
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    return r;
}

CliResult run_zorv(const std::vector<std::string>& args, const std::string& input) {
    RunOptions how;
    how.input = input;
    return run_zorv(args, how);
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}
