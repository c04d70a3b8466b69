// Coverage tree only: a process that ends in abort() (the child of a death test) writes its
// coverage counters first, so that the abort paths it ran count as covered. gcc's runtime
// writes them at a normal exit only.
#include <csignal>

extern "C" void __gcov_dump(void);

namespace {

void dump_then_abort(int sig) {
    __gcov_dump();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

[[maybe_unused]] const bool installed = std::signal(SIGABRT, dump_then_abort) != SIG_ERR;

}  // namespace
