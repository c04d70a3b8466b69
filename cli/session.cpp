// Starting and stopping the host runtime and the zorv library for one command.
#include "cli/session.h"

#include <cstdio>

namespace zorv::cli {

std::unique_ptr<Session> Session::open(uint32_t options, std::string* error) {
    std::unique_ptr<Session> s(new Session());
    s->jnl_ = zhost_open_stream_journal(stdout, stderr);
    if (s->jnl_ == nullptr) {
        *error = "out of memory while starting";
        return nullptr;
    }
    // Extensions are found beside libnqkernel.so (in the build tree, beside this program) or,
    // installed, in the folder zorv/ beside it.
    s->kernel_ = zhost_open_kernel(nullptr);
    if (s->kernel_ == nullptr) {
        *error = "cannot start the host runtime";
        return nullptr;
    }
    s->ext_ = static_cast<ZExt*>(s->kernel_->LoadExtension(s->kernel_, U"zorv", 4, s->jnl_));
    if (s->ext_ == nullptr) {
        *error =
            "cannot load the zorv library (libzorv.so in the extension folder of libnqkernel.so)";
        return nullptr;
    }
    const uintptr_t words[2] = {options, 0};
    s->inst_ = s->ext_->Create(s->ext_, words, s->jnl_, "zorv command");
    if (s->inst_ == nullptr) {
        *error = "cannot create a clause instance";
        return nullptr;
    }
    return s;
}

Session::~Session() {
    if (inst_ != nullptr) inst_->Destroy(inst_);
    if (ext_ != nullptr) ext_->RealDestroy(ext_);
    if (kernel_ != nullptr) zhost_close_kernel(kernel_);
    if (jnl_ != nullptr) {
        std::fflush(stdout);
        zhost_close_journal(jnl_);
    }
}

}  // namespace zorv::cli
