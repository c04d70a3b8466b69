// `zorv filter`. The clause and every --and clause are parsed first, so a mistake in one is
// told before a large table is read; then the table is opened (its schema pass, if it needs
// one, spread over the threads), the clauses are bound to its columns, joined under one AND
// and transformed, and the table's rows are scanned block by block: each row's record holds
// only the columns the clauses use, ZORVEval decides on it, and a selected row's bytes are
// copied to the block's output, which is written in the table's order.
#include "cli/filter.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <csignal>
#include <memory>
#include <thread>

#include "cli/clauses.h"
#include "cli/output.h"
#include "cli/progress.h"
#include "cli/session.h"

namespace zorv::cli {
namespace {

enum class Mode { kRows, kCount, kNumbers };

// What the rows of one block gave, kept until the block's turn to be written comes.
struct Slot {
    std::string text;             // selected rows as CSV, each with its line end
    std::vector<int64_t> picked;  // --row-numbers: indexes of selected rows in the block
    int64_t selected = 0;
};

// Evaluates the clause on each row (on the scan's threads, all sharing the one instance:
// ZORVEval is safe to call from several at once) and writes each block's output in turn.
class FilterTask final : public table::RowTask {
  public:
    FilterTask(ZInst* inst, Mode mode, std::string_view line_end, Output& out, Progress& progress)
        : inst_(inst), mode_(mode), line_end_(line_end), out_(out), progress_(progress) {}

    int64_t selected() const { return selected_; }

    void start(int32_t slots) override { slots_.resize(static_cast<size_t>(slots)); }

    void row(int32_t slot, const table::RowView& row) override {
        if (inst_->Eval(inst_, row.record(), nullptr, nullptr) == 0) return;
        Slot& s = slots_[static_cast<size_t>(slot)];
        ++s.selected;
        if (mode_ == Mode::kRows) {
            row.append_csv(&s.text);
            s.text.append(line_end_);
        } else if (mode_ == Mode::kNumbers) {
            s.picked.push_back(row.index());
        }
    }

    bool done(int32_t slot, int64_t first, int64_t rows, uint64_t bytes) override {
        Slot& s = slots_[static_cast<size_t>(slot)];
        for (const int64_t i : s.picked) {
            char digits[24];
            const auto end = std::to_chars(digits, digits + sizeof digits, first + i).ptr;
            s.text.append(digits, end);
            s.text.push_back('\n');
        }
        const bool ok = (s.text.empty() || out_.write(s.text)) && out_.good();
        selected_ += s.selected;
        rows_ += rows;
        bytes_ += bytes;
        s.text.clear();
        s.picked.clear();
        s.selected = 0;
        progress_.filtering(bytes_, rows_, selected_);
        return ok;
    }

  private:
    ZInst* inst_;
    Mode mode_;
    std::string_view line_end_;
    Output& out_;
    Progress& progress_;
    std::vector<Slot> slots_;
    int64_t selected_ = 0;
    int64_t rows_ = 0;
    uint64_t bytes_ = 0;
};

uint64_t input_size(const TableChoice& table) {
    struct stat st;
    const int rc =
        table.input == "-" ? ::fstat(STDIN_FILENO, &st) : ::stat(table_path(table).c_str(), &st);
    return rc == 0 && S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
}

int32_t cores() {
    const unsigned n = std::thread::hardware_concurrency();
    return std::clamp<int32_t>(static_cast<int32_t>(n), 1, kMaxThreads);
}

}  // namespace

int32_t default_threads(const TableChoice& table) {
    if (table.input.empty()) return 1;  // the sample table is small
    struct stat st;
    const bool regular = table.input == "-"
                             ? ::fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode)
                             : ::stat(table.input.c_str(), &st) != 0 || S_ISREG(st.st_mode);
    if (!regular) return cores();
    return input_size(table) > kThreadedBytes ? cores() : 1;
}

int run_filter(const FilterRequest& r) {
    if (r.count && r.row_numbers)
        return fail(kExitUsage, "--count and --row-numbers exclude each other: give one");
    const std::string shared = standard_input_conflict(r.clause, r.ands, r.table);
    if (!shared.empty()) return fail(kExitUsage, shared);
    // A reader of standard output that goes away ends the run quietly: the failed write
    // says so (EPIPE) instead of the signal killing the command.
    std::signal(SIGPIPE, SIG_IGN);

    std::string error;
    auto session = Session::open(r.option_bits, &error);
    if (!session) return fail(kExitUsage, error);
    ZInst* inst = session->inst();
    JoinedClauses clauses(*session);
    if (const int rc = clauses.parse(r.clause, r.ands, r.option_bits)) return rc;

    const int32_t threads = r.threads > 0 ? r.threads : default_threads(r.table);
    Progress progress(input_size(r.table));
    table::TableOptions options;
    options.threads = threads;
    options.progress = [&progress](uint64_t bytes, int64_t rows) {
        progress.learning(bytes, rows);
    };
    // Only the columns the clauses name need their kinds and widths learnt.
    clauses.column_keys(&options.learn);
    std::unique_ptr<table::Table> t = open_table(r.table, &error, options);
    progress.clear();
    if (!t) return fail(kExitUsage, error);
    if (const int rc = clauses.resolve(*t)) return rc;

    Output out;
    if (!r.output.empty() && !out.open_file(r.output, &error)) return fail(kExitUsage, error);
    const Mode mode = r.count ? Mode::kCount : r.row_numbers ? Mode::kNumbers : Mode::kRows;
    if (mode == Mode::kRows) out.write(t->header_csv() + std::string(t->line_end()));
    FilterTask task(inst, mode, t->line_end(), out, progress);
    table::ReadOptions read;
    read.bound_only = true;
    read.keep_bytes = false;
    table::TableError failure;
    const bool read_all = !out.closed() && t->scan(read, threads, task, &failure);
    progress.clear();
    if (out.closed()) return kExitOk;
    if (!read_all && !failure.message.empty()) return fail(kExitUsage, failure.text());
    if (mode == Mode::kCount) out.write(std::to_string(task.selected()) + "\n");
    if (out.closed()) return kExitOk;
    if (!out.commit()) return fail(kExitUsage, out.error_text());
    return kExitOk;
}

}  // namespace zorv::cli
