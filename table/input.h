// The bytes of a table: a file or standard input, read in blocks. A regular file is
// rewound by seeking; any other input is copied, as it is read, to an unnamed temporary
// file (in $TMPDIR, else /tmp) that later passes read instead, so memory stays bounded.
#ifndef ZORV_TABLE_INPUT_H
#define ZORV_TABLE_INPUT_H

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace zorv::table {

class Input {
  public:
    Input() = default;
    ~Input();
    Input(const Input&) = delete;
    Input& operator=(const Input&) = delete;

    // Opens path, "-" meaning standard input (not closed at the end). On failure returns
    // false with the reason in *why.
    bool open(const std::string& path, std::string* why);
    // Takes an open descriptor, which the input closes at the end.
    void adopt(int fd);

    // Whether rewind() can work without a copy: the input is a regular file.
    bool seekable() const { return seekable_; }
    // Copies everything read from now on (which must be the input's start) to a temporary
    // file, so that rewind() can replay it. Returns false with *why when none can be made.
    bool start_copy(std::string* why);
    // Drops the copy: the input will be read once only.
    void stop_copy();
    // Whether rewind() is possible.
    bool rewindable() const { return seekable_ || copy_ >= 0; }

    // Reads up to n bytes: the count, 0 at the end, -1 on failure with *why.
    ssize_t read(char* buf, size_t n, std::string* why);
    // Starts again at the input's first byte; a copied input continues from its copy.
    bool rewind(std::string* why);

  private:
    int fd_ = -1;
    bool owned_ = false;
    bool seekable_ = false;
    int64_t start_ = 0;       // offset of the input's start in a seekable file
    int copy_ = -1;           // the temporary copy, while one is kept
    bool replaying_ = false;  // reads come from the copy
};

}  // namespace zorv::table

#endif
