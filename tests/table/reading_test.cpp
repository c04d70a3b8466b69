// How a table's text becomes rows and cells: quoting, line ends, the byte-order mark,
// empty lines, delimiters, and the original bytes and line numbers each row keeps.
#include <gtest/gtest.h>

#include "table_fixture.h"

namespace {

using namespace tabletest;

struct Case {
    const char* what;
    std::string text;  // a table of character columns A and B
    std::vector<std::vector<std::string>> rows;
};

TEST(Reading, CellsComeOutAsWritten) {
    const std::string h = "a:char,b:char\n";
    const std::vector<Case> cases = {
        {"plain cells", h + "x,y\nzz,w\n", {{"x", "y"}, {"zz", "w"}}},
        {"delimiter inside quotes", h + "\"x,y\",z\n", {{"x,y", "z"}}},
        {"doubled quotes", h + "\"say \"\"hi\"\"\",\"\"\"\"\n", {{"say \"hi\"", "\""}}},
        {"LF inside quotes", h + "\"l1\nl2\",x\n", {{"l1\nl2", "x"}}},
        {"CRLF inside quotes kept", h + "\"l1\r\nl2\",x\r\n", {{"l1\r\nl2", "x"}}},
        {"CRLF line ends", "a:char,b:char\r\n1,2\r\n3,4\r\n", {{"1", "2"}, {"3", "4"}}},
        {"no line end at the end", h + "1,2\n3,4", {{"1", "2"}, {"3", "4"}}},
        {"empty lines hold no row", h + "\n1,2\n\r\n\n3,4\n\n", {{"1", "2"}, {"3", "4"}}},
        {"empty cells", h + ",\n\"\",x\n", {{"", ""}, {"", "x"}}},
        {"a lone CR is text", h + "x\ry,z\n", {{"x\ry", "z"}}},
        {"a quote inside an unquoted cell is text", h + "5'11\",a\"b\n", {{"5'11\"", "a\"b"}}},
        {"blanks are kept", h + " x , y\n", {{" x", " y"}}},
        {"several lines in one cell", h + "\"a\n\nb\n\",c\n", {{"a\n\nb\n", "c"}}},
        {"UTF-8 characters", h + "é€,😀\n", {{"é€", "😀"}}},
        {"byte-order mark skipped", "\xEF\xBB\xBF" + h + "1,2\n", {{"1", "2"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Opened o = open_text(c.text);
        ASSERT_NE(o.table, nullptr) << o.error.text();
        ASSERT_EQ(o.table->columns().size(), 2u);
        EXPECT_EQ(o.table->columns()[0].name, "a");
        const Rows rows = read_all(*o.table);
        ASSERT_TRUE(rows.ok) << rows.error.text();
        ASSERT_EQ(rows.records.size(), c.rows.size());
        for (size_t r = 0; r < c.rows.size(); ++r) {
            // text() drops trailing blanks; compare the written cells the same way.
            auto trimmed = [](std::string s) {
                while (!s.empty() && s.back() == ' ') s.pop_back();
                return s;
            };
            EXPECT_EQ(text(*o.table, rows.records[r], "A"), trimmed(c.rows[r][0])) << "row " << r;
            EXPECT_EQ(text(*o.table, rows.records[r], "B"), trimmed(c.rows[r][1])) << "row " << r;
        }
    }
}

TEST(Reading, OtherDelimiters) {
    TableOptions tsv;
    tsv.delimiter = '\t';
    Opened o = open_text("a:char\tb:char\nx,y\t\"p\tq\"\n", tsv);
    ASSERT_NE(o.table, nullptr) << o.error.text();
    Rows rows = read_all(*o.table);
    ASSERT_EQ(rows.records.size(), 1u);
    EXPECT_EQ(text(*o.table, rows.records[0], "A"), "x,y");
    EXPECT_EQ(text(*o.table, rows.records[0], "B"), "p\tq");

    TableOptions semi;
    semi.delimiter = ';';
    o = open_text("a;b\n1,5;2\n", semi);
    ASSERT_NE(o.table, nullptr) << o.error.text();
    EXPECT_EQ(o.table->columns()[0].kind, Kind::kCharacter);  // 1,5 is no number
    EXPECT_EQ(o.table->columns()[1].kind, Kind::kNumeric);

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
    const std::string csv =
        "\xEF\xBB\xBFid,note:char\r\n"
        "1,plain\r\n"
        "2,\"two\r\nlines, \"\"quoted\"\"\"\r\n"
        "\r\n"
        "3,\"\"\r\n"
        "4,last";
    Opened o = open_text(csv);
    ASSERT_NE(o.table, nullptr) << o.error.text();
    EXPECT_EQ(o.table->header_bytes(), "id,note:char");
    EXPECT_EQ(o.table->line_end(), "\r\n");
    EXPECT_EQ(o.table->row_count(), 4);
    const Rows rows = read_all(*o.table);
    ASSERT_TRUE(rows.ok) << rows.error.text();
    const std::vector<std::string> bytes = {"1,plain", "2,\"two\r\nlines, \"\"quoted\"\"\"",
                                            "3,\"\"", "4,last"};
    EXPECT_EQ(rows.bytes, bytes);
    EXPECT_EQ(rows.numbers, (std::vector<int64_t>{1, 2, 3, 4}));
    EXPECT_EQ(rows.lines, (std::vector<int64_t>{2, 3, 6, 7}));
    EXPECT_EQ(text(*o.table, rows.records[1], "NOTE"), "two\r\nlines, \"quoted\"");

    ReadOptions no_bytes;
    no_bytes.keep_bytes = false;
    ASSERT_TRUE(o.table->rewind(&o.error)) << o.error.text();
    const Rows bare = read_all(*o.table, 2, no_bytes);
    EXPECT_EQ(bare.records, rows.records);
    for (const std::string& b : bare.bytes) EXPECT_TRUE(b.empty());
}

TEST(Reading, LineEndDefaultsToLF) {
    Opened o = open_text("a\n1\n");
    ASSERT_NE(o.table, nullptr);
    EXPECT_EQ(o.table->line_end(), "\n");
    o = open_text("a");
    ASSERT_NE(o.table, nullptr);
    EXPECT_EQ(o.table->line_end(), "\n");
    EXPECT_EQ(o.table->row_count(), 0);
}

// Rows longer than the scanner's block, and characters split across blocks.
TEST(Reading, RowsSpanningReadBlocks) {
    std::string csv = "a:char,b:char,n\n";
    std::vector<std::string> as;
    for (int r = 0; r < 60; ++r) {
        std::string a;
        for (int k = 0; k < 4000 + r; ++k) a += (k + r) % 7 == 0 ? "€" : "y";
        as.push_back(a);
        csv += "\"" + a + "\"," + std::to_string(r) + "," + std::to_string(r * 3) + "\n";
    }
    Opened o = open_text(csv);
    ASSERT_NE(o.table, nullptr) << o.error.text();
    EXPECT_EQ(o.table->columns()[0].width, 4059);
    const Rows rows = read_all(*o.table, 7);
    ASSERT_TRUE(rows.ok) << rows.error.text();
    ASSERT_EQ(rows.records.size(), 60u);
    for (size_t r = 0; r < 60; ++r) {
        EXPECT_EQ(text(*o.table, rows.records[r], "A"), as[r]);
        EXPECT_EQ(number(*o.table, rows.records[r], "N"), 3.0 * static_cast<double>(r));
    }
}

}  // namespace
