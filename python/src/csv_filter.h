// `zorv filter` run inside the Python process: the command's own filter module, with what it
// would say on standard error kept for the exception that tells the caller.
#ifndef ZORV_PYTHON_CSV_FILTER_H
#define ZORV_PYTHON_CSV_FILTER_H

#include <string>

#include "cli/filter.h"

namespace zorv::python {

struct FilterOutcome {
    int status = 0;        // the command's exit status (cli/clauses.h)
    std::string messages;  // its "zorv: error: ..." and "zorv: note: ..." lines
};

// Runs cli::run_filter. The request must name an input file and an output file (nothing is
// read from standard input or written to standard output). Call it without the GIL.
FilterOutcome run_csv_filter(const cli::FilterRequest& request);

}  // namespace zorv::python

#endif
