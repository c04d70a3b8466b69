// The library inside a Python process: one kernel of the host runtime and the zorv extension,
// started once when the module is imported and kept until the process ends; an instance per
// call, made and destroyed while the caller holds the GIL; and a journal that keeps the
// messages of one call so that they can become the text of an exception.
#ifndef ZORV_PYTHON_RUNTIME_H
#define ZORV_PYTHON_RUNTIME_H

#include <cstdint>
#include <string>
#include <vector>

#include "zorv/host.h"
#include "zorv/zorv.h"

namespace zorv::python {

// Starts the kernel with its extensions taken from extdir (the package's folder) and loads
// the library. Throws std::runtime_error when that fails; a second call does nothing.
void start_runtime(const std::string& extdir);

// The kernel and the extension record; start_runtime must have succeeded.
NQKernel* runtime_kernel();
ZExt* runtime_extension();

// A journal that keeps every message in memory (zhost_open_capture_journal).
class Messages {
  public:
    Messages();
    ~Messages();
    Messages(const Messages&) = delete;
    Messages& operator=(const Messages&) = delete;

    NQJournal* journal() const { return jnl_; }
    // The texts of the messages of at least `level`, or below it when `below` is set, one a
    // line without the last line end.
    std::string text(int level, bool below = false) const;

  private:
    NQJournal* jnl_;
};

// An instance of the library for one call, destroyed with the object.
class Instance {
  public:
    Instance();
    ~Instance();
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    ZInst* get() const { return inst_; }
    ZInst* operator->() const { return inst_; }

    // Parses the clause. On failure throws ClauseFailure with the engine's and the library's
    // messages (where the error is, and how the engine's repair read on).
    void parse(const std::u32string& text);

  private:
    Messages created_;  // the journal the instance was created with, alive as long as it
    ZInst* inst_;
};

// A clause that cannot be parsed or bound: the message, and for a name that is no column,
// that name and the closest column names.
struct ClauseFailure {
    std::string message;
    std::string column;  // empty unless the failure is an unknown column
    std::vector<std::string> closest;
};

// The keys (upper-cased, as NAME leaves hold them) of the names a parsed tree uses, in the
// order of a walk, each once.
std::vector<std::string> tree_names(ZNode* root);

}  // namespace zorv::python

#endif
