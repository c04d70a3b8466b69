// Byte and 4-byte-unit primitives: copies (including overlapping ones), fills,
// comparisons, scans, string length and copy, and pool duplication.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <vector>

#include "zorv/support.h"

namespace {

// Every source and destination offset and every length in a small window: the overlap
// cases of pvMemSCpy (destination inside the source, both d >= v and d < v) all occur.
TEST(MemoryCopy, SafeCopyActsAsMemmoveForEveryOverlap) {
    constexpr int kSpan = 40;
    for (int n = 0; n <= 16; n++)
        for (int so = 0; so + n <= kSpan; so++)
            for (int dof = 0; dof + n <= kSpan; dof++) {
                std::array<unsigned char, kSpan> got, want;
                std::iota(got.begin(), got.end(), 1);
                want = got;
                pvMemSCpy(got.data() + so, got.data() + dof, n);
                std::memmove(want.data() + dof, want.data() + so, n);
                ASSERT_EQ(got, want) << "n=" << n << " from " << so << " to " << dof;
            }
}

// pvMemCpy copies forward one byte at a time, so a copy one byte up smears the first
// byte along: a memmove-style copy would shift the bytes instead.
TEST(MemoryCopy, PlainCopyIsForwardByteByByte) {
    char buf[] = "abcdef";
    pvMemCpy(buf, buf + 1, 4);
    EXPECT_STREQ(buf, "aaaaaf");
    char down[] = "abcdef";
    pvMemCpy(down + 2, down, 4);
    EXPECT_STREQ(down, "cdefef");
    char dst[4] = "xyz";
    pvMemCpy("ab", dst, 0);
    EXPECT_STREQ(dst, "xyz");
}

TEST(MemoryFill, FillsStopAtTheCountAndUseTheLowByte) {
    unsigned char b[8];
    std::memset(b, 0xEE, sizeof b);
    pvMemSet(b + 1, 0x141, 5);
    const unsigned char want[8] = {0xEE, 0x41, 0x41, 0x41, 0x41, 0x41, 0xEE, 0xEE};
    EXPECT_EQ(std::memcmp(b, want, 8), 0);

    uint32_t u[5] = {7, 7, 7, 7, 7};
    pvMemTSet(u + 1, 0x12345678u, 3);
    EXPECT_EQ(u[0], 7u);
    EXPECT_EQ(u[1], 0x12345678u);
    EXPECT_EQ(u[3], 0x12345678u);
    EXPECT_EQ(u[4], 7u);
}

TEST(MemoryTest, AllOfOneValue) {
    const unsigned char b[] = {0x20, 0x20, 0x20, 0x21};
    EXPECT_EQ(pvMemNot(0x20, b, 3), 1);
    EXPECT_EQ(pvMemNot(0x20, b, 4), 0);
    EXPECT_EQ(pvMemNot(0x120, b, 3), 1) << "only the low byte of c counts";
    EXPECT_EQ(pvMemNot(0x20, b, 0), 1);

    const NQWChar blanks[] = {U' ', U' ', U' ', U'x'};
    EXPECT_EQ(pvMemTNot(U' ', blanks, 3), 1);
    EXPECT_EQ(pvMemTNot(U' ', blanks, 4), 0);
    EXPECT_EQ(pvMemTNot(U' ', blanks, 0), 1) << "an empty value is all blanks";
    const NQWChar wide_blank[] = {0x120};
    EXPECT_EQ(pvMemTNot(U' ', wide_blank, 1), 0) << "whole units compare";
}

TEST(MemoryCompare, BytesCompareUnsignedAndUnitsBySignedDifference) {
    struct Case {
        std::vector<unsigned char> a, b;
        int n, want;
    };
    const Case bytes[] = {
        {{0x80}, {0x7F}, 1, 1},
        {{0x7F}, {0x80}, 1, -1},
        {{0x00}, {0xFF}, 1, -1},
        {{1, 2, 3}, {1, 2, 4}, 3, -1},
        {{1, 2, 3}, {1, 2, 4}, 2, 0},
        {{9, 0}, {1, 0xFF}, 2, 1},
        {{5}, {6}, 0, 0},
    };
    for (const Case& c : bytes) {
        SCOPED_TRACE(testing::Message() << "case with n=" << c.n << " want " << c.want);
        EXPECT_EQ(pvMemCmp(c.a.data(), c.b.data(), c.n), c.want);
    }

    const uint32_t a[] = {'a', 'b', 0x10FFFF, 0x80000000u};
    const uint32_t b[] = {'a', 'c', 0, 1};
    EXPECT_EQ(pvWMemCmp(a, b, 1), 0);
    EXPECT_EQ(pvWMemCmp(a, b, 2), -1);
    EXPECT_EQ(pvWMemCmp(b, a, 2), 1);
    EXPECT_EQ(pvWMemCmp(a + 2, b + 2, 1), 1);
    EXPECT_EQ(pvWMemCmp(b + 2, a + 2, 1), -1);
    EXPECT_EQ(pvWMemCmp(a + 3, b + 3, 1), 1) << "0x80000000 - 1 wraps to a positive";
    EXPECT_EQ(pvWMemCmp(a, b, 0), 0);
}

TEST(MemoryScan, FirstMatchOrFirstDifference) {
    const unsigned char b[] = {'a', 'a', 'b', 'a', 'c'};
    struct Case {
        int c, n, scan, nscan;
    };
    const Case cases[] = {
        {'a', 5, 0, 2},  {'b', 5, 2, 0},   {'z', 5, -1, 0},  {'c', 4, -1, 0},
        {'a', 2, 0, -1}, {'a', 0, -1, -1}, {0x162, 5, 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.c << " in " << c.n);
        EXPECT_EQ(pvMemScan(b, c.n, c.c), c.scan);
        EXPECT_EQ(pvMemNScan(b, c.n, c.c), c.nscan);
    }
    EXPECT_EQ(pvMemScan(nullptr, 5, 'a'), -1);
    EXPECT_EQ(pvMemNScan(nullptr, 5, 'a'), -1);

    const NQWChar blanks[] = {U' ', U' ', U' ', U' '};
    const NQWChar ab[] = {U'a', U'b'};
    const NQWChar tail[] = {U' ', U' ', U'x'};
    EXPECT_EQ(pvMemTNScan(blanks, 4, U' '), -1);
    EXPECT_EQ(pvMemTNScan(ab, 2, U' '), 0);
    EXPECT_EQ(pvMemTNScan(tail, 3, U' '), 2);
    EXPECT_EQ(pvMemTNScan(tail, 2, U' '), -1);
    EXPECT_EQ(pvMemTNScan(nullptr, 3, U' '), -1);
}

TEST(Strings, LengthsAndCopies) {
    EXPECT_EQ(pvStrLen(nullptr), 0);
    EXPECT_EQ(pvStrLen(""), 0);
    EXPECT_EQ(pvStrLen("abc\0def"), 3);
    EXPECT_EQ(pvStrTLen(nullptr), 0);
    EXPECT_EQ(pvStrTLen(U"wide\0x"), 4);

    char d[8];
    std::memset(d, 'Z', sizeof d);
    pvStrCpy("abc", d);
    EXPECT_EQ(std::memcmp(d, "abc\0ZZZZ", 8), 0) << "copies the 0 byte and nothing after";
    pvStrCpy(nullptr, d);
    EXPECT_EQ(std::memcmp(d, "\0bc\0ZZZZ", 8), 0) << "a null source leaves an empty string";
    pvStrCpy("abc", nullptr);

    NQWChar w[6];
    std::fill(std::begin(w), std::end(w), U'Z');
    pvStrTCpy(U"hi", w);
    EXPECT_EQ(w[0], U'h');
    EXPECT_EQ(w[2], 0u);
    EXPECT_EQ(w[3], U'Z');
    pvStrTCpy(nullptr, w);
    EXPECT_EQ(w[0], 0u);
    EXPECT_EQ(w[1], U'i');
    pvStrTCpy(U"x", nullptr);
}

TEST(Strings, UpperCasingIsAsciiOnly) {
    char s[] = "az`{@[AZ09\xe1\xc3\xa9 tail";
    pvStrUp(s, 13);
    EXPECT_STREQ(s, "AZ`{@[AZ09\xe1\xc3\xa9 tail");
}

// A pool that records its calls and serves from a fixed buffer, or refuses.
struct RecordingPool {
    NQPool pool{};
    unsigned char store[64];
    uint32_t size = 0, flags = 0;
    int calls = 0;
    bool refuse = false;
    RecordingPool() { pool.Alloc = &Alloc; }
    static void* Alloc(NQPool* p, uint32_t size, uint32_t flags) {
        auto* self = reinterpret_cast<RecordingPool*>(p);
        self->calls++;
        self->size = size;
        self->flags = flags;
        return self->refuse ? nullptr : self->store;
    }
};

TEST(Strings, DuplicateIntoPool) {
    RecordingPool rp;
    const char text[] = "duplicate me";
    void* copy = pvMemDup(text, 9, &rp.pool);
    ASSERT_EQ(copy, rp.store);
    EXPECT_EQ(std::memcmp(copy, text, 9), 0);
    EXPECT_EQ(rp.size, 9u);
    EXPECT_EQ(rp.flags, 0u);

    EXPECT_EQ(pvMemDup(text, 0, &rp.pool), nullptr);
    EXPECT_EQ(pvMemDup(nullptr, 4, &rp.pool), nullptr);
    EXPECT_EQ(rp.calls, 1) << "nothing is asked of the pool for an empty or null area";
    EXPECT_EQ(pvMemDup(text, 4, nullptr), nullptr);
    rp.refuse = true;
    EXPECT_EQ(pvMemDup(text, 4, &rp.pool), nullptr);
}

}  // namespace
