// nqzpower: the special cases of zero, one and negative bases, the integer test and its
// limit, the thresholds that decide overflow and underflow, and the status word.
#include <bit>
#include <cmath>
#include <limits>

#include "tests/eval/eval_fixture.h"

namespace evaltest {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

struct PowerCase {
    double x, y;
    double want;  // compared bit for bit; NAN stands for the ordinary missing value
    int32_t status;
};

TEST(Power, SpecialCasesThresholdsAndStatuses) {
    const PowerCase cases[] = {
        // integer powers, exact by repeated squaring
        {2, 10, 1024, 0},
        {2, -2, 0.25, 0},
        {-2, 3, -8, 0},
        {-2, 2, 4, 0},
        {-0.5, -3, -8, 0},
        {10, 22, 1e22, 0},
        // zero base: +0.0 for a positive exponent, whatever the zero's sign
        {0, 3, 0.0, 0},
        {-0.0, 3, 0.0, 0},
        {0, 0, NAN, 3},
        {-0.0, -1, NAN, 3},
        // exponents 0 and 1
        {5, 0, 1, 0},
        {5, -0.0, 1, 0},
        {5, 1, 5, 0},
        {0.1, 1, 0.1, 0},
        // negative base and the integer test
        {-8, 1.0 / 3, NAN, 2},
        {-1, 3, -1, 0},
        {-1, 1e10, NAN, 2},          // too large for the integer test
        {-2, 2147483647.0, NAN, 2},  // the limit itself is not an integer
        {-2, 1023, -std::ldexp(1.0, 1023), 0},
        // |x| = 1
        {1, 1e300, 1, 0},
        {1, -1e300, 1, 0},
        // huge exponents: decided by |x| against 1
        {2, 1e200, NAN, 1},
        {2, -1e200, 0.0, 0},
        {0.5, 1e200, 0.0, 0},
        {0.5, -1e200, NAN, 1},
        // overflow and underflow by y ln|x|
        {10, 400, NAN, 1},
        {10, -400, 0.0, 0},
        {0.5, 2000, 0.0, 0},
        {2, 1024, kInf, 0},  // y ln 2 is just below the overflow bound: pow gives infinity
        {2, 1025, NAN, 1},
        {-2, 1025, NAN, 1},
        {2, -1021, std::ldexp(1.0, -1021), 0},
        {2, -1022, 0.0, 0},  // y ln 2 reaches the underflow bound
        // non-integer exponents go to pow
        {4, 0.5, 2, 0},
        {0.25, -1.5, 8, 0},
    };
    const double dot = pvMissVal('.');
    for (const PowerCase& c : cases) {
        int32_t status = 77;
        const double got = nqzpower(c.x, c.y, &status);
        const double want = std::isnan(c.want) ? dot : c.want;
        EXPECT_EQ(bits_of(got), bits_of(want)) << c.x << " ** " << c.y << " = " << got;
        EXPECT_EQ(status, c.status) << c.x << " ** " << c.y;
    }
}

TEST(Power, ExponentOneKeepsTheBaseBitForBit) {
    const double odd_nan = std::bit_cast<double>(0x7FF8000000000123ull);
    int32_t status = 5;
    EXPECT_EQ(bits_of(nqzpower(odd_nan, 1, &status)), bits_of(odd_nan));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(bits_of(nqzpower(-0.75, 1, &status)), bits_of(-0.75));
}

}  // namespace
}  // namespace evaltest
