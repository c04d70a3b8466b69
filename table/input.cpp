// Reading a table's bytes from a descriptor, with rewinding by seek or by a temporary copy.
// Built with 64-bit file offsets, so tables past 2 GiB work in the 32-bit build too.
#include "table/input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace zorv::table {
namespace {

std::string error_text() {
    return std::strerror(errno);
}

bool write_all(int fd, const char* data, size_t n) {
    while (n > 0) {
        const ssize_t done = ::write(fd, data, n);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        data += done;
        n -= static_cast<size_t>(done);
    }
    return true;
}

}  // namespace

Input::~Input() {
    if (copy_ >= 0) ::close(copy_);
    if (owned_ && fd_ >= 0) ::close(fd_);
}

bool Input::open(const std::string& path, std::string* why) {
    if (path == "-") {
        fd_ = STDIN_FILENO;
        owned_ = false;
    } else {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            *why = error_text();
            return false;
        }
        owned_ = true;
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0) {
        *why = error_text();
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *why = std::strerror(EISDIR);
        return false;
    }
    if (S_ISREG(st.st_mode)) {
        start_ = ::lseek(fd_, 0, SEEK_CUR);
        seekable_ = start_ >= 0;
    }
    return true;
}

void Input::adopt(int fd) {
    fd_ = fd;
    owned_ = true;
    struct stat st;
    if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) {
        start_ = ::lseek(fd_, 0, SEEK_CUR);
        seekable_ = start_ >= 0;
    }
}

bool Input::start_copy(std::string* why) {
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string dir = tmpdir != nullptr && *tmpdir != 0 ? tmpdir : "/tmp";
    std::string name = dir + "/zorvXXXXXX";
    copy_ = ::mkstemp(name.data());
    if (copy_ < 0) {
        *why = "cannot make a temporary copy in " + dir + ": " + error_text();
        return false;
    }
    ::unlink(name.c_str());  // the file lives as long as the descriptor
    return true;
}

void Input::stop_copy() {
    if (copy_ >= 0 && !replaying_) {
        ::close(copy_);
        copy_ = -1;
    }
}

ssize_t Input::read(char* buf, size_t n, std::string* why) {
    const int fd = replaying_ ? copy_ : fd_;
    ssize_t got;
    do {
        got = ::read(fd, buf, n);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        *why = error_text();
        return -1;
    }
    if (got > 0 && copy_ >= 0 && !replaying_ && !write_all(copy_, buf, static_cast<size_t>(got))) {
        *why = "cannot write the temporary copy: " + error_text();
        return -1;
    }
    return got;
}

bool Input::rewind(std::string* why) {
    if (copy_ >= 0) {
        if (!replaying_) {
            // The copy must hold the whole input before it can stand in for it.
            char block[65536];
            ssize_t got;
            while ((got = read(block, sizeof block, why)) > 0) {
            }
            if (got < 0) return false;
            replaying_ = true;
        }
        if (::lseek(copy_, 0, SEEK_SET) < 0) {
            *why = error_text();
            return false;
        }
        return true;
    }
    if (!seekable_) {
        *why = "the input cannot be read a second time";
        return false;
    }
    if (::lseek(fd_, static_cast<off_t>(start_), SEEK_SET) < 0) {
        *why = error_text();
        return false;
    }
    return true;
}

}  // namespace zorv::table
