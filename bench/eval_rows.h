// The rows the evaluation benchmarks run over: one fixed record layout (a C++ struct, so that
// a hand-written loop reads the very same bytes), a deterministic generator of realistic
// values, and the name-binding callback that tells ZORVResolve where each column lies.
#ifndef ZORV_BENCH_EVAL_ROWS_H
#define ZORV_BENCH_EVAL_ROWS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zorv/zorv.h"

namespace zbench {

inline constexpr size_t kCodeWidth = 4;    // characters of s
inline constexpr size_t kWordsWidth = 16;  // characters of w

// One row record as a host would lay it out and as the library's table module does: numeric
// columns are 8-byte doubles (a missing value is a missing-value NaN), character columns
// 4-byte characters blank-padded to the column's width.
struct Row {
    double x;                // a price-like amount in [0, 20), two decimals; 2% missing
    double y;                // a small count 0..9, falling off with size
    double k;                // an id-like integer 0..99999, uniform
    NQWChar s[kCodeWidth];   // a short code: "ab", "Ab", "cd", ... (Zipf-like), some blank
    NQWChar w[kWordsWidth];  // one to three words ("red fox", "grey wolf den"), cut to width
};
static_assert(sizeof(Row) % 8 == 0, "row records are 8-byte aligned");

// `count` rows drawn from a fixed seed: the same rows on every run.
std::vector<Row> make_rows(size_t count);

// The row's character column as UTF-8 without its trailing blanks, as a database stores it.
std::string trimmed(const NQWChar* chars, size_t width);

// The name-binding callback of ZORVResolve over Row: binds x, y, k, s and w by offsetof;
// any other name is refused with status 100.
int32_t bind_row(void* context, ZNode* node, NQJournal* jnl);

}  // namespace zbench

#endif
