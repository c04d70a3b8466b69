// Files that are not UTF-8 text with LF or CRLF line ends: NUL bytes (UTF-16 without a
// mark, binary files), UTF-16 with its byte-order mark, and lines ended by CR alone. Each is
// refused where it shows, whichever way the rows are read, instead of being read as text.
#include <gtest/gtest.h>

#include "table_fixture.h"

namespace {

using namespace tabletest;

const std::string kNul = ": NUL byte (is the table UTF-16 text, or not text at all?)";

// The first refusal of a table opened from a file and read whole: sequentially, and on two
// threads with only the cells of bound columns decoded (none here), as the filter reads.
std::pair<std::string, std::string> refusals(std::string_view text) {
    std::pair<std::string, std::string> out;
    for (int pass = 0; pass < 2; ++pass) {
        Opened o = open_text(text);
        std::string& said = pass == 0 ? out.first : out.second;
        if (o.table == nullptr) {
            said = shown(o.error, o.path);
            continue;
        }
        ReadOptions bound_only;
        bound_only.bound_only = true;
        const Rows rows = pass == 0 ? read_all(*o.table) : scan_all(*o.table, 2, bound_only);
        said = rows.ok ? "" : shown(rows.error, o.path);
    }
    return out;
}

TEST(NotText, IsRefusedWhereItShows) {
    const std::string u16 = std::string("a\0,\0b\0\n\0001\0,\0002\0\n\0", 16);
    struct Case {
        const char* what;
        std::string text;
        std::string error;
    } cases[] = {
        {"NUL in a cell", std::string("a,b\n1,x\0y\n", 10), "F:2:4" + kNul},
        {"NUL in a quoted cell", std::string("a,b\n1,\"x\0y\"\n", 12), "F:2:5" + kNul},
        {"NUL in a cell of a typed table", std::string("a:num,b:char(3)\n1,x\0\n", 21),
         "F:2:4" + kNul},
        {"NUL alone on a line", std::string("a\n1\n\0\n", 6), "F:3:1" + kNul},
        {"NUL in the header", std::string("a,b\0c\n1,2\n", 10), "F:1:4" + kNul},
        {"UTF-16 without a mark", u16, "F:1:2" + kNul},
        {"UTF-16 little-endian", "\xFF\xFE" + u16,
         "F:1:1: the table is UTF-16 text (it begins with a UTF-16 byte-order mark); save it "
         "as UTF-8"},
        {"UTF-16 big-endian", std::string("\xFE\xFF\0a\0,\0b\0\n", 10),
         "F:1:1: the table is UTF-16 text (it begins with a UTF-16 byte-order mark); save it "
         "as UTF-8"},
        {"lines ended by CR", "a,b\r1,2\r3,4\r",
         "F:1:4: the header holds a CR that ends no line: lines must end in LF or CRLF, not in "
         "CR alone"},
        {"a CR in the header of a typed table", "a:num\rb:num\n1\n",
         "F:1:6: the header holds a CR that ends no line: lines must end in LF or CRLF, not in "
         "CR alone"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto [read, scanned] = refusals(c.text);
        EXPECT_EQ(read, c.error);
        EXPECT_EQ(scanned, c.error);
    }
}

// NUL bytes with no line end among them (a device of zeros, a binary file) are refused
// where they begin, not read on up to the longest row a table may have.
TEST(NotText, NoLineEndIsWaitedForAfterANul) {
    TableOptions small;
    small.block_bytes = 4096;
    const std::string zeros(size_t{3} << 20, '\0');
    for (const auto& [head, at] : {std::pair<std::string, std::string>{"", "1:1"},
                                   {"a,b\n1,2\n3,", "3:3"},
                                   {"a:num,b:char(4)\n1,x\n3,", "3:3"}}) {
        Piped p(head + zeros, small);
        const std::string said = p.table ? read_all(*p.table).error.text() : p.error.text();
        EXPECT_EQ(said, "pipe:" + at + kNul) << head;
    }
}

TEST(NotText, CRInsideCellsAndQuotedNamesIsStillText) {
    // A lone CR inside a data cell, or quoted in the header, is part of the text.
    const auto [read, scanned] = refusals("\"a\rb\",c\n1,x\ry\n");
    EXPECT_EQ(read, "");
    EXPECT_EQ(scanned, "");
}

}  // namespace
