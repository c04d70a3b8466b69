// Child-process runner for the end-to-end tests: posix_spawn with three pipes, no shell,
// so clauses reach the command byte for byte.
#include "cli_run.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

extern char** environ;

namespace {

void drain(int out_fd, int err_fd, int in_fd, const std::string& input, CliResult* r) {
    size_t sent = 0;
    if (input.empty()) {
        close(in_fd);
        in_fd = -1;
    }
    char buf[4096];
    while (out_fd >= 0 || err_fd >= 0) {
        pollfd fds[3];
        int n = 0;
        int out_i = -1, err_i = -1, in_i = -1;
        if (out_fd >= 0) fds[out_i = n++] = {out_fd, POLLIN, 0};
        if (err_fd >= 0) fds[err_i = n++] = {err_fd, POLLIN, 0};
        if (in_fd >= 0) fds[in_i = n++] = {in_fd, POLLOUT, 0};
        if (poll(fds, n, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        auto pump = [&](int idx, int* fd, std::string* dest) {
            if (idx < 0 || fds[idx].revents == 0) return;
            ssize_t got = read(*fd, buf, sizeof buf);
            if (got > 0) {
                dest->append(buf, static_cast<size_t>(got));
            } else {
                close(*fd);
                *fd = -1;
            }
        };
        pump(out_i, &out_fd, &r->out);
        pump(err_i, &err_fd, &r->err);
        if (in_i >= 0 && fds[in_i].revents != 0) {
            ssize_t put = write(in_fd, input.data() + sent, input.size() - sent);
            if (put > 0) sent += static_cast<size_t>(put);
            if (put <= 0 || sent == input.size()) {
                close(in_fd);
                in_fd = -1;
            }
        }
    }
    if (in_fd >= 0) close(in_fd);
}

CliResult spawn(const std::vector<std::string>& args, const std::string& input,
                const Redirect& redirect) {
    std::vector<std::string> argv_s;
    const std::string emulator = ZORV_EMULATOR;
    if (!emulator.empty()) argv_s.push_back(emulator);
    argv_s.push_back(std::string(ZORV_BUILD_DIR) + "/zorv");
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);

    int in[2], out[2], err[2];
    CliResult r;
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return r;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_adddup2(&fa, err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]})
        posix_spawn_file_actions_addclose(&fa, fd);
    if (redirect.close_stdin) posix_spawn_file_actions_addclose(&fa, 0);
    if (redirect.stdin_path)
        posix_spawn_file_actions_addopen(&fa, 0, redirect.stdin_path, O_RDONLY, 0);
    if (redirect.close_stdout) posix_spawn_file_actions_addclose(&fa, 1);
    if (redirect.stdout_path)
        posix_spawn_file_actions_addopen(&fa, 1, redirect.stdout_path, O_WRONLY, 0);
    pid_t pid = 0;
    // A command may end without reading all its input: the write then fails with EPIPE
    // instead of killing the test. The command itself gets the default disposition back.
    static const bool ignored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
    (void)ignored;
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t pipe_only;
    sigemptyset(&pipe_only);
    sigaddset(&pipe_only, SIGPIPE);
    posix_spawnattr_setsigdefault(&attr, &pipe_only);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    const int rc = posix_spawn(&pid, argv[0], &fa, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    if (rc != 0) {
        close(in[1]);
        close(out[0]);
        close(err[0]);
        r.err = std::string("spawn failed: ") + std::strerror(rc);
        return r;
    }
    drain(out[0], err[0], in[1], input, &r);
    int wstatus = 0;
    while (waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
    }
    r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
    return r;
}

}  // namespace

CliResult run_zorv(const std::vector<std::string>& args, const std::string& input) {
    return spawn(args, input, Redirect{});
}

CliResult run_zorv(const std::vector<std::string>& args, const Redirect& redirect) {
    return spawn(args, "", redirect);
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
