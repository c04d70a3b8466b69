// What a table's columns are: kinds learnt from the cells (numbers of the clause
// language's forms and the missing-value literals), widths in characters, kinds and widths
// fixed by the header, and the missing values numeric cells hold.
#include <gtest/gtest.h>

#include <limits>

#include "table/cells.h"
#include "table_fixture.h"
#include "zorv/support.h"

namespace {

using namespace tabletest;

TEST(Schema, NumberForms) {
    struct Form {
        const char* cell;
        double value;
    };
    const std::vector<Form> numbers = {
        {"0", 0},
        {"-17", -17},
        {"+3", 3},
        {"007", 7},
        {"2.5", 2.5},
        {"5.", 5},
        {".25", 0.25},
        {"-.5", -0.5},
        {"1e3", 1000},
        {"1.5E-2", 0.015},
        {"+2e+2", 200},
        {"  12  ", 12},
        {"1e-400", 0},
        {"0.00001e-320", 0},  // too small for a double: zero
        {"1.7976931348623157e308", std::numeric_limits<double>::max()},
    };
    for (const Form& f : numbers) {
        double v = -1;
        EXPECT_EQ(classify(f.cell, &v), CellClass::kNumber) << f.cell;
        EXPECT_EQ(v, f.value) << f.cell;
    }
    double v;
    for (const char* big : {"1e309", "-99999e99999999999999999"})
        EXPECT_EQ(classify(big, &v), CellClass::kTooLarge) << big;
    for (const char* other : {"1e", "1e+", "e5", ".e5", "-", "+-1", "1.2.3", "1 2", "1,5", "0x10",
                              "inf", "nan", "1_000", "12abc", "..", ".AB", ".1A", "._A", "\t1"})
        EXPECT_EQ(classify(other, &v), CellClass::kOther) << other;
}

TEST(Schema, MissingLiteralsHoldTheLibrarysMissingValues) {
    const std::vector<std::pair<const char*, int>> literals = {
        {"", '.'}, {"  ", '.'}, {".", '.'}, {"._", '_'}, {".A", 'A'}, {" .m", 'M'}, {".Z", 'Z'},
    };
    for (const auto& [cell, code] : literals) {
        double v = 0;
        EXPECT_NE(classify(cell, &v), CellClass::kOther) << cell;
        EXPECT_EQ(bits(v), bits(pvMissVal(code))) << cell;
    }
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
    const std::vector<Kind> kinds = {Kind::kNumeric, Kind::kNumeric,   Kind::kCharacter,
                                     Kind::kNumeric, Kind::kCharacter, Kind::kCharacter};
    const std::vector<int32_t> widths = {0, 0, 3, 0, 1, 5};
    ASSERT_EQ(c.size(), kinds.size());
    for (size_t i = 0; i < c.size(); ++i) {
        EXPECT_EQ(c[i].kind, kinds[i]) << c[i].name;
        EXPECT_EQ(c[i].width, widths[i]) << c[i].name;
    }
    const Rows rows = read_all(*o.table);
    ASSERT_TRUE(rows.ok) << rows.error.text();
    EXPECT_EQ(number(*o.table, rows.records[1], "NUM"), -25);
    EXPECT_EQ(bits(number(*o.table, rows.records[2], "MISS")), bits(pvMissVal('A')));
    EXPECT_EQ(text(*o.table, rows.records[3], "MIXED"), ".Z");  // text in a character column
}

TEST(Schema, TheHeaderCanFixKinds) {
    Opened o = open_text(
        "id:num, Code : CHAR(3) ,name:char,qty,zip:char,a:b:num,e:char\n"
        "1,ab,Ann,3,01234,5,\n"
        ",x,Bo,.B,99,,\n");
    ASSERT_NE(o.table, nullptr) << o.error.text();
    const auto& c = o.table->columns();
    const std::vector<std::string> names = {"id", "Code", "name", "qty", "zip", "a:b", "e"};
    const std::vector<Kind> kinds = {Kind::kNumeric,  Kind::kCharacter, Kind::kCharacter,
                                     Kind::kNumeric,  Kind::kCharacter, Kind::kNumeric,
                                     Kind::kCharacter};
    const std::vector<int32_t> widths = {0, 3, 3, 0, 5, 0, 1};
    ASSERT_EQ(c.size(), names.size());
    for (size_t i = 0; i < c.size(); ++i) {
        EXPECT_EQ(c[i].name, names[i]);
        EXPECT_EQ(c[i].kind, kinds[i]) << names[i];
        EXPECT_EQ(c[i].width, widths[i]) << names[i];
        EXPECT_EQ(c[i].typed, names[i] != "qty") << names[i];
    }
    const Rows rows = read_all(*o.table);
    EXPECT_EQ(text(*o.table, rows.records[0], "ZIP"), "01234");

    // Only a header that types every column, with widths, streams: no schema pass.
    for (const char* header : {"a:num,b:char(4)", "a:NUM"}) {
        o = open_text(std::string(header) + "\n");
        EXPECT_EQ(o.table->row_count(), -1) << header;
    }
    for (const char* header : {"a:num,b:char", "a:num,b"}) {
        o = open_text(std::string(header) + "\n");
        EXPECT_EQ(o.table->row_count(), 0) << header;
    }
}

}  // namespace
