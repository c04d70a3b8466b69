// The benchmark binary's reporter: the usual console output, and the counters of every run
// kept by name, so that benchmarks measured side by side can be compared in a summary
// printed after the last run.
#ifndef ZORV_BENCH_REPORT_H
#define ZORV_BENCH_REPORT_H

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace zbench {

// The counters of one benchmark (function name, as registered) at one thread count: the
// median of its repetitions when it has them, else the mean of the runs reported; and the
// mean either way.
struct Measured {
    std::map<std::string, double> counters;
    std::map<std::string, double> means;
    int runs = 0;
    bool median = false;
};

class Results {
  public:
    void add(const std::string& name, int threads, const benchmark::BenchmarkReporter::Run& run);
    // The counter, or a negative value when the benchmark did not run or lacks it.
    double counter(const std::string& name, int threads, const std::string& counter) const;
    // The counter's mean over all runs, or a negative value.
    double mean(const std::string& name, int threads, const std::string& counter) const;

  private:
    std::map<std::pair<std::string, int>, Measured> runs_;
};

class CollectingReporter : public benchmark::ConsoleReporter {
  public:
    explicit CollectingReporter(OutputOptions options) : ConsoleReporter(options) {}
    void ReportRuns(const std::vector<Run>& reports) override;
    const Results& results() const { return results_; }

  private:
    Results results_;
};

// Summaries printed after the run; each returns false when a target it checks is not met
// (the figures are printed either way).
bool print_eval_summary(const Results& results);

}  // namespace zbench

#endif
