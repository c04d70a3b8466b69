// The filter's output. Writes go straight to the descriptor in large pieces (the filter
// hands over a block's worth at a time), so no stdio buffer stands between an error and
// the write that met it.
#include "cli/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace zorv::cli {
namespace {

// The temporary file being written, for the signal handler to remove: a fixed buffer,
// since the handler may only make async-signal-safe calls.
char pending[4096];

extern "C" void remove_pending(int sig) {
    if (pending[0] != 0) ::unlink(pending);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

void watch(const std::string& path) {
    if (path.size() >= sizeof pending) return;
    std::memcpy(pending, path.c_str(), path.size() + 1);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, remove_pending);
}

void unwatch() {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) std::signal(sig, SIG_DFL);
    pending[0] = 0;
}

}  // namespace

Output::~Output() {
    if (direct_) ::close(fd_);
    remove_temporary();
}

void Output::remove_temporary() {
    if (temporary_.empty()) return;
    ::close(fd_);
    ::unlink(temporary_.c_str());
    unwatch();
    temporary_.clear();
    fd_ = -1;
}

bool Output::open_file(const std::string& target, std::string* error) {
    path_ = target;
    // A device, a FIFO or a socket is written as it is: a file renamed over it would take
    // its place (root may rename over /dev/null), and nothing could hold back what was
    // written to it anyway. A directory is refused now, before the table is read.
    struct stat st;
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        const int fd = S_ISDIR(st.st_mode) ? (errno = EISDIR, -1)
                                           : ::open(target.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd < 0) {
            *error = "cannot write to " + target + ": " + std::strerror(errno);
            return false;
        }
        fd_ = fd;
        direct_ = true;
        return true;
    }
    // Through a symbolic link, the file it names is replaced and the link stays.
    std::string path = target;
    if (char* real = ::realpath(target.c_str(), nullptr)) {
        if (::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) path = real;
        std::free(real);
    }
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string name = (slash == std::string::npos ? "" : dir) + "." + base + ".zorv-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        *error = "cannot write to " + target + ": " + std::strerror(errno);
        return false;
    }
    // The file gets the mode of the one it replaces, or what a new file would get.
    mode_t mode;
    if (::stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    fd_ = fd;
    temporary_ = name;
    final_ = path;
    watch(temporary_);
    return true;
}

bool Output::write(std::string_view data) {
    if (closed_ || errno_ != 0) return false;
    while (!data.empty()) {
        const ssize_t n = ::write(fd_, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n < 0 && errno == EPIPE) {
                closed_ = true;
            } else {
                errno_ = n < 0 ? errno : EIO;
            }
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string Output::error_text() const {
    const std::string what = path_.empty() ? "standard output" : path_;
    return "cannot write to " + what + ": " + std::strerror(errno_ != 0 ? errno_ : EIO);
}

bool Output::commit() {
    if (direct_) {
        direct_ = false;
        if (::close(fd_) != 0 && errno_ == 0) errno_ = errno;
        fd_ = -1;
    }
    if (temporary_.empty()) return errno_ == 0 && !closed_;
    if (errno_ == 0 && ::close(fd_) != 0) errno_ = errno;
    fd_ = -1;
    if (errno_ == 0 && ::rename(temporary_.c_str(), final_.c_str()) != 0) errno_ = errno;
    if (errno_ != 0) {
        ::unlink(temporary_.c_str());
    }
    unwatch();
    temporary_.clear();
    return errno_ == 0;
}

}  // namespace zorv::cli
