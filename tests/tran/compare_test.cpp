// Rewrite-time comparisons must agree with the evaluator's order: blank-padded texts,
// missing values below every number by rank, and the mode/strictness rules that let
// merging code test single bits.
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "tests/tran/tran_fixture.h"

namespace {

using trantest::TranTest;

int sign(int v) {
    return (v > 0) - (v < 0);
}

TEST(BlankPaddedCompare, ShorterTextReadsAsPaddedWithBlanks) {
    struct Case {
        std::u32string_view a, b;
        int expected;  // sign
    } const cases[] = {
        {U"A", U"A ", 0},        {U"A", U"A!", -1},   {U"A!", U"A", 1},    {U"A", U"A\t", 1},
        {U"A\t", U"A", -1},      {U"AB", U"AB  ", 0}, {U"AB", U"ABC", -1}, {U"ABC", U"AB", 1},
        {U"", U"   ", 0},        {U"", U"", 0},       {U"B", U"AZ", 1},    {U"A", U"A   B", -1},
        {U"A  \u00e9", U"A", 1}, {U"X", U"Y", -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sign(nqzscom(c.a.data(), static_cast<int32_t>(c.a.size()), c.b.data(),
                               static_cast<int32_t>(c.b.size()))),
                  c.expected)
            << "'" << ztest::utf8(c.a.data(), static_cast<long>(c.a.size())) << "' vs '"
            << ztest::utf8(c.b.data(), static_cast<long>(c.b.size())) << "'";
}

// A constant as a test case describes it; made into a node by the fixture.
struct K {
    enum Kind { Number, Missing, Text, Bits, Column } kind;
    double v = 0;
    uint32_t tag = 0;
    const char* s = nullptr;
    uint64_t bits = 0;
};
K N(double v, uint32_t tag = 0) {
    return {K::Number, v, tag};
}
K M(int rank) {
    return {K::Missing, static_cast<double>(rank)};
}
K C(const char* s) {
    return {K::Text, 0, 0, s};
}
K B(uint64_t bits) {
    return {K::Bits, 0, 0, nullptr, bits};
}

class ConstantCompare : public TranTest {
  protected:
    ZNode* make(const K& k) {
        switch (k.kind) {
            case K::Number:
                return num(k.v, k.tag);
            case K::Missing:
                return missing(static_cast<int>(k.v));
            case K::Text:
                return chr(k.s);
            case K::Bits:
                return num(std::bit_cast<double>(k.bits));
            case K::Column:
                break;
        }
        return col("X");
    }
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST_F(ConstantCompare, CodesByModeAndStrictness) {
    struct Case {
        K a, b;
        int mode0, mode1, mode2, strict2;
    } const cases[] = {
        {N(1), N(2), 1, 2, 2, 2},
        {N(2), N(1), 1, 0, 8, 8},
        {N(1), N(1), 1, 4, 4, 4},
        {N(-0.0), N(0.0), 1, 4, 4, 4},
        {M(2), N(1), 1, 2, 2, 2},
        {M(2), N(-1e300), 1, 2, 2, 2},
        // A number above a missing value is answered even where greater is not.
        {N(1), M(2), 1, 8, 8, 8},
        {M(3), M(4), 1, 2, 2, 2},
        {M(4), M(3), 1, 0, 8, 8},
        {M(1), M(2), 1, 2, 2, 2},
        {M(28), M(3), 1, 0, 8, 8},
        // Only the rank counts: the low bits of a pattern are ignored, and a kind byte
        // outside the 28 ranks reads as the ordinary missing value.
        {M(2), B(0xFFFFFE0000001234ull), 1, 4, 4, 4},
        {B(0xFFFF000000000000ull), M(2), 1, 4, 4, 4},
        {B(0xFFFF800000000000ull), M(1), 1, 0, 8, 8},
        // Mixed kinds never compare.
        {N(1), C("A"), 0, 0, 0, 0},
        {C("A"), N(1), 0, 0, 0, 0},
        // A date never merges with a plain number under strictness, but mode 0 asks
        // only about kinds.
        {N(5, 1), N(5), 1, 4, 4, 0},
        {N(3, 1), N(5), 1, 2, 2, 0},
        {N(5, 2), N(5, 2), 1, 4, 4, 4},
        {C("AB"), C("AB  "), 1, 4, 4, 4},
        {C("AB"), C("ABC"), 1, 2, 2, 2},
        {C("ABC"), C("AB"), 1, 0, 8, 8},
        // An unordered pair of non-missing NaNs is answered as greater.
        {N(kNaN), N(1), 1, 0, 8, 8},
        {N(kNaN), N(kNaN), 1, 0, 8, 8},
        {K{K::Column}, N(1), 0, 0, 0, 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        ZNode* a = make(c.a);
        ZNode* b = make(c.b);
        EXPECT_EQ(yowccmp(a, b, 0, 0), c.mode0) << "case " << i;
        EXPECT_EQ(yowccmp(a, b, 1, 0), c.mode1) << "case " << i;
        EXPECT_EQ(yowccmp(a, b, 2, 0), c.mode2) << "case " << i;
        EXPECT_EQ(yowccmp(a, b, 2, 1), c.strict2) << "case " << i;
    }
    EXPECT_EQ(yowccmp(nullptr, num(1), 2, 0), 0);
    EXPECT_EQ(yowccmp(num(1), nullptr, 0, 0), 0);
}

TEST_F(ConstantCompare, SameColumnOnlyForEqualNamesOrSymbols) {
    ZNode* sym1 = node(Z_SYM);
    ZNode* sym2 = node(Z_SYM);
    ZNode* sym3 = node(Z_SYM);
    sym1->u.op.nargs = sym2->u.op.nargs = 77;
    sym3->u.op.nargs = 78;
    ZNode* anam1 = col("AGE");
    ZNode* anam2 = col("AGE");
    anam1->type = anam2->type = Z_ANAM;
    ZNode* age_with_junk = col("AGE");
    age_with_junk->u.nm.name[5] = 'Q';  // beyond namelen: does not count

    struct Case {
        ZNode *a, *b;
        int expected;
    } const cases[] = {
        {col("AGE"), col("AGE"), 1},
        {col("AGE"), col("AGES"), 0},
        {col("AGE"), col("AGF"), 0},
        {col("AGE"), age_with_junk, 1},
        {sym1, sym2, 1},
        {sym1, sym3, 0},
        {anam1, anam2, 0},
        {col("AGE"), sym1, 0},
        {col("AGE"), nullptr, 0},
        {nullptr, nullptr, 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(yowncmp(cases[i].a, cases[i].b), cases[i].expected) << "case " << i;
}

TEST_F(ConstantCompare, TruthOfConstants) {
    struct Case {
        ZNode* n;
        int expected;
    } const cases[] = {
        {num(0), 0},
        {num(-0.0), 0},
        {missing(2), 0},
        {missing(28), 0},
        {missing(1), 0},
        {num(0.5), 1},
        {num(-3), 1},
        {num(kNaN), 1},
        {chr("   "), 0},
        {chr(""), 0},
        {chr("x"), 1},
        {chr("  x"), 1},
        {chr(std::string(40, ' ')), 0},
        {chr(std::string(39, ' ') + "y"), 1},
        {col("X"), 2},
        {nullptr, 2},
        {op(Z_LAND, {num(1), num(1)}), 2},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(truth_of(cases[i].n), cases[i].expected) << "case " << i;
}

TEST_F(ConstantCompare, BooleanOperandScanStopsAtFirstBoolean) {
    auto check = [&](ZNode* n, int hasbool, int plain) {
        int32_t h = -1, p = -1;
        CheckForBoolean(n, &h, &p);
        EXPECT_EQ(h, hasbool) << render(n);
        EXPECT_EQ(p, plain) << render(n);
    };
    check(op(Z_LAND, {col("X"), num(7), op(Z_CGT, {col("Y"), num(1)}), col("Z")}), 1, 2);
    check(op(Z_LAND, {col("X"), col("Y")}), 0, 2);
    check(op(Z_LOR, {col("X"), num(1)}), 1, 1);
    check(op(Z_LOR, {num(-0.0), col("X")}), 1, 0);
    check(op(Z_LOR, {num(0.5), missing(2), chr("1"), op(Z_AADD, {col("X"), num(1)})}), 0, 4);
    check(op(Z_LAND, {nullptr, col("X"), nullptr, op(Z_LNOT, {col("Y")})}), 1, 1);
    check(op(Z_LAND, {col("X"), op(Z_IN, {col("Y"), set({num(1)})})}), 1, 1);
    check(op(Z_LAND, {col("X"), op(Z_CTGE, {col("Y"), chr("a")})}), 1, 1);

    // A boolean operand found in an overflow block: the scan follows the chain.
    ZNode* wide = node(Z_LOR, -8);
    for (int i = 0; i < 17; ++i) inst_->Set(inst_, wide, -1, col("C"));
    inst_->Set(inst_, wide, -1, op(Z_CEQ, {col("Y"), num(2)}));
    inst_->Set(inst_, wide, -1, col("D"));
    check(wide, 1, 17);
}

}  // namespace
