/* The power function nqzpower: x to the power y with every special case and threshold the
 * evaluator relies on, integer powers of moderate size by repeated squaring, and a status
 * word that tells an exported caller why a result is missing. */
#include <bit>
#include <cmath>
#include <cstdint>

#include "eval/eval.h"

namespace {

/* Exponents at least this large (just above 2 to the 512) decide the result by whether
 * |x| is above or below 1 alone. */
constexpr double kHugeExponent = std::bit_cast<double>(0x5FF0000000000087ull);
/* 1 + 3 * 2^-52: widens y * ln|x| a little, so that results at the edge of the range are
 * sent to the overflow and underflow tests rather than to pow. */
constexpr double kLogWidening = std::bit_cast<double>(0x3FF0000000000003ull);
constexpr double kOverflowLog = 709.78271289339;
constexpr double kUnderflowLog = -708.3964185;
/* 104 ln 2: below it an integer power has a magnitude under 2 to the 104, where repeated
 * squaring is as exact as pow. */
constexpr double kSquaringLog = 72.0873067782343;
constexpr double kIntegerLimit = 2147483647.0;

enum : int32_t { kComputed = 0, kOverflow = 1, kNegativeBase = 2, kZeroBase = 3 };

double fail(int32_t* status, int32_t why) {
    *status = why;
    return ordinary_missing();
}

}  // namespace

/* x to the power y; *status receives 0, or the reason the result is the ordinary missing
 * value: 1 overflow, 2 a negative base with an exponent that is not an integer, 3 a zero
 * base with an exponent that is zero or negative. Exponents of 2147483647 or more count as
 * not integers. */
extern "C" double nqzpower(double x, double y, int32_t* status) {
    *status = kComputed;
    const bool ypos = y > 0.0;  // false for zero and NaN
    const double ay = std::fabs(y);

    if (x == 0.0) return ypos ? 0.0 : fail(status, kZeroBase);
    if (ypos && y == 1.0) return x;
    if (!ypos && y == 0.0) return 1.0;

    const bool xneg = x < 0.0;
    const double ax = std::fabs(x);

    bool integer = false;
    int32_t n = 0;
    int32_t odd = 0;
    if (ay < kIntegerLimit) {
        n = static_cast<int32_t>(ay);
        integer = static_cast<double>(n) == ay;
        if (integer) odd = n % 2;
    }

    if (xneg && !integer) return fail(status, kNegativeBase);
    if (ax == 1.0) return xneg && odd ? -1.0 : 1.0;

    if (ay >= kHugeExponent) {
        if (ax > 1.0) return ypos ? fail(status, kOverflow) : 0.0;
        if (ax < 1.0) return ypos ? 0.0 : fail(status, kOverflow);
    }

    const double t = y * std::log(ax) * kLogWidening;
    if (t >= kOverflowLog) return fail(status, kOverflow);
    if (t <= kUnderflowLog) return 0.0;

    double r;
    if (integer && std::fabs(t) < kSquaringLog) {
        r = 1.0;
        double b = ax;
        for (int32_t k = n; k != 0;) {
            if (k % 2) r *= b;
            k /= 2;
            if (k != 0) b *= b;
        }
        if (!ypos) r = 1.0 / r;
    } else {
        r = std::pow(ax, y);
    }
    return xneg && odd ? -r : r;
}
