// The bundled sample table reads as the demonstrations need it: numeric and character
// columns of the expected kinds, keyword-named columns, and missing values of every kind.
#include <gtest/gtest.h>

#include <set>

#include "table_fixture.h"
#include "zorv/support.h"

namespace {

using namespace tabletest;

TEST(Sample, ReadsWithTheExpectedColumns) {
    TableError error;
    auto table = Table::open(ZORV_SOURCE_DIR "/data/sample.csv", {}, &error);
    ASSERT_NE(table, nullptr) << error.text();
    EXPECT_EQ(table->row_count(), 200);
    std::string kinds;  // N numeric, C character, per column
    for (const Column& c : table->columns()) kinds += c.kind == Kind::kNumeric ? 'N' : 'C';
    EXPECT_EQ(kinds, "NCCCNNNNNNC");
    for (const char* key :
         {"ID", "NAME", "CITY", "CODE", "PRICE", "QTY", "FLAG", "DATE", "L", "MAX", "NOTE"})
        EXPECT_GE(table->find(key), 0) << key;
    EXPECT_EQ(table->columns()[3].width, 3);  // CODE: two and three letters

    const Rows rows = read_all(*table);
    ASSERT_TRUE(rows.ok) << rows.error.text();
    std::set<uint64_t> missing;
    std::set<double> flags;
    std::set<std::string> names;
    for (const auto& r : rows.records) {
        for (const char* key : {"PRICE", "QTY", "MAX"}) {
            const double v = number(*table, r, key);
            if (pvMissArray(&v, 1)) missing.insert(bits(v));
        }
        flags.insert(number(*table, r, "FLAG"));
        names.insert(text(*table, r, "NAME"));
    }
    const std::set<uint64_t> every_kind = {bits(pvMissVal('.')), bits(pvMissVal('_')),
                                           bits(pvMissVal('A')), bits(pvMissVal('B'))};
    EXPECT_EQ(missing, every_kind);
    EXPECT_EQ(flags, (std::set<double>{0, 1}));
    EXPECT_TRUE(names.count("Ann") && names.count("Bo"));
}

}  // namespace
