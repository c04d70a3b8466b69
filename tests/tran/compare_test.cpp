// Rewrite-time comparisons must agree with the evaluator's order: blank-padded texts,
// missing values below every number by rank, and the mode/strictness rules that let
// merging code test single bits.
#include <bit>
#include <limits>

#include "tests/tran/tran_fixture.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(BlankPaddedCompare, ShorterTextReadsAsPaddedWithBlanks) {
    struct Case {
        std::u32string_view a, b;
        int sign;
    } const cases[] = {{U"A", U"A ", 0},  {U"A", U"A!", -1},    {U"A!", U"A", 1},
                       {U"A", U"A\t", 1}, {U"A\t", U"A", -1},   {U"AB", U"ABC", -1},
                       {U"", U"   ", 0},  {U"A", U"A   B", -1}, {U"B", U"AZ", 1}};
    for (const Case& c : cases) {
        const int r = nqzscom(c.a.data(), static_cast<int32_t>(c.a.size()), c.b.data(),
                              static_cast<int32_t>(c.b.size()));
        EXPECT_EQ((r > 0) - (r < 0), c.sign)
            << ztest::utf8(c.a.data(), static_cast<long>(c.a.size())) << "|"
            << ztest::utf8(c.b.data(), static_cast<long>(c.b.size()));
    }
}

class ConstantCompare : public trantest::TranTest {
  protected:
    ZNode* bits(uint64_t pattern) { return num(std::bit_cast<double>(pattern)); }
};

TEST_F(ConstantCompare, CodesByModeAndStrictness) {
    struct Case {
        ZNode *a, *b;
        int mode0, mode1, mode2, strict2;
    } const cases[] = {
        {num(1), num(2), 1, 2, 2, 2},
        {num(2), num(1), 1, 0, 8, 8},
        {num(-0.0), num(0.0), 1, 4, 4, 4},
        {missing(2), num(-1e300), 1, 2, 2, 2},
        // A number above a missing value is answered even where greater is not.
        {num(1), missing(2), 1, 8, 8, 8},
        {missing(3), missing(4), 1, 2, 2, 2},
        {missing(4), missing(3), 1, 0, 8, 8},
        {missing(1), missing(2), 1, 2, 2, 2},
        // Only the rank counts: low bits are ignored, and a kind byte outside the 28 ranks
        // reads as the ordinary missing value.
        {missing(2), bits(0xFFFFFE0000001234ull), 1, 4, 4, 4},
        {bits(0xFFFF000000000000ull), missing(2), 1, 4, 4, 4},
        {bits(0xFFFF800000000000ull), missing(1), 1, 0, 8, 8},
        {num(1), chr("A"), 0, 0, 0, 0},
        // A date never merges with a plain number under strictness; mode 0 asks only
        // about kinds.
        {num(5, 1), num(5), 1, 4, 4, 0},
        {num(3, 1), num(5), 1, 2, 2, 0},
        {chr("AB"), chr("AB  "), 1, 4, 4, 4},
        {chr("ABC"), chr("AB"), 1, 0, 8, 8},
        // An unordered pair of non-missing NaNs is answered as greater.
        {num(kNaN), num(1), 1, 0, 8, 8},
        {col("X"), num(1), 0, 0, 0, 0},
        {nullptr, num(1), 0, 0, 0, 0},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        EXPECT_EQ(yowccmp(c.a, c.b, 0, 0), c.mode0) << "case " << i;
        EXPECT_EQ(yowccmp(c.a, c.b, 1, 0), c.mode1) << "case " << i;
        EXPECT_EQ(yowccmp(c.a, c.b, 2, 0), c.mode2) << "case " << i;
        EXPECT_EQ(yowccmp(c.a, c.b, 2, 1), c.strict2) << "case " << i;
    }
}

TEST_F(ConstantCompare, SameColumnOnlyForEqualNamesOrSymbols) {
    ZNode* sym[3] = {node(Z_SYM), node(Z_SYM), node(Z_SYM)};
    sym[0]->u.op.nargs = sym[1]->u.op.nargs = 77;
    sym[2]->u.op.nargs = 78;
    ZNode* anam[2] = {col("AGE"), col("AGE")};
    anam[0]->type = anam[1]->type = Z_ANAM;
    ZNode* junk = col("AGE");
    junk->u.nm.name[5] = 'Q';  // beyond namelen: does not count
    struct Case {
        ZNode *a, *b;
        int same;
    } const cases[] = {{col("AGE"), col("AGE"), 1}, {col("AGE"), col("AGES"), 0},
                       {col("AGE"), junk, 1},       {sym[0], sym[1], 1},
                       {sym[0], sym[2], 0},         {anam[0], anam[1], 0},
                       {col("AGE"), nullptr, 0}};
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(yowncmp(cases[i].a, cases[i].b), cases[i].same) << "case " << i;
}

TEST_F(ConstantCompare, TruthOfConstants) {
    struct Case {
        ZNode* n;
        int truth;
    } const cases[] = {
        {num(0), 0},     {num(-0.0), 0},
        {missing(2), 0}, {missing(28), 0},
        {num(0.5), 1},   {num(kNaN), 1},
        {chr("   "), 0}, {chr(""), 0},
        {chr("  x"), 1}, {chr(std::string(40, ' ')), 0},
        {col("X"), 2},   {chr(std::string(39, ' ') + "y"), 1},
        {nullptr, 2},    {op(Z_LAND, {num(1)}), 2},
    };
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(truth_of(cases[i].n), cases[i].truth) << "case " << i;
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
    check(op(Z_LOR, {nullptr, col("X"), num(1)}), 1, 1);
    check(op(Z_LOR, {num(-0.0), col("X")}), 1, 0);
    check(op(Z_LOR, {num(0.5), missing(2), chr("1"), op(Z_AADD, {col("X"), num(1)})}), 0, 4);
    check(op(Z_LAND, {col("X"), op(Z_CTGE, {col("Y"), chr("a")})}), 1, 1);

    // A boolean operand in an overflow block: the scan follows the chain.
    ZNode* wide = node(Z_LOR, -8);
    for (int i = 0; i < 17; ++i) inst_->Set(inst_, wide, -1, col("C"));
    inst_->Set(inst_, wide, -1, op(Z_IN, {col("Y"), set({num(2)})}));
    check(wide, 1, 17);
}

}  // namespace
