// The zorv command: puts the WHERE-clause library in a user's hands over a CSV or TSV table.
// `filter` prints the rows a clause selects, `explain` draws the tree of a clause (bound to
// the table and optimised, or as parsed), `check` tells whether a clause is well formed and
// fits the table, `columns` lists the table's columns. Exit status: 0 success, 1 an error in the
// clause, 2 a usage, table, input, output or start-up error.
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/clauses.h"
#include "cli/filter.h"
#include "cli/session.h"
#include "cli/tables.h"
#include "cli/text.h"
#include "cli/tree_formats.h"

namespace {

using zorv::cli::FilterRequest;
using zorv::cli::Session;
using zorv::cli::TableChoice;
using zorv::table::Table;

using zorv::cli::fail;
using zorv::cli::kExitClause;
using zorv::cli::kExitOk;
using zorv::cli::kExitUsage;

// Standard output is a pipe whose reader has gone. A failed write's errno does not always
// reach finish (a later call of the C library may set another), so the pipe is asked.
bool reader_gone() {
    struct stat st;
    if (::fstat(STDOUT_FILENO, &st) != 0 || !S_ISFIFO(st.st_mode)) return false;
    pollfd p{STDOUT_FILENO, POLLOUT, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLERR) != 0;
}

// Ends a command whose status is rc: everything it wrote must have arrived. The journal
// keeps the first failure of its streams; what the command printed itself went through
// stdout and stderr too. A failed write makes the status 2, said on stderr when stderr is
// what still works. A reader of standard output that went away (zorv explain ... | head)
// wanted no more: that ends the command quietly with its own status, as it does the filter.
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
    if (stream == 1 && (error == EPIPE || reader_gone())) return rc;
    if (error != 0 && stream == 1)
        fail(kExitUsage, std::string("cannot write to standard output: ") + std::strerror(error));
    if (std::fflush(stderr) != 0 || std::ferror(stderr)) return kExitUsage;
    return error != 0 ? kExitUsage : rc;
}

struct Options {
    std::vector<std::string> traces;
    std::string stage = "resolved";
    std::string format = "text";  // explain: text, json or dot
    std::string clause;
    std::vector<std::string> ands;  // explain: clauses joined to the clause under AND
    zorv::cli::TableChoice table;
    zorv::cli::FilterRequest filter;  // filter's own options
};

uint32_t option_bits(const Options& o) {
    uint32_t bits = 0;
    for (const std::string& t : o.traces)
        bits |= t == "tokens" ? ZORV_OPT_TOKTRACE : ZORV_OPT_SEMTRACE;
    return bits;
}

// Opens the chosen table and binds the parsed clauses to its columns.
int bind_to_table(zorv::cli::JoinedClauses& clauses, const TableChoice& choice) {
    std::string error;
    const std::unique_ptr<Table> t = zorv::cli::open_table(choice, &error);
    return t ? clauses.resolve(*t) : fail(kExitUsage, error);
}

int run_explain(const Options& o) {
    const bool resolved = o.stage == "resolved";
    std::string error;
    if (!o.ands.empty() && !resolved)
        return fail(kExitUsage, "--and joins clauses bound to a table: give --stage resolved");
    error =
        zorv::cli::standard_input_conflict(o.clause, o.ands, resolved ? o.table : TableChoice{});
    if (!error.empty()) return fail(kExitUsage, error);
    auto session = Session::open(option_bits(o), &error);
    if (!session) return fail(kExitUsage, error);
    zorv::cli::JoinedClauses clauses(*session);
    int rc = clauses.parse(o.clause, o.ands, option_bits(o));
    if (rc == kExitOk && resolved) rc = bind_to_table(clauses, o.table);
    ZInst* inst = session->inst();
    if (rc == kExitOk && o.format == "text") inst->Print(inst, session->journal());
    if (rc == kExitOk && o.format != "text") {
        const std::string shown = o.format == "json" ? zorv::cli::tree_json(inst, inst->root) + "\n"
                                                     : zorv::cli::tree_dot(inst, inst->root);
        std::fwrite(shown.data(), 1, shown.size(), stdout);
    }
    return finish(rc, session->journal());
}

int run_check(const Options& o) {
    std::string error = zorv::cli::standard_input_conflict(o.clause, {}, o.table);
    if (!error.empty()) return fail(kExitUsage, error);
    auto session = Session::open(option_bits(o), &error);
    if (!session) return fail(kExitUsage, error);
    zorv::cli::JoinedClauses clause(*session);
    int rc = clause.parse(o.clause, {}, option_bits(o));
    if (rc == kExitOk) rc = bind_to_table(clause, o.table);
    return finish(rc, session->journal());
}

int run_columns(const Options& o) {
    std::string error;
    const std::unique_ptr<Table> t = zorv::cli::open_table(o.table, &error);
    if (!t) return finish(fail(kExitUsage, error), nullptr);
    zorv::cli::print_columns(*t, stdout);
    return finish(kExitOk, nullptr);
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

// Clauses may begin with '-' (-x < 3, -.A IN (1)); on the command line such a word reads as
// an option, so it reaches the parser only after '--'. The first word before '--' that
// begins with '-' and is no option of the command (option values skipped), or "".
std::string stray_dash_word(CLI::App& app, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--") break;
        if (word.size() < 2 || word[0] != '-') continue;
        const std::string name = word.substr(0, word.find('='));
        const CLI::Option* opt = app.get_option_no_throw(name);
        for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; }))
            if (opt == nullptr) opt = sub->get_option_no_throw(name);
        if (opt == nullptr) return word;
        if (name.size() == word.size() && opt->get_type_size_min() > 0) ++i;  // its value
    }
    return "";
}

// An option name is '--' and a word; anything else that begins with '-' may be a clause.
bool looks_like_clause(const std::string& word) {
    if (word.rfind("--", 0) != 0 || word.size() < 3 ||
        !std::isalpha(static_cast<unsigned char>(word[2])))
        return true;
    const size_t end = word.find('=');
    for (size_t i = 2; i < std::min(end, word.size()); ++i) {
        const unsigned char c = static_cast<unsigned char>(word[i]);
        if (!std::isalnum(c) && c != '-') return true;
    }
    return false;
}

// A usage error from the argument parser, with a word on clauses that begin with '-'
// where one may be what went wrong: an unknown option that looks like a clause, or a
// missing clause (the clause may have been taken for an option).
int usage_error(CLI::App& app, const CLI::ParseError& e, int argc, char** argv) {
    std::string command = "explain";
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "check" || word == "explain" || word == "filter") {
            command = word;
            break;
        }
    }
    const std::string hint =
        "a clause that begins with '-' goes after '--': zorv " + command + " -- \"";
    const std::string stray = stray_dash_word(app, argc, argv);
    if (!stray.empty()) {
        std::string message = "unknown option '" + stray + "'";
        if (looks_like_clause(stray)) message += "; " + hint + stray + "\"";
        fail(kExitUsage, message);
    } else {
        fail(kExitUsage, e.what());
        if (dynamic_cast<const CLI::RequiredError*>(&e) != nullptr &&
            std::string(e.what()).find("clause") != std::string::npos)
            std::fprintf(stderr, "zorv: note: %s-x < 3\"\n", hint.c_str());
    }
    std::fprintf(stderr, "Run 'zorv --help' for usage.\n");
    return finish(kExitUsage, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    // A closed pipe on standard output is told by the failed write (EPIPE), not by a signal
    // that would end the command before it could tidy up (see finish).
    std::signal(SIGPIPE, SIG_IGN);
    Options o;
    CLI::App app{"zorv: filter tables with WHERE clauses; parse, explain and check clauses.",
                 "zorv"};
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
        "  zorv filter --input orders.csv \"qty > 5 AND city IN ('Oslo', 'Cork')\"\n"
        "  zorv explain \"price > 100 AND price <= 200 AND NOT (flag = 1)\"\n"
        "  zorv explain --stage parsed \"a < b <= c\"\n"
        "  zorv check --input orders.csv \"qty + 1 > 5\"\n"
        "  zorv columns --input orders.tsv\n"
        "  echo \"x = 1 OR\" | zorv check -    # exits 1 and says what is missing\n"
        "Without --input the bundled sample table (data/sample.csv) is used.\n"
        "A clause that begins with '-' goes after '--':  zorv explain -- \"-qty < 3\"\n"
        "Exit status: 0 success, 1 an error in the clause (syntax, an unknown column, operands\n"
        "of the wrong kind), 2 a usage, table, input, output or start-up error.");

    // --input and --delimiter, for every subcommand that reads a table.
    auto table_options = [&o](CLI::App* sub) {
        sub->add_option("--input", o.table.input,
                        "The table: a CSV or TSV file with a header row, '-' for standard "
                        "input (default: the bundled sample table)");
        sub->add_option("--delimiter", o.table.delimiter,
                        "The table's cell delimiter: one character, '\\t' for a tab (default: "
                        "a tab for *.tsv, else ',')")
            ->each([&o](const std::string&) { o.table.delimiter_given = true; });
    };
    const char* clause_help =
        "The clause, or '-' to read it from standard input; after '--' when it begins with '-'";

    FilterRequest& f = o.filter;
    CLI::App* filter = app.add_subcommand(
        "filter", "Print the rows of a table that a clause selects, as CSV (or their count)");
    filter->fallthrough();
    table_options(filter);
    filter
        ->add_option("--output", f.output,
                     "Write to FILE instead of standard output; FILE is replaced only once "
                     "the whole table has been read without error (a device or FIFO is "
                     "written as the rows come)")
        ->type_name("FILE");
    filter->add_flag("--count", f.count, "Print only the number of rows selected");
    filter->add_flag("--row-numbers", f.row_numbers,
                     "Print the numbers of the rows selected, one a line (1 is the first row "
                     "after the header)");
    filter
        ->add_option("--threads", f.threads,
                     "Threads that read and evaluate the rows (default: every core for a file "
                     "over 8 MB or a pipe, else 1)")
        ->check(CLI::Range(1, zorv::cli::kMaxThreads))
        ->type_name("N");
    filter
        ->add_option("--and", f.ands,
                     "Another clause the rows must meet as well; may be given more than once")
        ->allow_extra_args(false)
        ->type_name("CLAUSE");
    filter->add_option("clause", o.clause, clause_help)->required();
    filter->footer(
        "Writes the header, then every row the clause selects, each exactly as the table holds "
        "it\n"
        "(a cell with a quote inside but no quotes around is quoted), with the table's "
        "delimiter\n"
        "and line end. Without --input the bundled sample table (data/sample.csv) is read; "
        "'--input -'\n"
        "reads standard input, streamed when the header types every column (name:num, "
        "name:char(N)).\n"
        "Examples:\n"
        "  zorv filter \"price BETWEEN 100 AND 200 AND city =: 'O'\"\n"
        "  zorv filter --input orders.csv --count \"note IS MISSING\"\n"
        "  zorv filter --input big.csv --output picked.csv --and \"flag = 1\" \"qty > 10\"");

    CLI::App* explain = app.add_subcommand(
        "explain",
        "Show the clause's expression tree (a drawing, JSON or a Graphviz graph), bound to a "
        "table and optimised");
    explain->fallthrough();
    explain
        ->add_option("--stage", o.stage,
                     "Which tree to draw: 'resolved' (bound to the table's columns, typed and "
                     "optimised; the default) or 'parsed' (as the parser built it; no table)")
        ->check(CLI::IsMember({"parsed", "resolved"}));
    explain
        ->add_option("--format", o.format,
                     "How to show the tree: 'text' (the drawing; the default), 'json' (one "
                     "JSON document on one line, see the README) or 'dot' (a Graphviz graph)")
        ->check(CLI::IsMember({"text", "json", "dot"}));
    table_options(explain);
    explain
        ->add_option("--and", o.ands,
                     "Another clause joined to the clause under AND, as filter joins it; may be "
                     "given more than once")
        ->allow_extra_args(false)
        ->type_name("CLAUSE");
    explain->add_option("clause", o.clause, clause_help)->required();
    explain->footer(
        "Examples:\n"
        "  zorv explain \"qty > 1 AND qty <= 5 OR city IN ('Oslo', 'Cork')\"\n"
        "  zorv explain --format json \"qty > 1\" | python3 -m json.tool\n"
        "  zorv explain --and \"qty < 9\" \"qty > 1 OR city = 'Oslo'\"\n"
        "  zorv explain --format dot \"qty > 1 OR city =: 'B'\" | dot -Tsvg > tree.svg");

    CLI::App* check = app.add_subcommand(
        "check",
        "Exit 0 when a clause is well formed and fits the table; otherwise say why, exit 1");
    check->fallthrough();
    table_options(check);
    check->add_option("clause", o.clause, clause_help)->required();
    check->footer(
        "Example:\n  zorv check \"price + name > 1\"    # '+' on a character column: exits 1");

    CLI::App* columns =
        app.add_subcommand("columns", "List the table's columns: name, kind and width");
    columns->fallthrough();
    table_options(columns);
    columns->footer("Example:\n  zorv columns --input orders.tsv");

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
        return usage_error(app, e, argc, argv);
    }

    if (version) return run_version();
    if (filter->parsed()) {
        f.clause = o.clause;
        f.table = o.table;
        f.option_bits = option_bits(o);
        return finish(zorv::cli::run_filter(f), nullptr);
    }
    if (explain->parsed()) return run_explain(o);
    if (check->parsed()) return run_check(o);
    if (columns->parsed()) return run_columns(o);
    // No subcommand: say what there is, as for any other usage error.
    std::cerr << app.help();
    return finish(kExitUsage, nullptr);
}
