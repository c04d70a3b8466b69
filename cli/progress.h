// A progress line on standard error for long runs: shown only when stderr is a terminal and
// the work has lasted a second, refreshed at most four times a second, cleared at the end.
#ifndef ZORV_CLI_PROGRESS_H
#define ZORV_CLI_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <string>

namespace zorv::cli {

class Progress {
  public:
    // total: the input's size in bytes, or 0 when it is not known (a pipe).
    explicit Progress(uint64_t total);
    ~Progress() { clear(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // The schema pass: bytes and rows read so far.
    void learning(uint64_t bytes, int64_t rows);
    // The filtering: bytes and rows read so far, rows selected.
    void filtering(uint64_t bytes, int64_t rows, int64_t selected);
    // Removes the line, if one is shown.
    void clear();

  private:
    bool due();
    void enter(const char* stage);
    void show(const char* stage, uint64_t bytes, int64_t rows, const std::string& tail);

    using Clock = std::chrono::steady_clock;
    bool on_;
    uint64_t total_;
    Clock::time_point start_;
    Clock::time_point stage_start_;  // when the stage shown began
    Clock::time_point last_;
    const char* stage_ = nullptr;
    bool shown_ = false;
};

// 1234567 as "1,234,567".
std::string grouped(int64_t n);

}  // namespace zorv::cli

#endif
