// Reading a table's bytes from a descriptor, with rewinding by seek or by a temporary copy.
#include "table/input.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace zorv::table {

Input::~Input() {
    if (copy_ != nullptr) std::fclose(copy_);
    if (owned_ && fd_ >= 0) ::close(fd_);
}

bool Input::open(const std::string& path, std::string* why) {
    if (path == "-") {
        fd_ = STDIN_FILENO;
        owned_ = false;
    } else {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0) {
            *why = std::strerror(errno);
            return false;
        }
        owned_ = true;
    }
    struct stat st;
    if (::fstat(fd_, &st) != 0) {
        *why = std::strerror(errno);
        return false;
    }
    if (S_ISDIR(st.st_mode)) {
        *why = "is a directory";
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
    copy_ = std::tmpfile();
    if (copy_ == nullptr) {
        *why = std::string("cannot make a temporary copy: ") + std::strerror(errno);
        return false;
    }
    return true;
}

void Input::stop_copy() {
    if (copy_ != nullptr && !replaying_) {
        std::fclose(copy_);
        copy_ = nullptr;
    }
}

ssize_t Input::read(char* buf, size_t n, std::string* why) {
    const int fd = replaying_ ? ::fileno(copy_) : fd_;
    ssize_t got;
    do {
        got = ::read(fd, buf, n);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        *why = std::strerror(errno);
        return -1;
    }
    if (got > 0 && copy_ != nullptr && !replaying_ &&
        std::fwrite(buf, 1, static_cast<size_t>(got), copy_) != static_cast<size_t>(got)) {
        *why = std::string("cannot write the temporary copy: ") + std::strerror(errno);
        return -1;
    }
    return got;
}

bool Input::rewind(std::string* why) {
    if (copy_ != nullptr) {
        if (!replaying_) {
            // The copy must hold the whole input before it can stand in for it.
            char block[65536];
            ssize_t got;
            while ((got = read(block, sizeof block, why)) > 0) {
            }
            if (got < 0) return false;
            if (std::fflush(copy_) != 0) {
                *why = std::string("cannot write the temporary copy: ") + std::strerror(errno);
                return false;
            }
            replaying_ = true;
        }
        if (::lseek(::fileno(copy_), 0, SEEK_SET) < 0) {
            *why = std::strerror(errno);
            return false;
        }
        return true;
    }
    if (!seekable_) {
        *why = "the input cannot be read a second time";
        return false;
    }
    if (::lseek(fd_, start_, SEEK_SET) < 0) {
        *why = std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace zorv::table
