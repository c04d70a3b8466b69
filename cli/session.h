// One run of the library from the command line: a kernel of the host runtime, a message
// target on stdout/stderr, the zorv extension loaded by name and one instance. Everything
// is released in reverse order when the session ends.
#ifndef ZORV_CLI_SESSION_H
#define ZORV_CLI_SESSION_H

#include <cstdint>
#include <memory>
#include <string>

#include "zorv/host.h"
#include "zorv/zorv.h"

namespace zorv::cli {

class Session {
  public:
    // Starts the host and the library with the given option bits. Returns null and sets
    // error when any step fails (the library's own messages have gone to stderr).
    static std::unique_ptr<Session> open(uint32_t options, std::string* error);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    ZExt* ext() const { return ext_; }
    ZInst* inst() const { return inst_; }
    NQJournal* journal() const { return jnl_; }

  private:
    Session() = default;
    NQJournal* jnl_ = nullptr;
    NQKernel* kernel_ = nullptr;
    ZExt* ext_ = nullptr;
    ZInst* inst_ = nullptr;
};

}  // namespace zorv::cli

#endif
