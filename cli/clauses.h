// The steps every subcommand takes with a clause: its text from the command line or standard
// input, the parse, and the binding to a table's columns, each failure told to the user the
// same way whichever subcommand meets it.
#ifndef ZORV_CLI_CLAUSES_H
#define ZORV_CLI_CLAUSES_H

#include <string>

#include "table/table.h"
#include "zorv/host.h"
#include "zorv/zorv.h"

namespace zorv::cli {

// Exit statuses of the command.
inline constexpr int kExitOk = 0;
inline constexpr int kExitClause = 1;  // an error in the clause
inline constexpr int kExitUsage = 2;   // a usage, table, input, output or start-up error

// Says "zorv: error: message" on stderr and returns code.
int fail(int code, const std::string& message);

// The clause as wide characters: the argument itself, or standard input for "-". Returns
// false with a message when it cannot be read or is not UTF-8.
bool clause_text(const std::string& arg, std::u32string* text, std::string* error);

// Parses the clause into the instance: kExitOk, or kExitClause once the engine and the
// library have said what is wrong.
int parse_clause(ZInst* inst, NQJournal* jnl, const std::u32string& text);

// Binds the parsed clause to the table's columns and types it (ZORVResolve, which then
// transforms the tree): kExitOk, or kExitClause once stderr says why. An unknown column is
// told with the names the user may have meant; any other refusal through a second parse of
// the same text that cli/diagnose.cpp types operator by operator.
int resolve_clause(ZInst* inst, NQJournal* jnl, const std::u32string& text, table::Table& t);

}  // namespace zorv::cli

#endif
