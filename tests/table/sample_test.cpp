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
    struct Expect {
        const char* key;
        Kind kind;
    };
    const std::vector<Expect> columns = {
        {"ID", Kind::kNumeric},     {"NAME", Kind::kCharacter}, {"CITY", Kind::kCharacter},
        {"CODE", Kind::kCharacter}, {"PRICE", Kind::kNumeric},  {"QTY", Kind::kNumeric},
        {"FLAG", Kind::kNumeric},   {"DATE", Kind::kNumeric},   {"L", Kind::kNumeric},
        {"MAX", Kind::kNumeric},    {"NOTE", Kind::kCharacter},
    };
    ASSERT_EQ(table->columns().size(), columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
        SCOPED_TRACE(columns[i].key);
        EXPECT_EQ(table->columns()[i].key, columns[i].key);
        EXPECT_EQ(table->columns()[i].kind, columns[i].kind);
    }
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
    const std::set<uint64_t> kinds = {bits(pvMissVal('.')), bits(pvMissVal('_')),
                                      bits(pvMissVal('A')), bits(pvMissVal('B'))};
    EXPECT_EQ(missing, kinds);
    EXPECT_EQ(flags, (std::set<double>{0, 1}));
    EXPECT_TRUE(names.count("Ann") && names.count("Bo"));
}

}  // namespace
