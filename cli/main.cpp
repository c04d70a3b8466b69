// The zorv command: puts the WHERE-clause library in a user's hands. `explain` draws the
// tree of a clause, `check` tells whether a clause is well formed. Exit status: 0 success,
// 1 an error in the clause, 2 a usage, input, output or start-up error.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/session.h"
#include "cli/text.h"

namespace {

using zorv::cli::Session;

constexpr int kExitOk = 0;
constexpr int kExitClause = 1;
constexpr int kExitUsage = 2;

int fail(int code, const std::string& message) {
    std::fprintf(stderr, "zorv: error: %s\n", message.c_str());
    return code;
}

// Ends a command whose status is rc: everything it wrote must have arrived. The journal
// keeps the first failure of its streams; what the command printed itself went through
// stdout and stderr too. A failed write makes the status 2, said on stderr when stderr is
// what still works.
int finish(int rc, NQJournal* jnl) {
    int stream = 0;
    int error = jnl != nullptr ? zhost_journal_flush(jnl, &stream) : 0;
    if (error == 0) {
        errno = 0;
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            error = errno != 0 ? errno : EIO;
            stream = 1;
        }
    }
    if (error != 0 && stream == 1)
        fail(kExitUsage, std::string("cannot write to standard output: ") + std::strerror(error));
    if (std::fflush(stderr) != 0 || std::ferror(stderr)) return kExitUsage;
    return error != 0 ? kExitUsage : rc;
}

struct Options {
    std::vector<std::string> traces;
    std::string stage = "parsed";
    std::string clause;
};

uint32_t option_bits(const Options& o) {
    uint32_t bits = 0;
    for (const std::string& t : o.traces)
        bits |= t == "tokens" ? ZORV_OPT_TOKTRACE : ZORV_OPT_SEMTRACE;
    return bits;
}

// The clause as wide characters: the argument itself, or standard input for "-".
bool clause_text(const std::string& arg, std::u32string* text, std::string* error) {
    std::string bytes = arg;
    std::string where = "the clause";
    if (arg == "-") {
        bytes.clear();
        if (const int e = zorv::cli::read_all(0, &bytes)) {
            *error = std::string("cannot read the clause from standard input: ") + std::strerror(e);
            return false;
        }
        where = "the clause on standard input";
    }
    size_t bad = 0;
    auto decoded = zorv::cli::decode_utf8(bytes, &bad);
    if (!decoded) {
        *error = where + " is not valid UTF-8 (byte " + std::to_string(bad + 1) + ")";
        return false;
    }
    if (decoded->size() > static_cast<size_t>(INT32_MAX)) {
        *error = where + " is too long";
        return false;
    }
    *text = std::move(*decoded);
    if (arg == "-") zorv::cli::skip_byte_order_mark(text);
    return true;
}

// Parses the clause into the session's instance. The engine and the library report what
// is wrong with a clause themselves; other failures get a line of their own here.
int parse_clause(Session& s, const std::u32string& text) {
    ZInst* inst = s.inst();
    const NQStatus status =
        inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), s.journal());
    if (status == 0) return kExitOk;
    switch (status) {
        case NQ_STATUS_SYNTAX:
        case NQ_STATUS_TOO_DEEP:
        case NQ_STATUS_SEMANTIC:
        case NQ_STATUS_LEXICAL:
            break;
        default:
            std::fflush(stdout);
            std::fprintf(stderr, "zorv: error: the clause could not be parsed (status 0x%08X)\n",
                         static_cast<unsigned>(status));
    }
    return kExitClause;
}

int run_explain(const Options& o) {
    std::u32string text;
    std::string error;
    if (!clause_text(o.clause, &text, &error)) return fail(kExitUsage, error);
    auto session = Session::open(option_bits(o), &error);
    if (!session) return fail(kExitUsage, error);
    const int rc = parse_clause(*session, text);
    if (rc == kExitOk) session->inst()->Print(session->inst(), session->journal());
    return finish(rc, session->journal());
}

int run_check(const Options& o) {
    std::u32string text;
    std::string error;
    if (!clause_text(o.clause, &text, &error)) return fail(kExitUsage, error);
    auto session = Session::open(option_bits(o), &error);
    if (!session) return fail(kExitUsage, error);
    return finish(parse_clause(*session, text), session->journal());
}

int run_version() {
    std::string error;
    auto session = Session::open(0, &error);
    if (!session) return fail(kExitUsage, error);
    int32_t a = 0, b = 0, c = 0;
    session->ext()->GetVersion(session->ext(), &a, &b, &c);
    std::printf("zorv %d.%d.%d\n", a, b, c);
    return finish(kExitOk, session->journal());
}

// A first word that names no subcommand: say so, with the ones there are.
int unknown_subcommand(CLI::App& app, const std::string& word) {
    std::string names;
    for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
        names += (names.empty() ? "" : ", ") + sub->get_name();
    fail(kExitUsage, "unknown subcommand '" + word + "' (the subcommands are " + names + ")");
    std::fprintf(stderr, "Run 'zorv --help' for usage.\n");
    return finish(kExitUsage, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    CLI::App app{"zorv: parse, explain and check WHERE clauses.", "zorv"};
    app.require_subcommand(0, 1);
    bool version = false;
    app.add_flag("--version", version, "Print the library's version and exit");
    app.add_option("--trace", o.traces,
                   "Trace to standard error: 'tokens' (every token) or 'actions' (every "
                   "semantic action); may be given twice")
        ->check(CLI::IsMember({"tokens", "actions"}))
        ->allow_extra_args(false);
    app.footer(
        "Examples:\n"
        "  zorv explain \"age > 30 AND name IN ('Ann', 'Bo')\"\n"
        "  zorv check \"x = 1 OR\"          # exits 1 and says what is missing\n"
        "  echo \"a < b <= c\" | zorv explain -\n"
        "A clause that starts with '-' follows '--':  zorv explain -- \"-x > 1\"\n"
        "Exit status: 0 success, 1 an error in the clause, 2 a usage, input, output or start-up "
        "error.");

    CLI::App* explain = app.add_subcommand(
        "explain", "Parse a clause and draw its expression tree on standard output");
    explain->fallthrough();
    explain->add_option("--stage", o.stage, "Which tree to draw: 'parsed' (as the parser built it)")
        ->check(CLI::IsMember({"parsed"}));
    explain->add_option("clause", o.clause, "The clause, or '-' to read it from standard input")
        ->required();
    explain->footer("Example:\n  zorv explain \"price * 2 > 10 AND NOT flag\"");

    CLI::App* check = app.add_subcommand(
        "check", "Exit 0 when a clause is well formed; otherwise explain why and exit 1");
    check->fallthrough();
    check->add_option("clause", o.clause, "The clause, or '-' to read it from standard input")
        ->required();
    check->footer("Example:\n  zorv check \"x IN (1, 2\"     # syntax error: exits 1");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return finish(app.exit(e), nullptr);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return finish(app.exit(e), nullptr);
        // Words left over with no subcommand taken: the first stood where one belongs.
        if (dynamic_cast<const CLI::ExtrasError*>(&e) && app.get_subcommands().empty() &&
            !app.remaining().empty())
            return unknown_subcommand(app, app.remaining().front());
        std::fprintf(stderr, "zorv: error: %s\nRun 'zorv --help' for usage.\n", e.what());
        return finish(kExitUsage, nullptr);
    }

    if (version) return run_version();
    if (explain->parsed()) return run_explain(o);
    if (check->parsed()) return run_check(o);
    // No subcommand: say what there is, as for any other usage error.
    std::cerr << app.help();
    return finish(kExitUsage, nullptr);
}
