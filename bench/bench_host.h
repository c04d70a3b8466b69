// The host the benchmarks run in: our host runtime's kernel with one instance of the
// library, as the command line starts it.
#ifndef ZORV_BENCH_BENCH_HOST_H
#define ZORV_BENCH_BENCH_HOST_H

#include <benchmark/benchmark.h>

#include "zorv/host.h"
#include "zorv/zorv.h"

namespace zbench {

class Host {
  public:
    Host() {
        jnl_ = zhost_open_capture_journal();
        kernel_ = zhost_open_kernel(nullptr);
        ext_ = static_cast<ZExt*>(kernel_->LoadExtension(kernel_, U"zorv", 4, jnl_));
        const uintptr_t options[2] = {0, 0};
        inst_ = ext_ ? ext_->Create(ext_, options, jnl_, "bench") : nullptr;
    }
    ~Host() {
        if (inst_) inst_->Destroy(inst_);
        if (ext_) ext_->RealDestroy(ext_);
        zhost_close_kernel(kernel_);
        zhost_close_journal(jnl_);
    }
    ZInst* inst() const { return inst_; }
    // The instance, or null after marking the benchmark as failed to start.
    ZInst* started(benchmark::State& state) const {
        if (inst_ == nullptr) state.SkipWithError("cannot start the library");
        return inst_;
    }
    NQJournal* journal() const { return jnl_; }

  private:
    NQJournal* jnl_ = nullptr;
    NQKernel* kernel_ = nullptr;
    ZExt* ext_ = nullptr;
    ZInst* inst_ = nullptr;
};

}  // namespace zbench

#endif
