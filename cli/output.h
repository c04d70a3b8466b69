// Where `zorv filter` writes: standard output, or a file that is written under a temporary
// name beside its target and moved into place only once everything went well, so that a
// failed run leaves no partial file and an existing file stays as it was. A target that is
// no regular file (a device such as /dev/null, a FIFO) is written directly.
#ifndef ZORV_CLI_OUTPUT_H
#define ZORV_CLI_OUTPUT_H

#include <string>
#include <string_view>

namespace zorv::cli {

class Output {
  public:
    Output() = default;  // standard output
    ~Output();           // removes a temporary file that was not committed
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    // Writes to a temporary file beside path instead (beside the file a symbolic link
    // names), or to path itself when it is a device, FIFO or socket. Returns false with
    // *error when path is a directory or cannot be written.
    bool open_file(const std::string& path, std::string* error);

    // Writes all of data. Returns false when the reader of a pipe has gone (closed()) or
    // on any other failure (error_text()); later writes do nothing.
    bool write(std::string_view data);
    // The reader of the pipe went away: the command ends quietly.
    bool closed() const { return closed_; }
    // Nothing has failed so far.
    bool good() const { return !closed_ && errno_ == 0; }
    // What went wrong, for "zorv: error: ..." (after a failed write or commit).
    std::string error_text() const;

    // Ends the output: a file is closed and renamed over its target. Returns false (see
    // error_text()) when that fails; the temporary file is then removed.
    bool commit();

  private:
    void remove_temporary();

    int fd_ = 1;
    std::string path_;       // the target as given, empty for standard output
    std::string final_;      // the file the temporary one replaces
    std::string temporary_;  // the file written, until it is renamed
    bool direct_ = false;    // fd_ is the target itself, opened here
    bool closed_ = false;
    int errno_ = 0;
};

}  // namespace zorv::cli

#endif
