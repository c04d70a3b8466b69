// Reading, parsing and binding a clause for the subcommands.
#include "cli/clauses.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "cli/diagnose.h"
#include "cli/text.h"
#include "frame/nodekinds.h"
#include "frame/nodeutil.h"

namespace zorv::cli {

int fail(int code, const std::string& message) {
    std::fprintf(stderr, "zorv: error: %s\n", message.c_str());
    return code;
}

namespace {

// The clause as wide characters: the argument itself, or standard input for "-". Returns
// false with a message when it cannot be read or is not UTF-8.
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

// Parses the clause into the instance: kExitOk, or kExitClause once stderr says why. The
// engine and the library report what is wrong with a clause themselves; other failures get
// a line of their own here.
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

// Binds the parsed clause to the table's columns and types it (ZORVResolve, which then
// transforms the tree): kExitOk, or kExitClause once stderr says why. An unknown column is
// told with the names the user may have meant; any other refusal through a second parse of
// the same text that cli/diagnose.cpp types operator by operator.
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

}  // namespace

std::string standard_input_conflict(const std::string& clause, const std::vector<std::string>& ands,
                                    const TableChoice& table) {
    const auto users =
        (clause == "-") + (table.input == "-") + std::count(ands.begin(), ands.end(), "-");
    if (users <= 1) return "";
    return ands.empty() ? "the clause and the table cannot both come from standard input"
                        : "only one of the clause, the --and clauses and the table can come from "
                          "standard input";
}

namespace {

// Recursive: the parse driver bounds a tree's depth (ZORV_MAX_DEPTH levels).
void keys_of(ZNode* node, std::vector<std::string>* keys) {
    if (node == nullptr) return;
    if (node->type == Z_NAME) {
        const size_t n =
            std::clamp<size_t>(static_cast<size_t>(std::max<int16_t>(node->u.nm.namelen, 0)), 0,
                               sizeof node->u.nm.name);
        keys->emplace_back(node->u.nm.name, n);
    } else if (zkind::is_operator(node->type)) {
        for (ArgCursor it(node); !it.done(); it.next()) keys_of(it.get(), keys);
    }
}

}  // namespace

int JoinedClauses::parse(const std::string& clause, const std::vector<std::string>& ands,
                         uint32_t option_bits) {
    std::string error;
    texts_.assign(1 + ands.size(), {});
    if (!clause_text(clause, &texts_[0], &error)) return fail(kExitUsage, error);
    for (size_t i = 0; i < ands.size(); ++i)
        if (!clause_text(ands[i], &texts_[i + 1], &error)) return fail(kExitUsage, error);
    NQJournal* jnl = session_.journal();
    if (const int rc = parse_clause(session_.inst(), jnl, texts_[0])) return rc;
    for (size_t i = 1; i < texts_.size(); ++i) {
        const uintptr_t words[2] = {option_bits, 0};
        ZExt* ext = session_.ext();
        others_.emplace_back(ext->Create(ext, words, jnl, "zorv --and"));
        if (!others_.back()) return fail(kExitUsage, "cannot create a clause instance");
        if (const int rc = parse_clause(others_.back().get(), jnl, texts_[i])) return rc;
    }
    return kExitOk;
}

void JoinedClauses::column_keys(std::vector<std::string>* keys) const {
    keys_of(session_.inst()->Root(session_.inst()), keys);
    for (const auto& other : others_) keys_of(other->Root(other.get()), keys);
}

int JoinedClauses::resolve(table::Table& t) {
    ZInst* inst = session_.inst();
    NQJournal* jnl = session_.journal();
    if (const int rc = resolve_clause(inst, jnl, texts_[0], t)) return rc;
    for (size_t i = 1; i < texts_.size(); ++i)
        if (const int rc = resolve_clause(others_[i - 1].get(), jnl, texts_[i], t)) return rc;
    for (const auto& other : others_) {
        inst->And(inst, other.get(), jnl);
        // ZORVAnd copies the nodes with the work-area offsets that their own clause's
        // binding gave them, counted from 0 as the main clause's are. The operands of an
        // AND are evaluated one after another and leave only a truth value behind, so one
        // area as large as the largest clause's serves them all; no evaluation has taken
        // an area yet, so the size may still change.
        inst->worksize = std::max(inst->worksize, other->worksize);
        inst->workcap = std::max(inst->workcap, other->workcap);
    }
    if (!others_.empty()) ZORVTran(inst, jnl);
    return kExitOk;
}

}  // namespace zorv::cli
