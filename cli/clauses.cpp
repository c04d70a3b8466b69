// Reading, parsing and binding a clause for the subcommands.
#include "cli/clauses.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "cli/diagnose.h"
#include "cli/tables.h"
#include "cli/text.h"

namespace zorv::cli {

int fail(int code, const std::string& message) {
    std::fprintf(stderr, "zorv: error: %s\n", message.c_str());
    return code;
}

bool clause_text(const std::string& arg, std::u32string* text, std::string* error) {
    std::string bytes = arg;
    std::string where = "the clause";
    if (arg == "-") {
        bytes.clear();
        if (const int e = read_all(0, &bytes)) {
            *error = std::string("cannot read the clause from standard input: ") + std::strerror(e);
            return false;
        }
        where = "the clause on standard input";
    }
    size_t bad = 0;
    auto decoded = decode_utf8(bytes, &bad);
    if (!decoded) {
        *error = where + " is not valid UTF-8 (byte " + std::to_string(bad + 1) + ")";
        return false;
    }
    if (decoded->size() > static_cast<size_t>(INT32_MAX)) {
        *error = where + " is too long";
        return false;
    }
    *text = std::move(*decoded);
    if (arg == "-") skip_byte_order_mark(text);
    return true;
}

// The engine and the library report what is wrong with a clause themselves; other failures
// get a line of their own here.
int parse_clause(ZInst* inst, NQJournal* jnl, const std::u32string& text) {
    const NQStatus status = inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), jnl);
    if (status == 0) return kExitOk;
    switch (status) {
        case NQ_STATUS_SYNTAX:
        case NQ_STATUS_TOO_DEEP:
        case NQ_STATUS_SEMANTIC:
        case NQ_STATUS_LEXICAL:
        case ZORV_PARSE_TOO_DEEP:
            break;
        default:
            std::fflush(stdout);
            std::fprintf(stderr, "zorv: error: the clause could not be parsed (status 0x%08X)\n",
                         static_cast<unsigned>(status));
    }
    return kExitClause;
}

int resolve_clause(ZInst* inst, NQJournal* jnl, const std::u32string& text, table::Table& t) {
    const int32_t status = inst->Resolve(inst, jnl, table::Table::lookup, &t);
    if (status == 0) return kExitOk;
    if (status == table::kUnknownColumn) {
        std::fputs(unknown_column_message(t).c_str(), stderr);
        return kExitClause;
    }
    // The second parse succeeds as the first did; its traces, if asked for, would only
    // repeat the first's, so they go to a journal that is never shown.
    NQJournal* quiet = zhost_open_capture_journal();
    const NQStatus again =
        quiet == nullptr ? NQ_STATUS_NO_MEMORY
                         : inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), quiet);
    const std::string message = resolve_failure(status, again == 0 ? inst->Root(inst) : nullptr, t);
    if (quiet != nullptr) zhost_close_journal(quiet);
    return fail(kExitClause, message);
}

}  // namespace zorv::cli
