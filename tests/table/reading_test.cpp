// How a table's text becomes rows and cells: quoting, line ends, the byte-order mark,
// empty lines, delimiters, and the original bytes and line numbers each row keeps.
#include <gtest/gtest.h>

#include "table_fixture.h"

namespace {

using namespace tabletest;

TEST(Reading, CellsComeOutAsWritten) {
    struct Case {
        std::string text;  // rows of the character columns A and B
        std::vector<std::vector<std::string>> rows;
    };
    const std::string h = "a:char,b:char\n";
    const std::vector<Case> cases = {
        {h + "x,y\nzz,w\n", {{"x", "y"}, {"zz", "w"}}},
        {h + "\"x,y\",\"say \"\"hi\"\"\"\n", {{"x,y", "say \"hi\""}}},
        {h + "\"l1\nl2\",\"a\r\n\nb\n\"\n", {{"l1\nl2", "a\r\n\nb\n"}}},
        {"a:char,b:char\r\n1,2\r\n3,4", {{"1", "2"}, {"3", "4"}}},
        {h + "\n1,2\n\r\n\n3,4\n\n", {{"1", "2"}, {"3", "4"}}},  // empty lines hold no row
        {h + ",\n\"\",\"\"\"\"\n", {{"", ""}, {"", "\""}}},
        {h + "x\ry,5'11\"\n", {{"x\ry", "5'11\""}}},  // a lone CR, a quote inside: text
        {h + " x,é€😀\n", {{" x", "é€😀"}}},
        {"\xEF\xBB\xBF" + h + "1,2\n", {{"1", "2"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.text));
        Opened o = open_text(c.text);
        ASSERT_NE(o.table, nullptr) << o.error.text();
        EXPECT_EQ(o.table->columns()[0].name, "a");
        const Rows rows = read_all(*o.table);
        ASSERT_TRUE(rows.ok) << rows.error.text();
        ASSERT_EQ(rows.records.size(), c.rows.size());
        for (size_t r = 0; r < c.rows.size(); ++r) {
            EXPECT_EQ(text(*o.table, rows.records[r], "A"), c.rows[r][0]);
            EXPECT_EQ(text(*o.table, rows.records[r], "B"), c.rows[r][1]);
        }
    }
}

// The first block is read before the mark is looked for: blocks shorter than the mark must
// not leave it in the first column's name.
TEST(Reading, TheByteOrderMarkIsDroppedWhateverTheBlockSize) {
    for (size_t block : {1, 2, 3, 4}) {
        SCOPED_TRACE(block);
        TableOptions options;
        options.block_bytes = block;
        Opened o = open_text(
            "\xEF\xBB\xBF"
            "a:char,b\nxy,1\n",
            options);
        ASSERT_NE(o.table, nullptr) << o.error.text();
        EXPECT_EQ(o.table->columns()[0].name, "a");
        const Rows rows = read_all(*o.table);
        ASSERT_TRUE(rows.ok) << rows.error.text();
        ASSERT_EQ(rows.records.size(), 1u);
        EXPECT_EQ(text(*o.table, rows.records[0], "A"), "xy");
    }
}

TEST(Reading, OtherDelimiters) {
    TableOptions tsv;
    tsv.delimiter = '\t';
    Opened o = open_text("a:char\tb\nx,y\t\"1\"\n", tsv);
    ASSERT_NE(o.table, nullptr) << o.error.text();
    Rows rows = read_all(*o.table);
    EXPECT_EQ(text(*o.table, rows.records[0], "A"), "x,y");
    EXPECT_EQ(number(*o.table, rows.records[0], "B"), 1);
    for (char bad : {'"', '\n', '\r', '\0', static_cast<char>(0xC3)}) {
        TableOptions options;
        options.delimiter = bad;
        o = open_text("a\n1\n", options);
        EXPECT_EQ(o.table, nullptr);
        EXPECT_NE(o.error.message.find("delimiter"), std::string::npos);
    }
}

// A filter writes a selected row by copying its bytes: they must be the row exactly as the
// file holds it, quotes and inner line breaks included, without the line end.
TEST(Reading, RowsKeepTheirBytesAndLines) {
    Opened o = open_text(
        "\xEF\xBB\xBFid,note:char\r\n1,plain\r\n2,\"two\r\nlines, "
        "\"\"quoted\"\"\"\r\n\r\n3,\"\"\r\n"
        "4,last");
    ASSERT_NE(o.table, nullptr) << o.error.text();
    EXPECT_EQ(o.table->header_bytes(), "id,note:char");
    EXPECT_EQ(o.table->line_end(), "\r\n");
    EXPECT_EQ(o.table->row_count(), 4);
    const Rows rows = read_all(*o.table);
    ASSERT_TRUE(rows.ok) << rows.error.text();
    EXPECT_EQ(rows.bytes, (std::vector<std::string>{"1,plain", "2,\"two\r\nlines, \"\"quoted\"\"\"",
                                                    "3,\"\"", "4,last"}));
    EXPECT_EQ(rows.numbers, (std::vector<int64_t>{1, 2, 3, 4}));
    EXPECT_EQ(rows.lines, (std::vector<int64_t>{2, 3, 6, 7}));

    ReadOptions no_bytes;
    no_bytes.keep_bytes = false;
    ASSERT_TRUE(o.table->rewind(&o.error)) << o.error.text();
    const Rows bare = read_all(*o.table, 2, no_bytes);
    EXPECT_EQ(bare.records, rows.records);
    EXPECT_EQ(bare.bytes, std::vector<std::string>(4));
}

// Rows longer than the scanner's block, with characters of several bytes across its edges.
TEST(Reading, RowsSpanningReadBlocks) {
    std::string csv = "a:char,n\n";
    std::vector<std::string> cells;
    for (int r = 0; r < 60; ++r) {
        std::string a;
        for (int k = 0; k < 4000 + r; ++k) a += (k + r) % 7 == 0 ? "€" : "y";
        cells.push_back(a);
        csv += "\"" + a + "\"," + std::to_string(r) + "\n";
    }
    Opened o = open_text(csv);
    ASSERT_NE(o.table, nullptr) << o.error.text();
    EXPECT_EQ(o.table->columns()[0].width, 4059);
    const Rows rows = read_all(*o.table, 7);
    ASSERT_EQ(rows.records.size(), 60u);
    for (size_t r = 0; r < 60; ++r) {
        EXPECT_EQ(text(*o.table, rows.records[r], "A"), cells[r]);
        EXPECT_EQ(number(*o.table, rows.records[r], "N"), static_cast<double>(r));
    }
}

}  // namespace
