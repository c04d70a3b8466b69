// BETWEEN as a one-range list, IN lists narrowed to a character column's width (constants cut
// or dropped, range ends adjusted), and the prefixes a truncated IN list does not need.
#include <string>

#include "tests/tran/tran_fixture.h"

namespace {

class Lists : public trantest::TranTest {
  protected:
    std::string transform(ZNode* tree) {
        inst_->root = tree;
        ZORVTran(inst_, jnl_);
        return render(inst_->root);
    }
    // A character column two characters wide.
    ZNode* narrow() { return col("S", 8, 8); }
};

TEST_F(Lists, BetweenBecomesAOneRangeList) {
    struct Case {
        int type;
        ZNode* low;
        ZNode* high;
        const char* expected;
    } const cases[] = {
        {Z_BETW, num(5), num(5), "CEQ(NAME X,LITN 5)"},
        {Z_NBTW, num(5), num(5), "CNE(NAME X,LITN 5)"},
        {Z_BETW, num(1), num(3), "IN(NAME X,SET(RANB(LITN 1,LITN 3)))"},
        {Z_NBTW, num(1), num(3), "NIN(NAME X,SET(RANB(LITN 1,LITN 3)))"},
        {Z_BETW, num(10), num(1), "IN(NAME X,SET(RANB(LITN 1,LITN 10)))"},
        {Z_BETW, missing(2), num(1), "IN(NAME X,SET(RANB(LITN .,LITN 1)))"},
        {Z_BETW, chr("a"), num(3), "BETW(NAME X,LITC 'a',LITN 3)"},
        {Z_BETW, num(1, 1), num(3), "BETW(NAME X,LITN 1,LITN 3)"},
        {Z_BETW, num(1), col("Y"), "BETW(NAME X,LITN 1,NAME Y)"},
    };
    for (const Case& c : cases) {
        ZNode* n = op(c.type, {col("X"), c.low, c.high});
        const int changed = do_betw(n, inst_);
        EXPECT_EQ(render(n), c.expected);
        EXPECT_EQ(changed, render(n).rfind("BETW", 0) == 0 ? 0 : 1) << c.expected;
        EXPECT_EQ(n->u.op.nargs, changed ? 2 : 3);
    }
}

TEST_F(Lists, InListsAreNarrowedToTheColumn) {
    EXPECT_EQ(transform(op(Z_IN, {narrow(), set({chr("AB  "), chr("ABC")})})),
              "CEQ(NAME S,LITC 'AB')");
    EXPECT_EQ(transform(op(Z_IN, {narrow(), set({chr("ABC")})})), "LITN 0");
    EXPECT_EQ(transform(op(Z_NIN, {narrow(), set({chr("XYZ")})})), "LITN 1");

    struct Case {
        ZNode* element;
        const char* expected;
        int changed;
    } const cases[] = {
        {chr("AB"), "IN(NAME S,SET(LITC 'AB'))", 0},
        {chr("A "), "IN(NAME S,SET(LITC 'A '))", 0},
        {range(Z_RANB, chr("AAX"), chr("AB  ")), "IN(NAME S,SET(RANH(LITC 'AAX',LITC 'AB')))", 1},
        {range(Z_RANL, chr("AAX"), chr("ABX")), "IN(NAME S,SET(RANH(LITC 'AAX',LITC 'ABX')))", 1},
        {range(Z_RANH, chr("AAX"), chr("ABX")), "IN(NAME S,SET(RANH(LITC 'AAX',LITC 'ABX')))", 0},
        {range(Z_RANN, chr("A  "), chr("ABX")), "IN(NAME S,SET(RANH(LITC 'A ',LITC 'ABX')))", 1},
        {range(Z_RANB, chr("A"), chr("B")), "IN(NAME S,SET(RANB(LITC 'A',LITC 'B')))", 0},
    };
    for (const Case& c : cases) {
        ZNode* n = op(Z_IN, {narrow(), set({c.element})});
        EXPECT_EQ(do_in(n, inst_, jnl_), c.changed) << c.expected;
        EXPECT_EQ(render(n), c.expected);
    }
    ZNode* numeric = op(Z_IN, {col("X", -8, 8), set({num(123456)})});
    EXPECT_EQ(do_in(numeric, inst_, jnl_), 0);
}

// The list is visited from its end across its blocks; what survives keeps its order.
TEST_F(Lists, LongListsKeepTheirOrderWhenNarrowed) {
    ZNode* list = node(Z_SET, 12);
    std::string expected = "IN(NAME S,SET(";
    int kept = 0;
    for (int i = 0; i < 47; ++i) {
        const std::string two = {static_cast<char>('A' + i % 26), static_cast<char>('a' + i / 26)};
        if (i % 3 == 0) {
            inst_->Set(inst_, list, -1, chr(two + "x"));  // too long: dropped
        } else {
            inst_->Set(inst_, list, -1, chr(two + (i % 3 == 1 ? "  " : "")));
            expected += (kept++ ? ",LITC '" : "LITC '") + two + "'";
        }
    }
    ZNode* n = op(Z_IN, {narrow(), list});
    EXPECT_EQ(do_in(n, inst_, jnl_), 1);
    EXPECT_EQ(render(n), expected + "))");
}

TEST_F(Lists, TruncatedListsDropLongerPrefixes) {
    struct Case {
        std::initializer_list<const char*> elements;
        const char* expected;
    } const cases[] = {
        {{"AB", "ABC", "B"}, "TIN(NAME S,SET(LITC 'AB',LITC 'B'))"},
        {{"ABC", "AB", "B"}, "TIN(NAME S,SET(LITC 'AB',LITC 'B'))"},
        {{"A", "AB", "ABC", "AC"}, "TIN(NAME S,SET(LITC 'A'))"},
        {{"AB", "AB"}, "TIN(NAME S,SET(LITC 'AB'))"},
        {{"AB", "AC"}, "TIN(NAME S,SET(LITC 'AB',LITC 'AC'))"},
        {{"B"}, "TIN(NAME S,SET(LITC 'B'))"},
    };
    for (const Case& c : cases) {
        ZNode* list = node(Z_SET, 8);
        for (const char* e : c.elements) inst_->Set(inst_, list, -1, chr(e));
        ZNode* n = op(Z_TIN, {col("S", 8, 8), list});
        EXPECT_EQ(do_tin(n, inst_, jnl_), 0);
        EXPECT_EQ(render(n), c.expected);
    }
    // The survivor of two equal texts is the later one.
    ZNode* first = chr("AB");
    ZNode* second = chr("AB");
    ZNode* n = op(Z_TNIN, {col("S", 8, 8), set({first, second})});
    do_tin(n, inst_, jnl_);
    EXPECT_EQ(n->u.op.args[1]->u.op.args[0], second);
}

}  // namespace
