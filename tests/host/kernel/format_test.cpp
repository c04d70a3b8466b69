/* The journal's formatter: numeric conversions against the C library's printf over
 * flags, widths and precisions; the wide and 8-bit text conversions; capacity rules. */
#include <climits>
#include <cstdio>
#include <limits>
#include <string>

#include "host/kernel/kernel_test.h"

using ktest::fmt;

namespace {

std::u32string widen(const std::string& ascii) {
    return {ascii.begin(), ascii.end()};
}

/* Runs every combination of flags, width, precision and conversion over the values. */
template <class T, size_t N>
void against_printf(const char* convs, const T (&values)[N], const char* const* precs,
                    size_t nprecs) {
    const char* flags[] = {"", "-", "0", "+", " ", "#", "-+", "0 "};
    for (const char* f : flags)
        for (const char* w : {"", "1", "12"})
            for (size_t p = 0; p < nprecs; ++p)
                for (const char* c = convs; *c; ++c) {
                    std::string spec = std::string("[%") + f + w + precs[p] + *c + "]";
                    if (*c != 'x' && *c != 'X' && *c != 'o' && f[0] == '#') continue;
                    for (T v : values) {
                        char want[400];
                        std::snprintf(want, sizeof want, spec.c_str(), v);
                        ASSERT_EQ(fmt(widen(spec).c_str(), v), widen(want)) << spec << " " << v;
                    }
                }
}

TEST(Formatter, NumericConversionsMatchPrintf) {
    const int ints[] = {0, 1, -1, 42, -1234, INT_MAX, INT_MIN};
    const char* iprecs[] = {"", ".0", ".4"};
    against_printf("diuxXo", ints, iprecs, 3);
    const double inf = std::numeric_limits<double>::infinity();
    const double doubles[] = {0.0,
                              -0.0,
                              2.5,
                              -1.0 / 3,
                              1e-5,
                              123456789.0,
                              1e300,
                              5e-324,
                              inf,
                              -inf,
                              std::numeric_limits<double>::quiet_NaN()};
    const char* fprecs[] = {"", ".0", ".3", ".12"};
    against_printf("feEgG", doubles, fprecs, 4);
}

TEST(Formatter, SizesTextCharactersAndPointers) {
    const char32_t wide[] = U"x\u00e9\U0001F600y";
    const char utf8[] = "a\xc3\xa9\xf0\x9f\x98\x80z";
    int anchor = 0;
    char ptr[32];
    std::snprintf(ptr, sizeof ptr, "%p", static_cast<void*>(&anchor));
    const std::pair<std::u32string, std::u32string> cases[] = {
        {fmt(U"%ld|%lld|%llx", LONG_MIN, -1234567890123LL, 0xabcdef012345ULL),
         widen(std::to_string(LONG_MIN)) + U"|-1234567890123|abcdef012345"},
        {fmt(U"%zu|%hd|%hhu", size_t{4000000000u}, 70000, 300), U"4000000000|4464|44"},
        {fmt(U"<%s|%6s|%-6s>", wide, wide, wide), /* width counts characters */
         U"<x\u00e9\U0001F600y|  x\u00e9\U0001F600y|x\u00e9\U0001F600y  >"},
        {fmt(U"<%.*s|%.3s|%.*s>", 2, wide, wide, 0, wide), U"<x\u00e9|x\u00e9\U0001F600|>"},
        {fmt(U"<%hs|%.*hs>", utf8, 3, utf8), U"<a\u00e9\U0001F600z|a\u00e9>"}, /* bytes */
        {fmt(U"<%-5hs|%5hs>", "a\xc3\xa9", "\xc3\xa9"), U"<a\u00e9   |    \u00e9>"},
        {fmt(U"<%hs|%hs>",
             "a\xff"
             "b\xc3",
             "\xe0\x80\xaf"),
         U"<a?b?|?"
         U"?"
         U"?>"}, /* malformed */
        {fmt(U"<%s|%hs>", nullptr, nullptr), U"<(null)|(null)>"},
        {fmt(U"<%c%c%3c%-3c>", int{U'a'}, 0xE9, int{U'b'}, int{U'c'}), U"<a\u00e9  bc  >"},
        {fmt(U"%p|%p", static_cast<void*>(&anchor), nullptr), widen(ptr) + U"|(nil)"},
        {fmt(U"100%% %*d|%-*d|%.*d|%*d", 5, 42, 4, 7, 3, 9, -3, 1), U"100%    42|7   |009|1  "},
        {fmt(U"%02x%02x%02X", 0xa, 0x0, 0xff), U"0a00FF"},
        {fmt(U"%4d |%q|%", -8), U"  -8 |%q|%"}, /* unknown and cut-off conversions stay */
    };
    for (const auto& c : cases) EXPECT_EQ(c.first, c.second);
}

NQStatus format_into(char32_t* buf, int32_t cap, int32_t fmtlen, int32_t* written, ...) {
    va_list ap;
    va_start(ap, written);
    NQJournal* j = zhost_open_capture_journal();
    NQStatus st = j->FormatToBuf(j, U"[%5d|%.*s%hs|%x]", fmtlen, buf, cap, written, ap);
    zhost_close_journal(j);
    va_end(ap);
    return st;
}

/* At every capacity the output is the longest prefix that fits, never a unit more. */
TEST(Formatter, CapacityCutsAtEveryLength) {
    const std::u32string full = U"[  -42|\u00e9\U0001F600ab|7f]";
    const int32_t n = static_cast<int32_t>(full.size());
    for (int32_t cap = 0; cap <= n + 2; ++cap) {
        char32_t buf[64];
        std::u32string(64, U'#').copy(buf, 64);
        int32_t written = -1;
        NQStatus st = format_into(buf, cap, 0, &written, -42, 2, U"\u00e9\U0001F600", "ab", 0x7f);
        int32_t fit = std::min(cap, n);
        ASSERT_EQ(written, fit) << cap;
        EXPECT_EQ(std::u32string(buf, fit), full.substr(0, fit)) << cap;
        EXPECT_EQ(st, cap < n ? NQ_STATUS_TRUNCATED : NQ_OK) << cap;
        EXPECT_EQ(buf[fit], cap > n ? U'\0' : U'#') << cap; /* terminated only with room */
        for (int32_t i = fit + 1; i < 64; ++i) ASSERT_EQ(buf[i], U'#') << cap << " at " << i;
    }
    char32_t buf[64];
    int32_t written = -1; /* a positive format length ends the format early */
    EXPECT_EQ(format_into(buf, 64, 4, &written, -42), NQ_OK);
    EXPECT_EQ(std::u32string(buf, written), U"[  -42");
    EXPECT_EQ(format_into(buf, 64, 1, nullptr), NQ_OK); /* written may be null */
    EXPECT_EQ(buf[0], U'[');
}

TEST(Formatter, StatusesRenderAsShortTexts) {
    const std::pair<NQStatus, std::u32string> cases[] = {
        {NQ_STATUS_NO_MEMORY, U"out of memory"},
        {NQ_STATUS_SYNTAX, U"syntax error"},
        {NQ_STATUS_LEXICAL, U"lexical error"},
        {NQ_STATUS_TOO_DEEP, U"nested too deeply"},
        {NQ_STATUS_NOT_A_NUMBER, U"not a number"},
        {0x1234, U"status 0x00001234"},
        {static_cast<NQStatus>(0x803F0001), U"status 0x803F0001"},
    };
    for (const auto& c : cases) {
        ktest::Formatted f = ktest::status_text(c.first, 64);
        EXPECT_EQ(f.status, NQ_OK);
        EXPECT_EQ(f.text, c.second);
    }
    ktest::Formatted cut = ktest::status_text(NQ_STATUS_SYNTAX, 6);
    EXPECT_EQ(cut.status, NQ_STATUS_TRUNCATED);
    EXPECT_EQ(cut.text, U"syntax");
}

}  // namespace
