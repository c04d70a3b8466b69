// `zorv filter` on several threads: a table of several read blocks, filtered by a clause
// whose long texts are built in work areas, gives byte for byte the output of one thread,
// and the rows the test itself knows the clause selects. In the ThreadSanitizer tree the
// command runs under it too, and any report ends it with a failing status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/temp_files.h"

extern char** environ;

namespace {

// A folder of its own for the test's files, removed with them afterwards.
class Scratch {
  public:
    Scratch() {
        char name[] = "/tmp/zorv-threads-XXXXXX";
        dir_ = mkdtemp(name) ? name : "";
    }
    ~Scratch() {
        for (const std::string& f : files_) std::remove(f.c_str());
        if (!dir_.empty()) rmdir(dir_.c_str());
    }
    std::string path(const std::string& name) {
        files_.push_back(dir_ + "/" + name);
        return files_.back();
    }
    bool ok() const { return !dir_.empty(); }

  private:
    std::string dir_;
    std::vector<std::string> files_;
};

// Runs this build's zorv with args (through the emulator where 32-bit programs need one),
// its standard error to err_path; returns its exit status, or -1 when it did not exit.
int run_zorv(const std::vector<std::string>& args, const std::string& err_path) {
    std::vector<std::string> argv_s;
    const std::string emulator = ZORV_EMULATOR;
    if (!emulator.empty()) argv_s.push_back(emulator);
    argv_s.push_back(std::string(ZORV_BUILD_DIR) + "/zorv");
    argv_s.insert(argv_s.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv_s) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

constexpr int kRows = 70000;  // over three of the 1 MB blocks the command reads at a time
const char* const kCities[] = {"Oslo", "Cork", "Basel", "Lyon", "Ouro Preto"};

// The row i of the table, without its line end; some notes are quoted, with a comma.
std::string row(int i, std::string* city, std::string* note, int* qty) {
    *city = kCities[i % 5];
    *qty = (i * 7) % 41;
    *note = "note " + std::to_string(i) + (i % 3 ? " in the middle of a long line" : "");
    const std::string cell = i % 11 == 0 ? "\"" + *note + ", said\"" : *note;
    if (i % 11 == 0) *note += ", said";
    return std::to_string(i) + "," + *city + "," + std::to_string(*qty) + "," + cell;
}

// Whether the clause below selects the row, worked out without the library: the city is
// Oslo (found in UPCASE of note || '/' || city, whatever blanks pad the note) and the note
// begins with "note 1", or qty is over 37.
bool selected(const std::string& city, const std::string& note, int qty) {
    return (city == "Oslo" && note.rfind("note 1", 0) == 0) || qty > 37;
}

const char* const kClause =
    "upcase(note || '/' || city) contains '/OSLO' and note =: 'note 1' or qty > 37";

TEST(FilterThreads, SeveralThreadsWriteWhatOneWrites) {
    Scratch scratch;
    ASSERT_TRUE(scratch.ok());
    const std::string table = scratch.path("table.csv");
    std::string csv = "id,city,qty,note\n";
    std::string want_rows = csv;
    csv.reserve(size_t{4} << 20);
    int by_text = 0;  // rows that only the long texts' test selects
    for (int i = 1; i <= kRows; ++i) {
        std::string city, note;
        int qty;
        const std::string line = row(i, &city, &note, &qty) + "\n";
        csv += line;
        if (selected(city, note, qty)) want_rows += line;
        by_text += selected(city, note, qty) && !selected("", "", qty);
    }
    ASSERT_GT(csv.size(), 3u << 20) << "the table must span several blocks";
    ASSERT_GT(by_text, 1000);
    std::ofstream(table, std::ios::binary) << csv;

    const std::string err = scratch.path("err.txt");
    std::string outputs[2];
    const char* threads[2] = {"1", "4"};
    for (int k = 0; k < 2; ++k) {
        const std::string out = scratch.path(std::string("out") + threads[k] + ".csv");
        ASSERT_EQ(run_zorv({"filter", "--threads", threads[k], "--input", table, "--output", out,
                            kClause},
                           err),
                  0)
            << slurp(err);
        EXPECT_EQ(slurp(err), "");
        outputs[k] = slurp(out);
    }
    EXPECT_EQ(outputs[0], want_rows);
    EXPECT_TRUE(outputs[1] == outputs[0])
        << "four threads wrote " << outputs[1].size() << " bytes, one thread " << outputs[0].size();
}

}  // namespace
