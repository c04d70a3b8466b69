// What a table's columns are: kinds learnt from the cells (numbers of the clause
// language's forms and the missing-value literals), widths in characters, kinds and widths
// fixed by the header, and the missing values numeric cells hold.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "table/cells.h"
#include "table_fixture.h"
#include "zorv/support.h"

namespace {

using namespace tabletest;

struct Form {
    const char* cell;
    CellClass kind;
    double value;  // for numbers
};

TEST(Schema, NumberForms) {
    const double kMax = std::numeric_limits<double>::max();
    const std::vector<Form> forms = {
        {"0", CellClass::kNumber, 0},
        {"42", CellClass::kNumber, 42},
        {"-17", CellClass::kNumber, -17},
        {"+3", CellClass::kNumber, 3},
        {"007", CellClass::kNumber, 7},
        {"2.5", CellClass::kNumber, 2.5},
        {"5.", CellClass::kNumber, 5},
        {".25", CellClass::kNumber, 0.25},
        {"-.5", CellClass::kNumber, -0.5},
        {"1e3", CellClass::kNumber, 1000},
        {"1.5E-2", CellClass::kNumber, 0.015},
        {"+2e+2", CellClass::kNumber, 200},
        {"  12  ", CellClass::kNumber, 12},
        {"1.7976931348623157e308", CellClass::kNumber, kMax},
        {"1e-400", CellClass::kNumber, 0},
        {"0.0000001e-320", CellClass::kNumber, 0},
        {"1e309", CellClass::kTooLarge, 0},
        {"-99999e99999999999999999", CellClass::kTooLarge, 0},
        {"", CellClass::kEmpty, 0},
        {"   ", CellClass::kEmpty, 0},
        {".", CellClass::kMissing, 0},
        {"._", CellClass::kMissing, 0},
        {".a", CellClass::kMissing, 0},
        {" .Z ", CellClass::kMissing, 0},
        {"1e", CellClass::kOther, 0},
        {"1e+", CellClass::kOther, 0},
        {"e5", CellClass::kOther, 0},
        {".e5", CellClass::kOther, 0},
        {"-", CellClass::kOther, 0},
        {"+-1", CellClass::kOther, 0},
        {"1.2.3", CellClass::kOther, 0},
        {"1 2", CellClass::kOther, 0},
        {"1,5", CellClass::kOther, 0},
        {"0x10", CellClass::kOther, 0},
        {"inf", CellClass::kOther, 0},
        {"nan", CellClass::kOther, 0},
        {"1_000", CellClass::kOther, 0},
        {"12abc", CellClass::kOther, 0},
        {"..", CellClass::kOther, 0},
        {".AB", CellClass::kOther, 0},
        {".1A", CellClass::kOther, 0},
        {"._A", CellClass::kOther, 0},
        {"\t1", CellClass::kOther, 0},
    };
    for (const Form& f : forms) {
        SCOPED_TRACE(f.cell);
        double v = -1;
        EXPECT_EQ(classify(f.cell, &v), f.kind);
        if (f.kind == CellClass::kNumber) {
            EXPECT_EQ(v, f.value);
        }
    }
}

TEST(Schema, MissingLiteralsHoldTheLibrarysMissingValues) {
    const std::vector<std::pair<const char*, int>> literals = {
        {"", '.'}, {".", '.'}, {"._", '_'}, {".A", 'A'}, {".a", 'A'}, {".m", 'M'}, {".Z", 'Z'},
    };
    for (const auto& [cell, code] : literals) {
        SCOPED_TRACE(cell);
        double v = 0;
        classify(cell, &v);
        EXPECT_EQ(bits(v), bits(pvMissVal(code)));
    }
    // Three distinct kinds: underscore, ordinary and lettered.
    EXPECT_NE(bits(pvMissVal('_')), bits(pvMissVal('.')));
    EXPECT_NE(bits(pvMissVal('A')), bits(pvMissVal('.')));
}

TEST(Schema, KindsAndWidthsAreLearnt) {
    Opened o = open_text(
        "num,miss,mixed,empty,word,wide\n"
        "1,.,12,,x,héllo\n"
        "-2.5e1,._,abc,,1,é\n"
        "+.5,.a,7,,.,\n"
        "5.,,.Z,,y,ab\n");
    ASSERT_NE(o.table, nullptr) << o.error.text();
    const auto& c = o.table->columns();
    ASSERT_EQ(c.size(), 6u);
    const std::vector<Kind> kinds = {Kind::kNumeric, Kind::kNumeric,   Kind::kCharacter,
                                     Kind::kNumeric, Kind::kCharacter, Kind::kCharacter};
    const std::vector<int32_t> widths = {0, 0, 3, 0, 1, 5};
    for (size_t i = 0; i < c.size(); ++i) {
        SCOPED_TRACE(c[i].name);
        EXPECT_EQ(c[i].kind, kinds[i]);
        EXPECT_EQ(c[i].width, widths[i]);
        EXPECT_FALSE(c[i].typed);
    }
    EXPECT_EQ(o.table->row_count(), 4);
    const Rows rows = read_all(*o.table);
    ASSERT_TRUE(rows.ok) << rows.error.text();
    EXPECT_EQ(number(*o.table, rows.records[1], "NUM"), -25);
    EXPECT_EQ(number(*o.table, rows.records[2], "NUM"), 0.5);
    EXPECT_EQ(bits(number(*o.table, rows.records[2], "MISS")), bits(pvMissVal('A')));
    EXPECT_EQ(bits(number(*o.table, rows.records[3], "MISS")), bits(pvMissVal('.')));
    EXPECT_EQ(bits(number(*o.table, rows.records[0], "EMPTY")), bits(pvMissVal('.')));
    // A missing literal in a character column is just text.
    EXPECT_EQ(text(*o.table, rows.records[2], "WORD"), ".");
    EXPECT_EQ(text(*o.table, rows.records[3], "MIXED"), ".Z");
}

TEST(Schema, CharacterColumnsAreAtLeastOneWide) {
    Opened o = open_text("a:char,b\n,x\n,\n");
    ASSERT_NE(o.table, nullptr) << o.error.text();
    EXPECT_EQ(o.table->columns()[0].width, 1);
    EXPECT_EQ(o.table->columns()[1].width, 1);
}

TEST(Schema, TheHeaderCanFixKinds) {
    Opened o = open_text(
        "id:num, Code : CHAR(3) ,name:char,qty,zip:char,a:b:num\n"
        "1,ab,Ann,3,01234,5\n"
        ",x,Bo,.B,99,\n");
    ASSERT_NE(o.table, nullptr) << o.error.text();
    const auto& c = o.table->columns();
    ASSERT_EQ(c.size(), 6u);
    const std::vector<std::string> names = {"id", "Code", "name", "qty", "zip", "a:b"};
    const std::vector<Kind> kinds = {Kind::kNumeric, Kind::kCharacter, Kind::kCharacter,
                                     Kind::kNumeric, Kind::kCharacter, Kind::kNumeric};
    const std::vector<int32_t> widths = {0, 3, 3, 0, 5, 0};
    const std::vector<bool> typed = {true, true, true, false, true, true};
    for (size_t i = 0; i < c.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(c[i].name, names[i]);
        EXPECT_EQ(c[i].kind, kinds[i]);
        EXPECT_EQ(c[i].width, widths[i]);
        EXPECT_EQ(c[i].typed, typed[i]);
    }
    // Digits in a character column stay characters, leading zero included.
    const Rows rows = read_all(*o.table);
    ASSERT_TRUE(rows.ok) << rows.error.text();
    EXPECT_EQ(text(*o.table, rows.records[0], "ZIP"), "01234");
    EXPECT_EQ(characters(*o.table, rows.records[1], "CODE"), U"x  ");
}

// Only a header that types every column with its width can stream: the schema is then
// known before any row is read.
TEST(Schema, FullyTypedHeadersSkipTheSchemaPass) {
    struct Header {
        const char* header;
        bool streams;
    };
    const std::vector<Header> headers = {
        {"a:num,b:char(4)", true},
        {"a:NUM", true},
        {"a:num,b:char", false},
        {"a:num,b", false},
    };
    for (const Header& h : headers) {
        SCOPED_TRACE(h.header);
        Opened o = open_text(std::string(h.header) + "\n");
        ASSERT_NE(o.table, nullptr) << o.error.text();
        EXPECT_EQ(o.table->row_count() < 0, h.streams);
    }
}

}  // namespace
