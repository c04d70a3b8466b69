// The progress line: "zorv: filtering: 412 MB of 1.0 GB (40%), 3,912,004 rows, 1,208
// selected, 395 MB/s", rewritten in place with a carriage return.
#include "cli/progress.h"

#include <unistd.h>

#include <cstdio>

namespace zorv::cli {
namespace {

constexpr auto kFirst = std::chrono::seconds(1);
constexpr auto kEvery = std::chrono::milliseconds(250);
constexpr const char* kLearning = "reading the columns";
constexpr const char* kFiltering = "filtering";

std::string size_text(double bytes) {
    const char* units[] = {"bytes", "kB", "MB", "GB", "TB"};
    int u = 0;
    while (bytes >= 1000 && u < 4) bytes /= 1000, ++u;
    char text[32];
    std::snprintf(text, sizeof text, u == 0 || bytes >= 100 ? "%.0f %s" : "%.1f %s", bytes,
                  units[u]);
    return text;
}

}  // namespace

std::string grouped(int64_t n) {
    std::string digits = std::to_string(n < 0 ? -n : n);
    for (size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
    return (n < 0 ? "-" : "") + digits;
}

Progress::Progress(uint64_t total)
    : on_(::isatty(STDERR_FILENO) == 1),
      total_(total),
      start_(Clock::now()),
      stage_start_(start_),
      last_(start_) {}

bool Progress::due() {
    if (!on_) return false;
    const Clock::time_point now = Clock::now();
    if (now - start_ < kFirst || (shown_ && now - last_ < kEvery)) return false;
    last_ = now;
    return true;
}

void Progress::enter(const char* stage) {
    if (stage == stage_) return;
    stage_ = stage;
    stage_start_ = Clock::now();
}

void Progress::show(const char* stage, uint64_t bytes, int64_t rows, const std::string& tail) {
    std::string line = std::string("zorv: ") + stage + ": " + size_text(static_cast<double>(bytes));
    if (total_ > 0 && bytes <= total_)
        line += " of " + size_text(static_cast<double>(total_)) + " (" +
                std::to_string(bytes * 100 / total_) + "%)";
    line += ", " + grouped(rows) + " rows" + tail;
    const double seconds = std::chrono::duration<double>(Clock::now() - stage_start_).count();
    if (seconds > 0.2) line += ", " + size_text(static_cast<double>(bytes) / seconds) + "/s";
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    shown_ = true;
}

void Progress::learning(uint64_t bytes, int64_t rows) {
    enter(kLearning);
    if (due()) show(kLearning, bytes, rows, "");
}

void Progress::filtering(uint64_t bytes, int64_t rows, int64_t selected) {
    enter(kFiltering);
    if (due()) show(kFiltering, bytes, rows, ", " + grouped(selected) + " selected");
}

void Progress::clear() {
    if (!shown_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace zorv::cli
