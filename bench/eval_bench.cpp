// Evaluation speed on one million rows, each clause measured three ways in the same run:
// zorv (the clause parsed, resolved and transformed once, then ZORVEval on every row record),
// SQLite (the same rows in an in-memory database, SELECT count(*) with the equivalent SQL
// through one prepared statement) and the clause written by hand as a C++ loop over the
// same row structs, which is the limit. zorv also runs on two threads sharing one instance.
// The rows are a C++ struct bound by a callback of our own (eval_rows.h) rather than read
// through the table module: the hand loop then reads exactly the bytes ZORVEval reads.
// Before anything is timed the three must count the same rows for every clause, and every
// timed pass checks its count again: a disagreement aborts with the clause and the counts.
// Targets: at least 4x SQLite's rows/s on every clause, within 10x of the hand loop, and no
// allocation per evaluated row; the summary after the run says which are met.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/alloc_count.h"
#include "bench/bench_host.h"
#include "bench/eval_rows.h"
#include "bench/report.h"

namespace zbench {
namespace {

constexpr size_t kRows = 1000000;

// ---- the clauses, each as zorv text, as SQL and as a hand-written predicate ----

// The constants of the 1,000-element IN list: distinct ids spread over 0..99999 (7919 is
// prime to 100000), in no particular order; about 1% of the rows match one.
std::vector<double> in_list_values() {
    std::vector<double> v;
    for (int i = 0; i < 1000; ++i) v.push_back((i * 7919 + 13) % 100000);
    return v;
}

std::string in_list_text() {
    std::string text;
    for (double v : in_list_values())
        text += (text.empty() ? "" : ", ") + std::to_string(static_cast<int>(v));
    return "k IN (" + text + ")";
}

// Hand-written predicates: what a programmer writes for one fixed table. Missing values are
// NaNs, so every comparison with one is false without a test, as in the clause (a missing x
// is below every number, and no clause here asks for x below something on its own).
constexpr NQWChar kAbPadded[kCodeWidth] = {'a', 'b', ' ', ' '};
constexpr NQWChar kUpperAbPadded[kCodeWidth] = {'A', 'B', ' ', ' '};

struct RangeAndIn {
    bool operator()(const Row& r) const {
        return r.x > 5 && r.x < 10 && (r.y == 1 || r.y == 2 || r.y == 3);
    }
};
struct CharOrNumber {
    bool operator()(const Row& r) const {
        return std::memcmp(r.s, kAbPadded, sizeof kAbPadded) == 0 || r.x > 19;
    }
};
struct FirstCharacter {
    bool operator()(const Row& r) const { return r.s[0] == 'a'; }
};
struct Arithmetic {
    bool operator()(const Row& r) const { return r.x * 2 + r.y > 30; }
};
struct Contains {
    bool operator()(const Row& r) const {
        return std::u32string_view(r.w, kWordsWidth).find(U"fox") != std::u32string_view::npos;
    }
};
struct Upcase {
    bool operator()(const Row& r) const {
        for (size_t i = 0; i < kCodeWidth; ++i) {
            const NQWChar c = r.s[i];
            if ((c >= 'a' && c <= 'z' ? c - 32 : c) != kUpperAbPadded[i]) return false;
        }
        return true;
    }
};
struct InList {
    static const std::vector<double>& sorted() {
        static const std::vector<double> v = [] {
            std::vector<double> s = in_list_values();
            std::sort(s.begin(), s.end());
            return s;
        }();
        return v;
    }
    bool operator()(const Row& r) const {
        const std::vector<double>& v = sorted();
        return std::binary_search(v.begin(), v.end(), r.k);
    }
};

template <class Pred>
int64_t count_where(const Row* rows, size_t begin, size_t end) {
    int64_t n = 0;
    for (size_t i = begin; i < end; ++i) n += Pred{}(rows[i]) ? 1 : 0;
    return n;
}

struct Clause {
    const char* name;
    std::string zorv;  // the clause as zorv reads it
    std::string sql;   // the WHERE of the equivalent SQL over table t
    int64_t (*loop)(const Row* rows, size_t begin, size_t end);
};

const std::vector<Clause>& clauses() {
    // SQL stores character values without their padding; zorv compares blank-padded values
    // and the generated text has no trailing blanks of its own, so `=` means the same. The
    // colon comparison compares over the shorter length: the first character here; of the
    // SQL that says so, GLOB (case-sensitive, unlike LIKE) is SQLite's fastest.
    static const std::vector<Clause> all = {
        {"range_in", "x > 5 AND x < 10 AND y IN (1, 2, 3)", "x > 5 AND x < 10 AND y IN (1, 2, 3)",
         count_where<RangeAndIn>},
        {"char_or_num", "s = 'ab' OR x > 19", "s = 'ab' OR x > 19", count_where<CharOrNumber>},
        {"colon", "s =: 'a'", "s GLOB 'a*'", count_where<FirstCharacter>},
        {"arith", "x * 2 + y > 30", "x * 2 + y > 30", count_where<Arithmetic>},
        {"contains", "w CONTAINS 'fox'", "instr(w, 'fox') > 0", count_where<Contains>},
        {"upcase", "UPCASE(s) = 'AB'", "upper(s) = 'AB'", count_where<Upcase>},
        {"in_1000", in_list_text(), in_list_text(), count_where<InList>},
    };
    return all;
}

[[noreturn]] void fail(const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "eval_bench: %s\n", message.c_str());
    std::abort();
}

// ---- the three engines ----

int64_t count_zorv(ZInst* inst, const Row* rows, size_t begin, size_t end) {
    const ZORVEvalFn eval = inst->Eval;
    int64_t n = 0;
    for (size_t i = begin; i < end; ++i) n += eval(inst, &rows[i], nullptr, nullptr);
    return n;
}

int64_t count_sqlite(sqlite3_stmt* stmt) {
    if (sqlite3_step(stmt) != SQLITE_ROW) fail("SQLite: the count query returned no row");
    const int64_t n = sqlite3_column_int64(stmt, 0);
    sqlite3_reset(stmt);
    return n;
}

void check_sqlite(sqlite3* db, int rc, const char* what) {
    if (rc != SQLITE_OK && rc != SQLITE_DONE)
        fail(std::string("SQLite: ") + what + ": " + sqlite3_errmsg(db));
}

// The rows in an in-memory database, one table t with the natural column types; a missing
// x is NULL, which every clause here treats as zorv treats a missing value (false).
sqlite3* load_sqlite(const std::vector<Row>& rows) {
    sqlite3* db = nullptr;
    if (sqlite3_open(":memory:", &db) != SQLITE_OK) fail("SQLite: cannot open a memory database");
    check_sqlite(db,
                 sqlite3_exec(db,
                              "CREATE TABLE t(x REAL, y INTEGER, k INTEGER, s TEXT, w TEXT);"
                              "BEGIN",
                              nullptr, nullptr, nullptr),
                 "create");
    sqlite3_stmt* ins = nullptr;
    check_sqlite(db,
                 sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?, ?)", -1, &ins, nullptr),
                 "prepare insert");
    for (const Row& r : rows) {
        if (std::isnan(r.x))
            sqlite3_bind_null(ins, 1);
        else
            sqlite3_bind_double(ins, 1, r.x);
        sqlite3_bind_int64(ins, 2, static_cast<int64_t>(r.y));
        sqlite3_bind_int64(ins, 3, static_cast<int64_t>(r.k));
        const std::string s = trimmed(r.s, kCodeWidth), w = trimmed(r.w, kWordsWidth);
        sqlite3_bind_text(ins, 4, s.data(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(ins, 5, w.data(), static_cast<int>(w.size()), SQLITE_TRANSIENT);
        check_sqlite(db, sqlite3_step(ins), "insert");
        sqlite3_reset(ins);
    }
    sqlite3_finalize(ins);
    check_sqlite(db, sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), "commit");
    return db;
}

// ---- the shared state: rows, database, prepared instances, verified counts ----

struct Prepared {
    std::unique_ptr<Host> host;  // its instance holds the clause, resolved and transformed
    sqlite3_stmt* stmt = nullptr;
    int64_t expected = 0;   // rows selected, agreed by all three
    double prepare_us = 0;  // parse + resolve (+ transform), mean of several runs
};

class Fixture {
  public:
    // Built by the first benchmark that needs it: generation, loading and the count check
    // take a few seconds that runs of other benchmarks should not pay.
    static Fixture& get() {
        static Fixture f;
        return f;
    }
    const std::vector<Row>& rows() const { return rows_; }
    Prepared& clause(size_t c) { return prepared_[c]; }
    bool zorv_ready() const { return zorv_ready_; }

  private:
    Fixture() : rows_(make_rows(kRows)), db_(load_sqlite(rows_)) {
        zorv_ready_ = true;
        for (const Clause& c : clauses()) {
            Prepared& p = prepared_.emplace_back();
            p.host = std::make_unique<Host>();
            ZInst* inst = p.host->inst();
            if (inst == nullptr) fail("cannot start the library");
            if (inst->Eval == nullptr) zorv_ready_ = false;
            prepare(c, p);
            const std::string query = "SELECT count(*) FROM t WHERE " + c.sql;
            check_sqlite(db_, sqlite3_prepare_v2(db_, query.c_str(), -1, &p.stmt, nullptr),
                         "prepare the count query");
            verify(c, p);
        }
    }
    ~Fixture() {
        for (Prepared& p : prepared_) sqlite3_finalize(p.stmt);
        sqlite3_close(db_);
    }

    // Parses and resolves the clause a few times, timing it; the last run stays in the
    // instance for the benchmarks.
    void prepare(const Clause& c, Prepared& p) {
        ZInst* inst = p.host->inst();
        const std::u32string text(c.zorv.begin(), c.zorv.end());
        constexpr int kRuns = 20;
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < kRuns; ++i) {
            if (inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()),
                            p.host->journal()) != 0)
                fail(std::string("the clause \"") + c.name + "\" does not parse");
            const int32_t st = inst->Resolve(inst, p.host->journal(), bind_row, nullptr);
            if (st != 0)
                fail(std::string("the clause \"") + c.name + "\" does not resolve: status " +
                     std::to_string(st));
        }
        const std::chrono::duration<double, std::micro> took =
            std::chrono::steady_clock::now() - t0;
        p.prepare_us = took.count() / kRuns;
    }

    // The three counts must agree; zorv's on two halves too, as the two-thread runs split it.
    void verify(const Clause& c, Prepared& p) {
        const Row* rows = rows_.data();
        p.expected = c.loop(rows, 0, kRows);
        const int64_t by_sqlite = count_sqlite(p.stmt);
        int64_t by_zorv = p.expected;  // unchecked while the library cannot evaluate
        if (zorv_ready_)
            by_zorv = count_zorv(p.host->inst(), rows, 0, kRows / 2) +
                      count_zorv(p.host->inst(), rows, kRows / 2, kRows);
        if (by_sqlite != p.expected || by_zorv != p.expected) {
            char buf[512];
            std::snprintf(buf, sizeof buf,
                          "the clause \"%s\" selects %s rows in zorv, %lld in SQLite (%s) and "
                          "%lld in the hand-written loop: all three must agree",
                          c.name, zorv_ready_ ? std::to_string(by_zorv).c_str() : "(not evaluated)",
                          static_cast<long long>(by_sqlite), c.sql.substr(0, 60).c_str(),
                          static_cast<long long>(p.expected));
            fail(buf);
        }
        if (p.expected == 0 || p.expected == static_cast<int64_t>(kRows))
            fail(std::string("the clause \"") + c.name + "\" selects all rows or none: no test");
    }

    std::vector<Row> rows_;
    sqlite3* db_;
    std::vector<Prepared> prepared_;
    bool zorv_ready_ = false;
};

// ---- benchmarks ----

void count_check(const char* engine, const Clause& c, int64_t got, int64_t expected) {
    if (got == expected) return;
    fail(std::string(engine) + " counted " + std::to_string(got) + " rows of clause \"" + c.name +
         "\" where " + std::to_string(expected) + " were counted before");
}

// CPU time the calling thread has used, in nanoseconds.
double thread_cpu_ns() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

void set_rate(benchmark::State& state, size_t rows_per_iteration) {
    state.counters["rows/s"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * static_cast<double>(rows_per_iteration),
        benchmark::Counter::kIsRate);
}

// zorv on state.threads() threads sharing the clause's instance, each over its share.
void BM_Zorv(benchmark::State& state, size_t ci) {
    Fixture& f = Fixture::get();
    if (!f.zorv_ready()) {
        state.SkipWithError("the library has no evaluator (the Eval slot is empty)");
        return;
    }
    const Clause& c = clauses()[ci];
    ZInst* inst = f.clause(ci).host->inst();
    const size_t threads = static_cast<size_t>(state.threads());
    const size_t t = static_cast<size_t>(state.thread_index());
    const size_t begin = kRows * t / threads, end = kRows * (t + 1) / threads;
    const Row* rows = f.rows().data();
    const int64_t expected = c.loop(rows, begin, end);
    const uint64_t allocs_before = thread_allocations();
    const double cpu_before = thread_cpu_ns();
    for (auto _ : state) count_check("zorv", c, count_zorv(inst, rows, begin, end), expected);
    const double rows_done =
        static_cast<double>(state.iterations()) * static_cast<double>(end - begin);
    const double cpu = thread_cpu_ns() - cpu_before;
    const uint64_t allocs = thread_allocations() - allocs_before;
    set_rate(state, end - begin);
    state.counters["allocs/row"] = benchmark::Counter(static_cast<double>(allocs) / rows_done,
                                                      benchmark::Counter::kAvgThreads);
    // CPU time per row of each thread: unlike the clock, another process's load leaves it
    // alone, so a rise from one thread to two is the threads' own interference.
    state.counters["cpu_ns/row"] =
        benchmark::Counter(cpu / rows_done, benchmark::Counter::kAvgThreads);
    state.counters["prepare_us"] =
        benchmark::Counter(f.clause(ci).prepare_us, benchmark::Counter::kAvgThreads);
}

void BM_Sqlite(benchmark::State& state, size_t ci) {
    Fixture& f = Fixture::get();
    const Prepared& p = f.clause(ci);
    const uint64_t allocs_before = thread_allocations();
    for (auto _ : state) count_check("SQLite", clauses()[ci], count_sqlite(p.stmt), p.expected);
    set_rate(state, kRows);
    // Shows the allocation counter at work beside zorv's zeros.
    state.counters["allocs/query"] = static_cast<double>(thread_allocations() - allocs_before) /
                                     static_cast<double>(state.iterations());
}

void BM_Loop(benchmark::State& state, size_t ci) {
    Fixture& f = Fixture::get();
    const Clause& c = clauses()[ci];
    const Prepared& p = f.clause(ci);
    const Row* rows = f.rows().data();
    for (auto _ : state) {
        const int64_t n = c.loop(rows, 0, kRows);
        benchmark::DoNotOptimize(n);
        count_check("the hand-written loop", c, n, p.expected);
    }
    set_rate(state, kRows);
    state.counters["selected"] = static_cast<double>(p.expected) / kRows;
}

std::string bench_name(size_t ci, const char* engine) {
    return std::string("BM_Eval/") + clauses()[ci].name + "/" + engine;
}

// Single-threaded runs are timed in CPU time, which another process on a shared machine
// disturbs less than wall-clock time; zorv_wall times zorv on one and on two threads by the
// clock, which is what the second thread is for. Each is repeated and the summary takes the
// median.
constexpr int kRepetitions = 3;

const bool registered = [] {
    for (size_t ci = 0; ci < clauses().size(); ++ci) {
        using Bench = void (*)(benchmark::State&, size_t);
        const std::pair<const char*, Bench> engines[] = {
            {"zorv", BM_Zorv}, {"sqlite", BM_Sqlite}, {"loop", BM_Loop}};
        for (const auto& [engine, fn] : engines)
            benchmark::RegisterBenchmark(bench_name(ci, engine).c_str(), fn, ci)
                ->Unit(benchmark::kMillisecond)
                ->Repetitions(kRepetitions)
                ->ReportAggregatesOnly();
        benchmark::RegisterBenchmark(bench_name(ci, "zorv_wall").c_str(), BM_Zorv, ci)
            ->Unit(benchmark::kMillisecond)
            ->Repetitions(kRepetitions)
            ->ReportAggregatesOnly()
            ->UseRealTime()
            ->Threads(1)
            ->Threads(2);
    }
    return true;
}();

}  // namespace

// The comparison table: rows/s of each engine, the ratios, allocations per row, and the
// targets. Returns false when a measured target is missed or a comparison is incomplete.
bool print_eval_summary(const Results& r) {
    bool any = false;
    for (size_t ci = 0; ci < clauses().size() && !any; ++ci)
        any = r.counter(bench_name(ci, "zorv"), 1, "rows/s") >= 0 ||
              r.counter(bench_name(ci, "sqlite"), 1, "rows/s") >= 0 ||
              r.counter(bench_name(ci, "loop"), 1, "rows/s") >= 0 ||
              r.counter(bench_name(ci, "zorv_wall"), 1, "rows/s") >= 0;
    if (!any) return true;
    std::printf(
        "\nEvaluation of %zu rows, million rows/s: zorv (prepared once, ZORVEval per "
        "row), SQLite and the hand loop\nby CPU time; zorv on 1 and 2 threads sharing "
        "its instance by the clock (x2/x1 their ratio;\ncpu2/1: CPU time a row takes on "
        "two threads over one, 1.00 when the threads do not slow each other)\n",
        kRows);
    std::printf("%-12s %9s %9s %9s %11s %9s %9s %9s %6s %6s %10s\n", "clause", "zorv", "SQLite",
                "loop", "zorv/SQLite", "loop/zorv", "1 thread", "2 threads", "x2/x1", "cpu2/1",
                "allocs/row");
    auto cell = [](double v, double scale) {
        char buf[32];
        if (v < 0)
            std::snprintf(buf, sizeof buf, "-");
        else
            std::snprintf(buf, sizeof buf, "%.2f", v / scale);
        return std::string(buf);
    };
    bool sqlite_met = true, loop_met = true, allocs_met = true, complete = true;
    for (size_t ci = 0; ci < clauses().size(); ++ci) {
        const double z1 = r.counter(bench_name(ci, "zorv"), 1, "rows/s");
        const double w1 = r.counter(bench_name(ci, "zorv_wall"), 1, "rows/s");
        const double w2 = r.counter(bench_name(ci, "zorv_wall"), 2, "rows/s");
        const double sq = r.counter(bench_name(ci, "sqlite"), 1, "rows/s");
        const double lp = r.counter(bench_name(ci, "loop"), 1, "rows/s");
        // Allocations by their mean: above zero when any run allocated.
        const double a1 = r.mean(bench_name(ci, "zorv"), 1, "allocs/row");
        const double a2 = r.mean(bench_name(ci, "zorv_wall"), 2, "allocs/row");
        const double zs = z1 > 0 && sq > 0 ? z1 / sq : -1;
        const double lz = z1 > 0 && lp > 0 ? lp / z1 : -1;
        const double x2 = w1 > 0 && w2 > 0 ? w2 / w1 : -1;
        const double c1 = r.counter(bench_name(ci, "zorv_wall"), 1, "cpu_ns/row");
        const double c2 = r.counter(bench_name(ci, "zorv_wall"), 2, "cpu_ns/row");
        const double cpu2 = c1 > 0 && c2 > 0 ? c2 / c1 : -1;
        const double allocs = std::max(a1, a2);
        if (zs < 0 || lz < 0 || allocs < 0) complete = false;
        if (zs >= 0 && zs < 4) sqlite_met = false;
        if (lz >= 0 && lz > 10) loop_met = false;
        if (allocs > 0) allocs_met = false;
        char alloc_text[32] = "-";
        if (allocs >= 0) std::snprintf(alloc_text, sizeof alloc_text, "%.3g", allocs);
        std::printf("%-12s %9s %9s %9s %11s %9s %9s %9s %6s %6s %10s\n", clauses()[ci].name,
                    cell(z1, 1e6).c_str(), cell(sq, 1e6).c_str(), cell(lp, 1e6).c_str(),
                    cell(zs, 1).c_str(), cell(lz, 1).c_str(), cell(w1, 1e6).c_str(),
                    cell(w2, 1e6).c_str(), cell(x2, 1).c_str(), cell(cpu2, 1).c_str(), alloc_text);
    }
    auto verdict = [&](bool met) {
        return !complete ? "not fully measured" : met ? "met" : "NOT met";
    };
    std::printf("target zorv >= 4x SQLite on every clause: %s\n", verdict(sqlite_met));
    std::printf("target zorv within 10x of the hand loop:  %s\n", verdict(loop_met));
    std::printf("target no allocation per evaluated row:   %s\n", verdict(allocs_met));
    return complete && sqlite_met && loop_met && allocs_met;
}

}  // namespace zbench
