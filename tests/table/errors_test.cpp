// Refused tables: every kind of bad input names the file, the line and the character
// column where the fault is, whether it is found while opening or while reading.
#include <gtest/gtest.h>

#include <cstdlib>

#include "table_fixture.h"

namespace {

using namespace tabletest;

struct Bad {
    const char* what;
    std::string text;
    std::string error;  // with the file's name shown as F
};

// Opens, then reads every row: the first refusal wins, wherever it comes from.
std::string first_error(std::string_view text) {
    Opened o = open_text(text);
    if (o.table == nullptr) return shown(o.error, o.path);
    Rows rows = read_all(*o.table);
    return rows.ok ? "" : shown(rows.error, o.path);
}

TEST(Errors, NameFileLineAndColumn) {
    const std::string long_cell(8192, 'x');
    const std::vector<Bad> cases = {
        {"invalid lead byte", "a\nx\xFFy\n", "F:2:2: invalid UTF-8 (byte 0xFF)"},
        {"overlong form", "a\n\xC0\x80\n", "F:2:1: invalid UTF-8 (byte 0xC0)"},
        {"broken character", "a\nxé\xC3(\n",
         "F:2:3: invalid UTF-8 (a character begun by byte 0xC3 is broken)"},
        {"surrogate", "a\n\xED\xA0\x80\n",
         "F:2:1: invalid UTF-8 (a character begun by byte 0xED is broken)"},
        {"past U+10FFFF", "a\n\xF4\x90\x80\x80\n",
         "F:2:1: invalid UTF-8 (a character begun by byte 0xF4 is broken)"},
        {"cut at the end", "a\nx\xE2\x82",
         "F:2:2: invalid UTF-8 (the input ends inside a character)"},
        {"invalid in the header", "ab,c\xA9\n", "F:1:5: invalid UTF-8 (byte 0xA9)"},
        {"unterminated quote", "a,b\n1,2\n3,\"abc\n4,5\n",
         "F:3:3: quoted cell has no closing quote"},
        {"text after a closing quote", "a,b\néé,\"x\"y\n",
         "F:2:7: unexpected text after a closing quote"},
        {"CR after a closing quote", "a\n\"x\"\ry\n",
         "F:2:4: unexpected text after a closing quote"},
        {"too many cells", "a,b\n1,2,3\n", "F:2:5: row has more cells than the header's 2"},
        {"too many cells after a cell of two lines", "a,b\n\"x\ny\",1,2\n",
         "F:3:6: row has more cells than the header's 2"},
        {"too few cells", "a,b\n1,2\n1\n", "F:3:2: row has 1 cell, the header has 2"},
        {"too few cells with CRLF", "a,b,c\r\n1,2\r\n", "F:2:4: row has 2 cells, the header has 3"},
        {"too few cells at the end", "a,b\n1", "F:2:2: row has 1 cell, the header has 2"},
        {"duplicate name", "Price,qty,price\n",
         "F:1:11: duplicate column name 'price' (column 1 is 'Price')"},
        {"duplicate after its kind", "a:num,b, A :char(3)\n",
         "F:1:9: duplicate column name 'A' (column 1 is 'a')"},
        {"duplicate after a byte-order mark",
         "\xEF\xBB\xBF"
         "a,a\n",
         "F:1:3: duplicate column name 'a' (column 1 is 'a')"},
        {"empty header cell", "a,,b\n", "F:1:3: empty column name in header cell 2"},
        {"blank header cell", "a,  \n", "F:1:3: empty column name in header cell 2"},
        {"kind without a name", "a,:num\n", "F:1:3: empty column name in header cell 2"},
        {"unknown kind", "a:int\n",
         "F:1:1: unknown kind 'int' of column 'a' (num, char or char(N) with N from 1 to 8191)"},
        {"width 0", "a:char(0)\n",
         "F:1:1: unknown kind 'char(0)' of column 'a' (num, char or char(N) with N from 1 to "
         "8191)"},
        {"width too large", "a,b:char(8192)\n",
         "F:1:3: unknown kind 'char(8192)' of column 'b' (num, char or char(N) with N from 1 "
         "to 8191)"},
        {"not a number", "p:num,q\n1,2\n2,x\nabc,4\n",
         "F:4:1: cell 'abc' of numeric column 'p' is not a number"},
        {"number too large", "q,p:num\n1,1e308\n2, 1e309\n",
         "F:3:3: cell ' 1e309' of numeric column 'p' is too large for a number"},
        {"cell too wide", "c:char(2),d\nab,1\n\"a\nbc\",2\n",
         "F:3:1: cell 'a bc' of column 'c' is longer than 2 characters"},
        {"long cells are cut in messages", "c:char(2)\n" + std::string(50, 'z') + "\n",
         "F:2:1: cell '" + std::string(40, 'z') + "...' of column 'c' is longer than 2 characters"},
        {"cell longer than any column", "a\n" + long_cell + "\n",
         "F:2:1: cell longer than 8191 characters"},
        {"quoted cell that never ends", "a\n\"" + long_cell + "\n",
         "F:2:1: cell longer than 8191 characters (is its closing quote missing?)"},
        {"empty table", "", "F:1:1: no header row: the table is empty"},
        {"only a byte-order mark", "\xEF\xBB\xBF", "F:1:1: no header row: the table is empty"},
        {"only empty lines", "\n\r\n\n", "F:1:1: no header row: the table is empty"},
    };
    for (const Bad& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(first_error(c.text), c.error);
    }
}

TEST(Errors, UnreadableFiles) {
    TableError error;
    EXPECT_EQ(Table::open("/nonexistent/zorv/t.csv", {}, &error), nullptr);
    EXPECT_EQ(error.text(), "/nonexistent/zorv/t.csv: cannot open: No such file or directory");
    EXPECT_EQ(Table::open("/", {}, &error), nullptr);
    EXPECT_EQ(error.text(), "/: cannot open: Is a directory");
}

// A pipe whose header leaves a schema pass to do needs a temporary copy; one with a typed
// header streams without.
TEST(Errors, NoPlaceForTheCopy) {
    const char* saved = std::getenv("TMPDIR");
    const std::string tmpdir = saved != nullptr ? saved : "";
    ::setenv("TMPDIR", "/nonexistent/zorv", 1);
    std::string untyped, typed;
    {
        Piped p("a,b\n1,2\n");
        untyped = p.table == nullptr ? p.error.text() : "opened";
        Piped q("a:num\n1\n");
        typed = q.table == nullptr ? q.error.text() : "opened";
    }
    if (saved != nullptr)
        ::setenv("TMPDIR", tmpdir.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    EXPECT_EQ(untyped,
              "pipe: cannot make a temporary copy in /nonexistent/zorv: No such file or directory");
    EXPECT_EQ(typed, "opened");
}

// With a typed header nothing is read ahead, so faults show up while reading: the rows
// before the faulty one are still handed out, and the table stays refused.
TEST(Errors, StreamedTablesFailWhileReading) {
    std::string csv = "n:num,c:char(2)\n";
    for (int i = 0; i < 2500; ++i) csv += std::to_string(i) + ",ab\n";
    Piped p(csv + "7,abc\n1,ab\n");
    ASSERT_NE(p.table, nullptr) << p.error.text();
    EXPECT_EQ(p.table->row_count(), -1);
    Chunk chunk(1000);
    TableError error, again;
    EXPECT_EQ(p.table->read(chunk, {}, &error), 1000);
    EXPECT_EQ(p.table->read(chunk, {}, &error), 1000);
    EXPECT_EQ(p.table->read(chunk, {}, &error), -1);
    EXPECT_EQ(error.text(), "pipe:2502:3: cell 'abc' of column 'c' is longer than 2 characters");
    EXPECT_EQ(chunk.size(), 500);
    EXPECT_EQ(chunk.row_number(499), 2500);
    EXPECT_EQ(p.table->read(chunk, {}, &again), -1);
    EXPECT_EQ(again.text(), error.text());
    EXPECT_FALSE(p.table->rewind(&error));
    EXPECT_EQ(error.text(), "pipe: cannot read again: the input cannot be read a second time");
}

// Cells of columns a filter does not decode are still checked when no schema pass did it.
TEST(Errors, StreamedCellsAreCheckedEvenWhenNotDecoded) {
    Piped p("n:num,m:num\n1,2\n3,x\n");
    ASSERT_NE(p.table, nullptr) << p.error.text();
    auto leaf = name_leaf("N");
    ASSERT_EQ(Table::lookup(p.table.get(), leaf.get(), nullptr), 0);
    ReadOptions bound_only;
    bound_only.bound_only = true;
    Rows rows = read_all(*p.table, 10, bound_only);
    EXPECT_EQ(rows.error.text(), "pipe:3:3: cell 'x' of numeric column 'm' is not a number");
}

}  // namespace
