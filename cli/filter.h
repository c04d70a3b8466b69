// `zorv filter`: the rows of a table that a clause selects, written as CSV, or their count,
// or their numbers.
#ifndef ZORV_CLI_FILTER_H
#define ZORV_CLI_FILTER_H

#include <cstdint>
#include <string>
#include <vector>

#include "cli/tables.h"

namespace zorv::cli {

struct FilterRequest {
    std::string clause;             // the clause, or "-" for standard input
    std::vector<std::string> ands;  // further clauses every selected row must meet too
    TableChoice table;
    std::string output;        // a file to write, empty for standard output
    bool count = false;        // print only the number of selected rows
    bool row_numbers = false;  // print the numbers of the selected rows
    int32_t threads = 0;       // 0: by the input's size (see default_threads)
    uint32_t option_bits = 0;  // ZORVCreate's options (traces)
};

// Input larger than this is read on every core unless --threads says otherwise.
inline constexpr uint64_t kThreadedBytes = uint64_t{8} << 20;
// The most threads --threads takes.
inline constexpr int32_t kMaxThreads = 64;

// Threads for a table when --threads is not given: one for a file of kThreadedBytes or
// less (the sample table included), the machine's cores (at most kMaxThreads) for a larger
// file or for a pipe, whose length cannot be known.
int32_t default_threads(const TableChoice& table);

// Runs the filter; returns the exit status (see cli/clauses.h) after saying what went wrong.
int run_filter(const FilterRequest& request);

}  // namespace zorv::cli

#endif
