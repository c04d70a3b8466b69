// Counting of heap allocations made by the calling thread, for benchmarks that promise to
// allocate nothing per row. The benchmark binary replaces malloc and its relatives with
// thin counting wrappers around the C library's own, so every allocation of every library
// in the process (the extension's pools included) is seen.
#ifndef ZORV_BENCH_ALLOC_COUNT_H
#define ZORV_BENCH_ALLOC_COUNT_H

#include <cstdint>

namespace zbench {

// Allocations (malloc, calloc, realloc, the aligned forms, and so operator new) made by the
// calling thread since it started.
uint64_t thread_allocations();

}  // namespace zbench

#endif
