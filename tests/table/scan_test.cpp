// Reading on threads, block by block: rows come out in the table's order with their numbers,
// a fault far into a table is told as a reading one row at a time tells it, rows are written
// back as CSV, and the quick number check agrees with the careful one.
#include <gtest/gtest.h>

#include <random>

#include "table/cells.h"
#include "table_fixture.h"

namespace {

using namespace tabletest;

// Rows of every shape the scanner has a path for: plain, quoted over two lines, doubled
// quotes, characters beyond ASCII, CRLF, empty lines, missing values.
std::string mixed_rows(int n) {
    std::string csv = "id,name,score,note\n";
    for (int i = 1; i <= n; ++i) {
        csv += std::to_string(i) + ",";
        csv += i % 7 == 0 ? "\"Ø " + std::to_string(i) + "\nline\"" : "n" + std::to_string(i % 50);
        csv += i % 5 == 0 ? ",.Z" : "," + std::to_string(i * 0.5);
        csv += i % 3 == 0 ? ",\"say \"\"hi\"\", Oslo\"" : ",plain text";
        csv += i % 4 == 0 ? "\r\n" : i % 9 == 0 ? "\n\n" : "\n";
    }
    return csv;
}

TEST(Scan, ThreadsKeepTheTablesOrder) {
    TableOptions small;
    small.block_bytes = 4096;  // some hundred blocks
    small.threads = 3;         // the schema pass on threads too
    Opened o = open_text(mixed_rows(20000), small);
    ASSERT_NE(o.table, nullptr) << o.error.text();
    EXPECT_EQ(o.table->row_count(), 20000);
    const Rows one = read_all(*o.table);
    ASSERT_TRUE(one.ok) << one.error.text();
    for (int32_t threads : {1, 3}) {
        ASSERT_TRUE(o.table->rewind(&o.error)) << o.error.text();
        const Rows rows = scan_all(*o.table, threads);
        ASSERT_TRUE(rows.ok) << rows.error.text();
        EXPECT_TRUE(rows.records == one.records) << threads;
        EXPECT_EQ(rows.numbers, one.numbers) << threads;
    }
    EXPECT_EQ(text(*o.table, one.records[6], "NAME"), "Ø 7\nline");
    EXPECT_EQ(text(*o.table, one.records[2], "NOTE"), "say \"hi\", Oslo");
}

// A fault past many blocks: the same message as a reading one row at a time gives, after
// every row before it has been handed out.
TEST(Scan, AFaultFarIntoATableIsToldWhereItIs) {
    struct Case {
        const char* what;
        std::string row;
        std::string error;
    } cases[] = {
        {"too few cells", "7,x\n", "F:6002:4: row has 2 cells, the header has 3"},
        {"not a number", "7,x,1z\n", "F:6002:5: cell '1z' of numeric column 'b' is not a number"},
        {"bad UTF-8", "7,\xC3x,1\n",
         "F:6002:3: invalid UTF-8 (a character begun by byte 0xC3 is broken)"},
        {"quote never closed", "7,\"x,1\n", "F:6002:3: quoted cell has no closing quote"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string csv = "a:num,s:char(4),b:num\n";
        for (int i = 0; i < 3000; ++i)
            csv += std::to_string(i) + ",\"a\nb\"," + std::to_string(i) + "\n";
        csv += c.row + "1,x,1\n";  // row 3001, on line 6002
        TableOptions small;
        small.block_bytes = 2000;
        Opened o = open_text(csv, small);
        ASSERT_NE(o.table, nullptr) << o.error.text();
        const Rows rows = scan_all(*o.table, 3);
        EXPECT_FALSE(rows.ok);
        EXPECT_EQ(shown(rows.error, o.path), c.error);
        EXPECT_EQ(rows.records.size(), 3000u);
        ASSERT_TRUE(o.table->rewind(&o.error));
        EXPECT_EQ(shown(read_all(*o.table).error, o.path), c.error);
    }
}

TEST(Scan, RowsAreWrittenBackAsCsv) {
    const std::pair<std::string, std::string> cases[] = {
        {"\"b,c\",\"d\"\"e\"", "\"b,c\",\"d\"\"e\""},  // quoted as it was
        {"5'11\",x", "\"5'11\"\"\",x"},                // a quote inside: quoted
        {"x\ry,\"\"", "\"x\ry\",\"\""},                // a lone CR: quoted
        {" \"q\" ,", "\" \"\"q\"\" \","},              // a quote after a blank is text
    };
    for (const auto& [row, csv] : cases) {
        Opened o = open_text("h:char,i:char\n" + row + "\n");
        ASSERT_NE(o.table, nullptr) << o.error.text();
        const Rows rows = scan_all(*o.table, 1);
        ASSERT_EQ(rows.bytes.size(), 1u) << row;
        EXPECT_EQ(rows.bytes[0], csv) << ::testing::PrintToString(row);
    }
    Opened o = open_text("a\"b,c\n1,2\n");
    ASSERT_NE(o.table, nullptr) << o.error.text();
    EXPECT_EQ(o.table->header_bytes(), "a\"b,c");
    EXPECT_EQ(o.table->header_csv(), "\"a\"\"b\",c");
}

// The header written back starts a file: a first name that begins with the byte-order mark
// (a second mark, or one after empty lines) is quoted, or reading the file again would take
// the name's mark for the file's own and drop it.
TEST(Scan, AHeaderWrittenBackKeepsAMarkThatBeginsItsFirstName) {
    const std::string mark = "\xEF\xBB\xBF";
    for (const std::string& lead : {mark, std::string("\n\n")}) {
        Opened o = open_text(lead + mark + "a,b\n1,2\n");
        ASSERT_NE(o.table, nullptr) << o.error.text();
        ASSERT_EQ(o.table->columns()[0].name, mark + "a");
        EXPECT_EQ(o.table->header_csv(), "\"" + mark + "a\",b");
        Opened again = open_text(o.table->header_csv() + "\n1,2\n");
        ASSERT_NE(again.table, nullptr) << again.error.text();
        EXPECT_EQ(again.table->columns()[0].name, mark + "a");
    }
}

// The quick paths must say what the careful ones say of every text: the check that reads
// eight bytes at a time past the cell's end, and the reading of plain decimals as an
// integer over a power of ten, bit for bit what from_chars makes of them.
TEST(Scan, QuickNumberPathsAgreeWithTheCarefulOnes) {
    using zorv::table::CellClass;
    std::mt19937 rng(77);
    const std::string alphabet = "01234567890123456789012345678901234567899..-+eE x,";
    for (int round = 0; round < 200000; ++round) {
        std::string buffer(48, alphabet[rng() % alphabet.size()]);
        const size_t n = rng() % 20;
        for (size_t i = 0; i < n; ++i) buffer[i] = alphabet[rng() % alphabet.size()];
        const std::string_view cell(buffer.data(), n);
        SCOPED_TRACE(::testing::PrintToString(std::string(cell)));
        ASSERT_EQ(zorv::table::is_number_in_block(cell), zorv::table::is_number(cell));
        double quick = 0, careful = 0;
        const bool read = zorv::table::read_number(cell, &quick);
        const CellClass k = zorv::table::classify(cell, &careful);
        ASSERT_EQ(read, k != CellClass::kOther && k != CellClass::kTooLarge);
        if (read) {
            ASSERT_EQ(bits(quick), bits(careful));
        }
    }
}

// A reader that binds a few columns has only those learnt; the cells of typed columns are
// checked all the same.
TEST(Scan, OnlyTheColumnsAskedForAreLearnt) {
    TableOptions options;
    options.learn = {"B"};
    Opened o = open_text("a,b,c:num\nx,1,2\nyy,2.5,3\n", options);
    ASSERT_NE(o.table, nullptr) << o.error.text();
    const std::vector<Column>& c = o.table->columns();
    EXPECT_FALSE(c[0].learnt);
    EXPECT_TRUE(c[1].learnt && c[1].kind == Kind::kNumeric);
    EXPECT_TRUE(c[2].learnt);
    EXPECT_EQ(scan_all(*o.table, 1).records.size(), 2u);
    o = open_text("a,b,c:num\nx,1,2\nyy,2.5,z\n", options);
    EXPECT_EQ(shown(o.error, o.path), "F:3:8: cell 'z' of numeric column 'c' is not a number");
}

}  // namespace
