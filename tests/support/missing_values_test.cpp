// Missing values: the canonical patterns and their table, the codes that make them,
// detection by bits, and widening of shortened fields.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "zorv/support.h"

namespace {

uint64_t bits(double d) {
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

double from_bits(uint64_t b) {
    double d;
    std::memcpy(&d, &b, sizeof d);
    return d;
}

// Missing rank by the encoding rules: 0 for numbers, 1..28 for missing values, with kind
// bytes outside the named range taken as the ordinary missing value.
int rank(double d) {
    const uint64_t b = bits(d);
    if ((b >> 48) != 0xFFFF) return 0;
    const int r = (256 - static_cast<int>((b >> 40) & 0xFF)) % 256;
    return (r >= 1 && r <= 28) ? r : 2;
}

constexpr uint64_t kUnderscore = 0xFFFFFF0000000000ull;
constexpr uint64_t kOrdinary = 0xFFFFFE0000000000ull;
constexpr uint64_t kLetterA = 0xFFFFFD0000000000ull;
constexpr uint64_t kLetterZ = 0xFFFFE40000000000ull;

TEST(MissingValues, TableHoldsCanonicalValuesInRankOrder) {
    EXPECT_EQ(nqmissv_table, &pvmissv_struct[1]);
    EXPECT_EQ(sizeof pvmissv_struct, 232u);
    EXPECT_EQ(bits(pvmissv_struct[0]), 0u);
    EXPECT_EQ(bits(nqmissv_table[0]), kUnderscore);
    EXPECT_EQ(bits(nqmissv_table[1]), kOrdinary);
    EXPECT_EQ(bits(nqmissv_table[2]), kLetterA);
    EXPECT_EQ(bits(nqmissv_table[27]), kLetterZ);
    for (int r = 1; r <= 28; r++) {
        SCOPED_TRACE(r);
        EXPECT_EQ(rank(nqmissv_table[r - 1]), r);
        EXPECT_EQ(bits(nqmissv_table[r - 1]) & 0xFFFFFFFFFFull, 0u) << "low bytes are zero";
    }
}

TEST(MissingValues, CodesMapToTheirValue) {
    struct Case {
        int code;
        uint64_t want;
    };
    const Case cases[] = {
        {'.', kOrdinary},
        {'?', kOrdinary},
        {0, kOrdinary},
        {' ', kOrdinary},
        {'A', kLetterA},
        {'a', kLetterA},
        {'Z', kLetterZ},
        {'z', kLetterZ},
        {'M', 0xFFFFF10000000000ull},
        {'m', 0xFFFFF10000000000ull},
        {'_', kUnderscore},
        {'-', kUnderscore},
        {'@', kOrdinary},
        {'[', kOrdinary},
        {'`', kOrdinary},
        {'{', kOrdinary},
        {'A' + 256, kOrdinary},
        {-1, kOrdinary},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(bits(pvMissVal(c.code)), c.want);
    }
}

TEST(MissingValues, DetectionReadsOnlyTheTopHalfword) {
    struct Case {
        uint64_t pattern;
        int missing;
    };
    const Case cases[] = {
        {kOrdinary, 1},
        {0xFFFF000000000000ull, 1},  // kind byte 0: still missing
        {0xFFFFFE00000000FFull, 1},  // low bytes ignored
        {0xFFFE000000000000ull, 0},  // a NaN, but not a missing one
        {0x7FF8000000000000ull, 0},  // the default quiet NaN
        {0xFFF0000000000000ull, 0},  // negative infinity
        {0x0000000000000000ull, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.pattern);
        const double one = from_bits(c.pattern);
        EXPECT_EQ(pvMissArray(&one, 1), c.missing);
        const double three[] = {1.0, -2.0, one};
        EXPECT_EQ(pvMissArray(three, 3), c.missing);
        EXPECT_EQ(pvMissArray(three, 2), 0) << "values past the count are not looked at";
    }
    EXPECT_EQ(pvMissArray(nullptr, 0), 0);
}

// A field keeps the last L bytes of the double; widening must restore exactly those and
// zero the rest, whatever the target held before.
TEST(MissingValues, WideningShortenedFields) {
    const double samples[] = {1.5,
                              -2.0,
                              1.0e300,
                              3.141592653589793,
                              pvMissVal('.'),
                              pvMissVal('_'),
                              pvMissVal('q'),
                              from_bits(0xFFFF000000000000ull)};
    for (double v : samples) {
        unsigned char whole[8];
        std::memcpy(whole, &v, 8);
        for (int len = 1; len <= 8; len++) {
            SCOPED_TRACE(testing::Message() << v << " in " << len << " bytes");
            double target = 12345.678;
            EXPECT_EQ(nqzrftrc(whole + 8 - len, len, &target), 0);
            const uint64_t keep = len == 8 ? ~0ull : ~((1ull << (8 * (8 - len))) - 1);
            EXPECT_EQ(bits(target), bits(v) & keep);
            // Two bytes keep a missing value missing; the third keeps which one it is.
            if (len >= 2) {
                EXPECT_EQ(rank(target) != 0, rank(v) != 0);
            }
            if (len >= 3) {
                EXPECT_EQ(rank(target), rank(v));
            }
        }
    }
    const unsigned char field[] = {0xFD, 0xFF, 0xFF};
    double target = 0;
    nqzrftrc(field, 3, &target);
    EXPECT_EQ(bits(target), kLetterA);
    const unsigned char one[] = {0xFF};
    nqzrftrc(one, 1, &target);
    EXPECT_EQ(rank(target), 0) << "a 1-byte field cannot hold a missing value";
}

}  // namespace
