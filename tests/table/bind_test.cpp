// Binding the clause's column names to a table: the fields a bound NAME leaf gets, the
// status and memory of an unknown name, names as the parser cuts and upper-cases them,
// and the closest names offered instead.
#include <gtest/gtest.h>

#include "table/schema.h"
#include "table_fixture.h"

namespace {

using namespace tabletest;

TEST(Binding, KnownNamesGetTheirColumnsPlace) {
    Opened o = open_text("code:char(3),price,l,max,city:char,unused\nab,1.5,2,3,Oslo,4\n");
    ASSERT_NE(o.table, nullptr) << o.error.text();
    struct Expect {
        const char* key;
        int16_t vlen, colw;
        int32_t coloff;
    };
    const std::vector<Expect> expected = {
        {"CODE", 12, 12, 0}, {"PRICE", -8, 8, 16}, {"L", -8, 8, 24},
        {"MAX", -8, 8, 32},  {"CITY", 16, 16, 40},
    };
    for (const Expect& e : expected) {
        auto leaf = name_leaf(e.key);
        leaf->u.nm.colmode = 7;  // stale values are overwritten
        EXPECT_EQ(Table::lookup(o.table.get(), leaf.get(), nullptr), 0) << e.key;
        EXPECT_EQ(leaf->type, Z_NAME);
        EXPECT_EQ(leaf->vlen, e.vlen) << e.key;
        EXPECT_EQ(leaf->u.nm.colw, e.colw) << e.key;
        EXPECT_EQ(leaf->u.nm.coloff, e.coloff) << e.key;
        EXPECT_EQ(leaf->u.nm.colmode, 0u);
        EXPECT_EQ(leaf->u.nm.fetch, nullptr);
    }
    for (int32_t i = 0; i < 5; ++i) EXPECT_TRUE(o.table->bound(i));
    EXPECT_FALSE(o.table->bound(5));
    o.table->clear_bindings();
    EXPECT_FALSE(o.table->bound(0));
}

TEST(Binding, UnknownNamesAreRefusedAndKept) {
    Opened o = open_text("price,qty\n1,2\n");
    ASSERT_NE(o.table, nullptr) << o.error.text();
    // Names arrive upper-cased: a lower-case name is no column's key.
    for (const char* name : {"PRCE", "price", "PRICE2", ""}) {
        auto leaf = name_leaf(name);
        EXPECT_EQ(Table::lookup(o.table.get(), leaf.get(), nullptr), kUnknownColumn) << name;
        EXPECT_EQ(o.table->unknown_name(), name);
        EXPECT_EQ(leaf->vlen, 0);
    }
    EXPECT_FALSE(o.table->bound(0));
    // A length out of range is clamped, never read past the name field.
    auto leaf = name_leaf("QTY");
    leaf->u.nm.namelen = 200;
    EXPECT_EQ(Table::lookup(o.table.get(), leaf.get(), nullptr), kUnknownColumn);
    EXPECT_EQ(o.table->unknown_name().size(), 32u);
    leaf->u.nm.namelen = -3;
    EXPECT_EQ(Table::lookup(o.table.get(), leaf.get(), nullptr), kUnknownColumn);
    EXPECT_EQ(o.table->unknown_name(), "");
}

// Keys are made as the parser makes names: upper-cased by the library's case mapping and
// cut to 32 bytes in whole characters.
TEST(Binding, KeysMatchTheParsersNames) {
    EXPECT_EQ(name_key("price"), "PRICE");
    EXPECT_EQ(name_key("Größe"), "GRÖßE");
    EXPECT_EQ(name_key("abcdefghijklmnopqrstuvwxyz0123456789"), "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345");
    EXPECT_EQ(name_key("ééééééééééééééééé"), "ÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉÉ");  // 16 of 17 fit
    Opened o = open_text("Größe,abcdefghijklmnopqrstuvwxyz0123456789\n1,2\n");
    ASSERT_NE(o.table, nullptr) << o.error.text();
    auto leaf = name_leaf("GRÖßE");
    EXPECT_EQ(Table::lookup(o.table.get(), leaf.get(), nullptr), 0);
    leaf = name_leaf("ABCDEFGHIJKLMNOPQRSTUVWXYZ012345");
    EXPECT_EQ(Table::lookup(o.table.get(), leaf.get(), nullptr), 0);
    EXPECT_EQ(leaf->u.nm.coloff, 8);
}

TEST(Suggestions, EditDistance) {
    struct Pair {
        const char* a;
        const char* b;
        int32_t distance;
    };
    const std::vector<Pair> pairs = {
        {"", "", 0},          {"PRICE", "PRICE", 0}, {"", "ABC", 3},
        {"PRCE", "PRICE", 1}, {"PRCIE", "PRICE", 1}, {"KITTEN", "SITTING", 3},
        {"CA", "ABC", 3},     {"NAME", "MANE", 2},   {"ÄB", "AB", 1},  // characters, not bytes
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(edit_distance(p.a, p.b), p.distance) << p.a << " / " << p.b;
        EXPECT_EQ(edit_distance(p.b, p.a), p.distance) << p.b << " / " << p.a;
    }
}

TEST(Suggestions, ClosestColumnsFirst) {
    Opened o = open_text("price,prices,qty,name,city,code,l,max\n1,2,3,x,y,z,4,5\n");
    ASSERT_NE(o.table, nullptr) << o.error.text();
    const auto& c = o.table->columns();
    using Names = std::vector<std::string>;
    EXPECT_EQ(closest_columns("PRCIE", c), (Names{"price", "prices"}));
    EXPECT_EQ(closest_columns("PRICEX", c, 1), (Names{"price"}));
    EXPECT_EQ(closest_columns("CIYT", c), (Names{"city"}));
    EXPECT_EQ(closest_columns("CTY", c), (Names{"qty", "city"}));  // ties in header order
    EXPECT_EQ(closest_columns("DISCOUNT", c), Names{});
    EXPECT_EQ(closest_columns("PRICE", c), (Names{"prices"}));  // itself is no suggestion
}

TEST(Suggestions, DidYouMeanListsEveryName) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(did_you_mean(Names{}), "");
    EXPECT_EQ(did_you_mean(Names{"city"}), "; did you mean 'city'?");
    EXPECT_EQ(did_you_mean(Names{"qty", "city"}), "; did you mean 'qty' or 'city'?");
    EXPECT_EQ(did_you_mean(Names{"a", "b", "c"}), "; did you mean 'a', 'b' or 'c'?");
}

}  // namespace
