// The steps every subcommand takes with a clause: its text from the command line or standard
// input, the parse, and the binding to a table's columns, each failure told to the user the
// same way whichever subcommand meets it.
#ifndef ZORV_CLI_CLAUSES_H
#define ZORV_CLI_CLAUSES_H

#include <memory>
#include <string>
#include <vector>

#include "cli/session.h"
#include "cli/tables.h"
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

// "" when at most one of the clause, the --and clauses and the table comes from standard
// input ("-"); otherwise what to tell the user, since they cannot share it.
std::string standard_input_conflict(const std::string& clause, const std::vector<std::string>& ands,
                                    const TableChoice& table);

// A clause and its --and clauses. The first is parsed in the session's instance and each
// further one in an instance of its own; each is bound to the table, and then all are joined
// under one AND in the first instance and transformed together. The further instances live
// as long as this: the joined tree may point into them (a long constant is copied as a
// pointer to its text).
class JoinedClauses {
  public:
    explicit JoinedClauses(Session& session) : session_(session) {}

    // Reads every clause's text (kExitUsage when one cannot be read), then parses each:
    // kExitOk, or kExitClause once the engine and the library have said what is wrong.
    int parse(const std::string& clause, const std::vector<std::string>& ands,
              uint32_t option_bits);
    // Adds the keys of the columns the parsed clauses name, so that a table learns those
    // columns alone.
    void column_keys(std::vector<std::string>* keys) const;
    // Binds every clause to the table, then joins and transforms them: kExitOk, or
    // kExitClause once stderr says why.
    int resolve(table::Table& t);

  private:
    struct Closer {
        void operator()(ZInst* inst) const { inst->Destroy(inst); }
    };
    Session& session_;
    std::vector<std::u32string> texts_;
    std::vector<std::unique_ptr<ZInst, Closer>> others_;
};

}  // namespace zorv::cli

#endif
