// Nothing may crash on any input: random and mutated tables must end in a clean refusal
// or a clean read, and a table read from a file in blocks of a few bytes, through a pipe,
// and on several threads must agree exactly.
#include <gtest/gtest.h>

#include <random>

#include "table_fixture.h"

namespace {

using namespace tabletest;

// Pieces that steer random text towards the scanner's and the schema's corners.
// clang-format off
const std::vector<std::string> kPieces = {
    ",", ",", "\"", "\"", "\n", "\r\n", "\r", "a", "1", "2.5", "-", ".", ".A", "._", " ", ":num",
    ":char", ":char(2)", "\xC3\xA9", "\xE2\x82\xAC", "\xC3", "\xFF", "\xEF\xBB\xBF", "\t", "1e999",
    std::string(1, '\0'),
};
// clang-format on

std::string random_text(std::mt19937& rng, int round) {
    auto below = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    std::string s;
    if (round % 3 == 0) {  // pieces
        for (size_t i = below(60); i > 0; --i) s += kPieces[below(kPieces.size())];
    } else if (round % 3 == 1) {  // a good table with a few edits
        s = "id,name:char(4),price,flag\n1,Ann,2.5,0\n2,\"B,o\",.A,1\n3,Cy,,1\r\n";
        for (size_t e = 1 + below(4); e > 0 && !s.empty(); --e) {
            const size_t at = below(s.size());
            if (below(3) == 0)
                s[at] = static_cast<char>(below(256));
            else if (below(2) == 0)
                s.erase(at, 1);
            else
                s.insert(at, kPieces[below(kPieces.size())]);
        }
    } else {  // bytes
        for (size_t i = below(200); i > 0; --i) s += static_cast<char>(below(256));
    }
    return s;
}

// What opening and reading gave, in a form two readings can be compared in.
struct Outcome {
    std::string error;  // the file shown as F; empty when all went well
    Rows rows;
};

Outcome outcome(std::unique_ptr<Table>& table, const TableError& open_error,
                const std::string& path, int32_t chunk_rows, bool bound_only) {
    if (table == nullptr) return {shown(open_error, path), {}};
    EXPECT_EQ(table->record_size() % 8, 0);
    for (const Column& c : table->columns()) {
        EXPECT_LE(c.offset + c.bytes(), table->record_size());
        EXPECT_TRUE(c.kind == Kind::kNumeric || c.width >= 1);
    }
    if (bound_only && !table->columns().empty()) {
        auto leaf = name_leaf(table->columns()[0].key);
        EXPECT_EQ(Table::lookup(table.get(), leaf.get(), nullptr), 0);
    }
    ReadOptions options;
    options.bound_only = bound_only;
    Outcome out{"", read_all(*table, chunk_rows, options)};
    if (!out.rows.ok) {
        out.error = shown(out.rows.error, path);
        EXPECT_TRUE(out.rows.error.line >= 1 && out.rows.error.column >= 1) << out.error;
    } else if (table->row_count() >= 0) {
        EXPECT_EQ(static_cast<int64_t>(out.rows.records.size()), table->row_count());
    }
    return out;
}

TEST(Fuzz, RandomTablesEndCleanlyAndAlike) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 1500; ++round) {
        const std::string text = random_text(rng, round);
        SCOPED_TRACE(::testing::PrintToString(text));
        const bool bound_only = round % 4 == 0;
        const int32_t chunk_rows = 1 + round % 5;
        // Blocks of 1 to 40 bytes end inside quotes, characters and line ends.
        TableOptions small;
        small.block_bytes = 1 + static_cast<size_t>(round) % 40;
        Opened file = open_text(text, small);
        const Outcome a = outcome(file.table, file.error, file.path, chunk_rows, bound_only);
        Piped pipe(text);
        const Outcome b = outcome(pipe.table, pipe.error, "pipe", chunk_rows, bound_only);
        ASSERT_EQ(a.error, b.error);
        ASSERT_TRUE(a.rows.records == b.rows.records);
        ASSERT_EQ(a.rows.bytes, b.rows.bytes);
        ASSERT_EQ(a.rows.lines, b.rows.lines);
        // Scanned on threads, block by block: the same rows, or the same refusal.
        if (file.table == nullptr) continue;
        ASSERT_TRUE(file.table->rewind(&file.error)) << file.error.text();
        ReadOptions options;
        options.bound_only = bound_only;
        const Rows c = scan_all(*file.table, 2, options);
        ASSERT_EQ(c.ok ? "" : shown(c.error, file.path), a.error);
        ASSERT_TRUE(c.records == a.rows.records);
        ASSERT_EQ(c.numbers, a.rows.numbers);
    }
}

}  // namespace
