// Nothing may crash on any input: random and mutated tables must end in a clean refusal
// or a clean read, and a table read from a file and through a pipe must agree exactly.
#include <gtest/gtest.h>

#include <random>

#include "table_fixture.h"

namespace {

using namespace tabletest;

// Pieces that steer random text towards the scanner's and the schema's corners.
const std::vector<std::string> kPieces = {
    ",",        ",",        ",",
    "\"",       "\"",       "\n",
    "\n",       "\r\n",     "\r",
    "a",        "b",        "1",
    "2.5",      "-",        "e",
    ".",        ".A",       "._",
    " ",        ":num",     ":char",
    ":char(2)", "\xC3\xA9", "\xE2\x82\xAC",
    "\xC3",     "\xFF",     "\xEF\xBB\xBF",
    "\t",       "x",        "1e999",
    "\0",
};

std::string random_table(std::mt19937& rng) {
    std::string s;
    const int pieces = std::uniform_int_distribution<int>(0, 60)(rng);
    std::uniform_int_distribution<size_t> pick(0, kPieces.size() - 1);
    for (int i = 0; i < pieces; ++i) {
        const std::string& p = kPieces[pick(rng)];
        s += p.empty() ? std::string(1, '\0') : p;
    }
    return s;
}

std::string random_bytes(std::mt19937& rng) {
    std::string s(std::uniform_int_distribution<size_t>(0, 200)(rng), '\0');
    for (char& c : s) c = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
    return s;
}

std::string mutated(std::mt19937& rng) {
    std::string s = "id,name:char(4),price,flag\n1,Ann,2.5,0\n2,\"B,o\",.A,1\n3,Cy,,1\r\n";
    const int edits = std::uniform_int_distribution<int>(1, 4)(rng);
    for (int e = 0; e < edits && !s.empty(); ++e) {
        const size_t at = std::uniform_int_distribution<size_t>(0, s.size() - 1)(rng);
        switch (std::uniform_int_distribution<int>(0, 2)(rng)) {
            case 0:
                s[at] = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng));
                break;
            case 1:
                s.erase(at, 1);
                break;
            default:
                s.insert(at, kPieces[std::uniform_int_distribution<size_t>(0, 20)(rng)]);
        }
    }
    return s;
}

// The outcome of opening and reading a table, in a form two readings can be compared in.
struct Outcome {
    std::string error;  // shown with the file as F; empty when all went well
    std::vector<std::vector<std::byte>> records;
    std::vector<std::string> bytes;
};

Outcome outcome(std::unique_ptr<Table>& table, const TableError& open_error,
                const std::string& path, int32_t chunk_rows, bool bound_only) {
    Outcome out;
    if (table == nullptr) {
        out.error = shown(open_error, path);
        return out;
    }
    EXPECT_EQ(table->record_size() % 8, 0);
    for (const Column& c : table->columns()) {
        EXPECT_LE(c.offset + c.bytes(), table->record_size());
        if (c.kind == Kind::kCharacter) {
            EXPECT_GE(c.width, 1);
        }
        if (bound_only) {
            auto leaf = name_leaf(c.key);
            EXPECT_EQ(Table::lookup(table.get(), leaf.get(), nullptr), 0);
            break;  // bind the first column only
        }
    }
    ReadOptions options;
    options.bound_only = bound_only;
    Rows rows = read_all(*table, chunk_rows, options);
    if (!rows.ok) {
        out.error = shown(rows.error, path);
        EXPECT_GE(rows.error.line, 1) << out.error;
        EXPECT_GE(rows.error.column, 1) << out.error;
    } else if (table->row_count() >= 0) {
        EXPECT_EQ(static_cast<int64_t>(rows.records.size()), table->row_count());
    }
    for (size_t i = 0; i < rows.numbers.size(); ++i)
        EXPECT_EQ(rows.numbers[i], static_cast<int64_t>(i) + 1);
    out.records = std::move(rows.records);
    out.bytes = std::move(rows.bytes);
    return out;
}

TEST(Fuzz, RandomTablesEndCleanlyAndAlike) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 1500; ++round) {
        std::string text = round % 3 == 0   ? random_table(rng)
                           : round % 3 == 1 ? mutated(rng)
                                            : random_bytes(rng);
        SCOPED_TRACE(::testing::PrintToString(text));
        const bool bound_only = round % 4 == 0;
        const int32_t chunk_rows = 1 + round % 5;

        Opened file = open_text(text);
        const Outcome a = outcome(file.table, file.error, file.path, chunk_rows, bound_only);
        if (!file.table && file.error.line > 0) {
            EXPECT_GE(file.error.column, 1) << a.error;
        }

        Piped pipe(text);
        const Outcome b = outcome(pipe.table, pipe.error, "pipe", chunk_rows, bound_only);
        ASSERT_EQ(a.error, b.error);
        ASSERT_TRUE(a.records == b.records);
        ASSERT_EQ(a.bytes, b.bytes);
    }
}

}  // namespace
