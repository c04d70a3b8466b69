// Words for a clause that ZORVResolve refused. The resolver returns only a status and goes
// on to transform the tree, so the command parses the clause again and types that second
// tree by the resolver's rules, with the kinds of the table's columns, to find the operator
// the status is about.
#ifndef ZORV_CLI_DIAGNOSE_H
#define ZORV_CLI_DIAGNOSE_H

#include <cstdint>
#include <string>
#include <vector>

#include "table/table.h"
#include "zorv/zorv.h"

namespace zorv::cli {

// The message (one line, without "zorv: error: ") for a status of ZORVResolve (1 to 7, or
// another callback status), given the clause's tree as the parser built it and the table
// its names bind to. It names the first operator, in the resolver's walk order, whose
// operands break the typing rule, as the language writes it ('+', '=:', CONTAINS, ...), and
// what its operands are. Where the tree shows no such operator, the status is explained in
// general words.
std::string resolve_failure(int32_t status, ZNode* parsed_root, const table::Table& t);

// The same for names bound to a list of columns (unique keys) that no table holds, such as
// the columns of a data frame in the Python binding.
std::string resolve_failure(int32_t status, ZNode* parsed_root,
                            const std::vector<table::Column>& columns);

}  // namespace zorv::cli

#endif
