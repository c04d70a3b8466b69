// The benchmark binary's entry: runs the selected benchmarks through a reporter that keeps
// their counters, then prints the comparisons drawn from them. The exit status is 1 when a
// measured target is missed, so that a script can tell; the figures are printed regardless.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include "bench/report.h"

namespace zbench {

void Results::add(const std::string& name, int threads,
                  const benchmark::BenchmarkReporter::Run& run) {
    Measured& m = runs_[{name, threads}];
    if (run.run_type == benchmark::BenchmarkReporter::Run::RT_Aggregate) {
        // The median of repeated runs stands for them all: one disturbed run on a shared
        // machine moves it less than the mean. The mean is kept for counters that must be
        // zero in every run.
        const bool median = run.aggregate_name == "median";
        if (median) m.median = true;
        for (const auto& [key, c] : run.counters) (median ? m.counters : m.means)[key] = c.value;
        return;
    }
    ++m.runs;
    for (const auto& [key, c] : run.counters) {
        m.means[key] += (c.value - m.means[key]) / m.runs;
        if (!m.median) m.counters[key] = m.means[key];
    }
}

double Results::counter(const std::string& name, int threads, const std::string& counter) const {
    const auto it = runs_.find({name, threads});
    if (it == runs_.end()) return -1;
    const auto c = it->second.counters.find(counter);
    return c == it->second.counters.end() ? -1 : c->second;
}

double Results::mean(const std::string& name, int threads, const std::string& counter) const {
    const auto it = runs_.find({name, threads});
    if (it == runs_.end()) return -1;
    const auto c = it->second.means.find(counter);
    return c == it->second.means.end() ? -1 : c->second;
}

void CollectingReporter::ReportRuns(const std::vector<Run>& reports) {
    ConsoleReporter::ReportRuns(reports);
    for (const Run& r : reports)
        if (!r.error_occurred && (r.run_type == Run::RT_Iteration || r.aggregate_name == "median" ||
                                  r.aggregate_name == "mean"))
            results_.add(r.run_name.function_name, static_cast<int>(r.threads), r);
}

}  // namespace zbench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    // Colours only on a terminal, as the library's own console reporter decides.
    zbench::CollectingReporter reporter(isatty(1) ? benchmark::ConsoleReporter::OO_ColorTabular
                                                  : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const bool met = zbench::print_eval_summary(reporter.results());
    benchmark::Shutdown();
    return met ? 0 : 1;
}
