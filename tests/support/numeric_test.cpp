// Integer and floating-point helpers: division with remainder as the standard div gives
// it, wrapping absolute value, minimum and maximum with their tie rules, and nqlog2.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "zorv/support.h"

namespace {

uint64_t bits(double d) {
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

TEST(NumericHelpers, DivisionMatchesStandardDiv) {
    const int32_t i32[] = {
        0, 1, -1, 2, -2, 7, -7, 13, -13, 1000003, INT32_MAX, INT32_MIN + 1, INT32_MIN};
    for (int32_t a : i32)
        for (int32_t b : i32) {
            if (b == 0 || (a == INT32_MIN && b == -1)) continue;
            SCOPED_TRACE(testing::Message() << a << " / " << b);
            const nqidiv_t got = nqidiv(a, b);
            const std::div_t want = std::div(a, b);
            EXPECT_EQ(got.quot, want.quot);
            EXPECT_EQ(got.rem, want.rem);
            const nqldiv_t wide = nqldiv(int64_t{a} << 20, b);
            const std::lldiv_t lwant = std::lldiv(static_cast<long long>(a) << 20, b);
            EXPECT_EQ(wide.quot, lwant.quot);
            EXPECT_EQ(wide.rem, lwant.rem);
        }
    const nqldiv_t big = nqldiv(INT64_MAX, -3);
    EXPECT_EQ(big.quot, INT64_MAX / -3);
    EXPECT_EQ(big.rem, INT64_MAX % -3);
    // The one quotient that overflows wraps.
    EXPECT_EQ(nqidiv(INT32_MIN, -1).quot, INT32_MIN);
    EXPECT_EQ(nqidiv(INT32_MIN, -1).rem, 0);
    EXPECT_EQ(nqldiv(INT64_MIN, -1).quot, INT64_MIN);
    EXPECT_EQ(nqldiv(INT64_MIN, -1).rem, 0);
}

TEST(NumericHelpers, AbsoluteValueAndExtremes) {
    EXPECT_EQ(nqlabs(-5), 5);
    EXPECT_EQ(nqlabs(5), 5);
    EXPECT_EQ(nqlabs(0), 0);
    EXPECT_EQ(nqlabs(INT64_MAX), INT64_MAX);
    EXPECT_EQ(nqlabs(-INT64_MAX), INT64_MAX);
    EXPECT_EQ(nqlabs(INT64_MIN), INT64_MIN);

    EXPECT_EQ(nqlmax(INT64_MIN, INT64_MAX), INT64_MAX);
    EXPECT_EQ(nqlmax(INT64_MAX, INT64_MIN), INT64_MAX);
    EXPECT_EQ(nqlmin(INT64_MIN, INT64_MAX), INT64_MIN);
    EXPECT_EQ(nqlmin(INT64_MAX, INT64_MIN), INT64_MIN);
    // Values that differ only above bit 31 must not be compared in 32 bits.
    EXPECT_EQ(nqlmax(int64_t{1} << 32, 1), int64_t{1} << 32);
    EXPECT_EQ(nqlmin(int64_t{1} << 32, 1), 1);
    EXPECT_EQ(nqmax(INT32_MIN, -1), -1);
    EXPECT_EQ(nqmax(-1, INT32_MIN), -1);
    EXPECT_EQ(nqmin(INT32_MIN, -1), INT32_MIN);
    EXPECT_EQ(nqmin(-1, INT32_MIN), INT32_MIN);
    EXPECT_EQ(nqmax(3, 3), 3);
}

// The second operand wins every tie and every unordered comparison; signed zeros make
// the tie visible.
TEST(NumericHelpers, FloatingMinMaxFavourTheSecondOperand) {
    const double nan = std::nan("");
    struct Case {
        double a, b, max, min;
    };
    const Case cases[] = {
        {1.0, 2.0, 2.0, 1.0},
        {2.0, 1.0, 2.0, 1.0},
        {1.0, nan, nan, nan},
        {nan, 1.0, 1.0, 1.0},
        {0.0, -0.0, -0.0, -0.0},
        {-0.0, 0.0, 0.0, 0.0},
        {-HUGE_VAL, 1.0, 1.0, -HUGE_VAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.a << ", " << c.b);
        EXPECT_EQ(bits(nqfmax(c.a, c.b)), bits(c.max));
        EXPECT_EQ(bits(nqfmin(c.a, c.b)), bits(c.min));
    }
}

TEST(NumericHelpers, Log2IsExactOnPowersOfTwo) {
    for (int e = -1074; e <= 1023; e += 1) {
        const double x = std::ldexp(1.0, e);
        ASSERT_EQ(nqlog2(x), static_cast<double>(e)) << "2^" << e;
    }
}

TEST(NumericHelpers, Log2ElsewhereGoesThroughLog) {
    const double inv_ln2 = 1.4426950408889634;
    for (double v : {0.75, 3.0, 10.0, 1.0e-300, 1.0e300, 0.1}) {
        SCOPED_TRACE(v);
        volatile double x = v;  // keeps the compiler from folding log at compile time
        EXPECT_EQ(bits(nqlog2(x)), bits(std::log(x) * inv_ln2));
    }
    EXPECT_EQ(nqlog2(0.0), -HUGE_VAL);
    EXPECT_EQ(nqlog2(HUGE_VAL), HUGE_VAL);
    EXPECT_TRUE(std::isnan(nqlog2(-8.0))) << "a negative power of two is not exact";
    EXPECT_TRUE(std::isnan(nqlog2(std::nan(""))));
}

}  // namespace
