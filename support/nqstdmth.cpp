/* Small integer and floating-point helpers of the support library: division with
 * remainder, absolute value, minimum and maximum, and a base-2 logarithm that is exact
 * on powers of two. Wrapping cases are done in unsigned arithmetic so none is undefined. */
#include <cmath>
#include <cstdint>

#include "zorv/support.h"

/* Quotient truncated toward zero, remainder with the sign of a. The one overflowing
 * case, the most negative value over -1, wraps to itself with remainder 0. */
nqidiv_t nqidiv(int32_t a, int32_t b) {
    if (b == -1) return {static_cast<int32_t>(0u - static_cast<uint32_t>(a)), 0};
    return {a / b, a % b};
}

nqldiv_t nqldiv(int64_t a, int64_t b) {
    if (b == -1) return {static_cast<int64_t>(0ull - static_cast<uint64_t>(a)), 0};
    return {a / b, a % b};
}

/* Two's complement absolute value: the most negative value yields itself. */
int64_t nqlabs(int64_t a) {
    return a < 0 ? static_cast<int64_t>(0ull - static_cast<uint64_t>(a)) : a;
}

/* On equal values both 64-bit forms give b. */
int64_t nqlmax(int64_t a, int64_t b) {
    return a > b ? a : b;
}
int64_t nqlmin(int64_t a, int64_t b) {
    return a < b ? a : b;
}

int32_t nqmax(int32_t a, int32_t b) {
    return a > b ? a : b;
}
int32_t nqmin(int32_t a, int32_t b) {
    return a < b ? a : b;
}

/* a only when it compares strictly beyond b: equal values and NaNs give b. */
double nqfmax(double a, double b) {
    return a > b ? a : b;
}
double nqfmin(double a, double b) {
    return a < b ? a : b;
}

/* Exact for positive powers of two (mantissa 0.5 from frexp); otherwise through log,
 * which also decides zero, negatives, infinities and NaNs. */
double nqlog2(double x) {
    int e = 0;
    const double m = std::frexp(x, &e);
    if (m == 0.5) return static_cast<double>(e - 1);
    return std::log(x) * 1.4426950408889634;
}
