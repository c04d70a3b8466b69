// The filter module writes its messages to the C stream stderr (its own lines and, through a
// stream journal, the library's). For the duration of a run that stream is a temporary file,
// read back afterwards; one run at a time, under a lock. Other code of the process that
// writes to the C stream stderr meanwhile would write into that file too; Python's own
// sys.stderr writes to the descriptor, not through the C stream, and is not affected.
#include "python/src/csv_filter.h"

#include <cstdio>
#include <mutex>

#include "cli/clauses.h"
#include "python/src/runtime.h"
#include "zorv/support.h"

namespace zorv::python {
namespace {

std::mutex g_filter_lock;

// The command's lines, without the progress line it draws on a terminal ("\r...\033[K").
std::string message_lines(const std::string& raw) {
    std::string out;
    size_t from = 0;
    while (from < raw.size()) {
        size_t end = raw.find('\n', from);
        if (end == std::string::npos) end = raw.size();
        std::string line = raw.substr(from, end - from);
        const size_t cleared = line.rfind("\033[K");
        if (cleared != std::string::npos) line.erase(0, cleared + 3);
        if (!line.empty() && line[0] == '\r') line.erase(0, 1);
        if (!line.empty()) out += (out.empty() ? "" : "\n") + line;
        from = end + 1;
    }
    return out;
}

}  // namespace

FilterOutcome run_csv_filter(const cli::FilterRequest& request) {
    std::lock_guard<std::mutex> hold(g_filter_lock);
    FilterOutcome outcome;
    std::FILE* capture = std::tmpfile();
    if (capture == nullptr) {
        outcome.status = cli::kExitUsage;
        outcome.messages = "zorv: error: cannot make a temporary file for the command's messages";
        return outcome;
    }
    std::FILE* saved = stderr;
    stderr = capture;
    outcome.status = cli::run_filter(request);
    std::fflush(capture);
    stderr = saved;
    // The command's session opened a kernel of its own, which told the library its handle
    // (nqextent) and has been closed since: the abort path gets the process's kernel back.
    nqextent(runtime_kernel());

    std::string raw;
    std::rewind(capture);
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, capture)) > 0;) raw.append(buffer, n);
    std::fclose(capture);
    outcome.messages = message_lines(raw);
    return outcome;
}

}  // namespace zorv::python
