// `zorv filter` on several threads: a table of several read blocks, filtered by a clause
// whose long texts are built in work areas, gives byte for byte the output of one thread,
// and the rows the test itself knows the clause selects. In the ThreadSanitizer tree the
// command runs under it too, and any report ends it with a failing status.
#include <gtest/gtest.h>

#include <string>

#include "cli/cli_run.h"
#include "cli/temp_files.h"

namespace {

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
    TempFiles files;
    ASSERT_TRUE(files.ok());
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
    const std::string table = files.write("table.csv", csv);

    std::string outputs[2];
    const char* threads[2] = {"1", "4"};
    for (int k = 0; k < 2; ++k) {
        const std::string out = files.path(std::string("out") + threads[k] + ".csv");
        const CliResult r = run_zorv(
            {"filter", "--threads", threads[k], "--input", table, "--output", out, kClause});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        outputs[k] = slurp(out);
    }
    EXPECT_EQ(outputs[0], want_rows);
    EXPECT_TRUE(outputs[1] == outputs[0])
        << "four threads wrote " << outputs[1].size() << " bytes, one thread " << outputs[0].size();
}

}  // namespace
