/* The journal's formatter: every conversion against the C library's printf where the
 * two must agree, the wide and 8-bit text conversions, and the capacity rules. */
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "host/kernel/kernel_test.h"

using ktest::fmt;
using ktest::fmt_cap;

namespace {

std::u32string widen(const std::string& ascii) { return std::u32string(ascii.begin(), ascii.end()); }

/* Integer conversions agree with printf over flags, widths and precisions. */
TEST(Formatter, IntegerConversionsMatchPrintf) {
    const char* flags[] = {"", "-", "0", "+", " ", "#", "-+", "0 "};
    const char* widths[] = {"", "1", "7"};
    const char* precs[] = {"", ".0", ".4"};
    const int ivalues[] = {0, 1, -1, 42, -1234, INT_MAX, INT_MIN};
    int checked = 0;
    for (const char* f : flags)
        for (const char* w : widths)
            for (const char* p : precs)
                for (char conv : std::string("diuxXo")) {
                    std::string spec = std::string("[%") + f + w + p + conv + "]";
                    std::u32string wide = widen(spec);
                    for (int v : ivalues) {
                        char want[64];
                        std::snprintf(want, sizeof want, spec.c_str(), v);
                        ASSERT_EQ(fmt(wide.c_str(), v), want) << spec << " " << v;
                        ++checked;
                    }
                }
    EXPECT_GT(checked, 1000);
}

TEST(Formatter, SizedIntegersMatchPrintf) {
    struct Case {
        const char32_t* wide;
        std::string got;
        const char* narrow;
        long long value;
    };
    const long long big = 1234567890123LL;
    const Case cases[] = {
        {U"%ld", fmt(U"%ld", -2147483647L - 1), "%ld", -2147483647LL - 1},
        {U"%lld", fmt(U"%lld", -big), "%lld", -big},
        {U"%llx", fmt(U"%llx", big), "%llx", big},
        {U"%zu", fmt(U"%zu", size_t{4000000000u}), "%lld", 4000000000LL},
        {U"%hd", fmt(U"%hd", 70000), "%d", static_cast<short>(70000)},
        {U"%hhu", fmt(U"%hhu", 300), "%d", 300 % 256},
    };
    for (const Case& c : cases) {
        char want[64];
        std::snprintf(want, sizeof want, c.narrow, c.value);
        EXPECT_EQ(c.got, want) << ktest::utf8(c.wide);
    }
}

/* f, e and g agree with printf in the C locale, finite or not. */
TEST(Formatter, FloatingConversionsMatchPrintf) {
    const char* flags[] = {"", "-", "0", "+", " "};
    const char* widths[] = {"", "12"};
    const char* precs[] = {"", ".0", ".3", ".12"};
    const double values[] = {0.0, -0.0, 2.5, -1.0 / 3, 1e-5, 123456789.0, 1e300, 5e-324,
                             std::numeric_limits<double>::infinity(),
                             -std::numeric_limits<double>::infinity(),
                             std::numeric_limits<double>::quiet_NaN()};
    for (const char* f : flags)
        for (const char* w : widths)
            for (const char* p : precs)
                for (char conv : std::string("feEgG")) {
                    std::string spec = std::string("%") + f + w + p + conv;
                    std::u32string wide = widen(spec);
                    for (double v : values) {
                        char want[400];
                        std::snprintf(want, sizeof want, spec.c_str(), v);
                        ASSERT_EQ(fmt(wide.c_str(), v), want) << spec << " " << v;
                    }
                }
}

TEST(Formatter, TextCharactersAndPointers) {
    const char32_t wide[] = U"x\u00e9\U0001F600y";
    const char utf8[] = "a\xc3\xa9\xf0\x9f\x98\x80z";
    int anchor = 0;
    char ptr[32];
    std::snprintf(ptr, sizeof ptr, "%p", static_cast<void*>(&anchor));
    struct Case {
        std::string got;
        std::string want;
    };
    const Case cases[] = {
        {fmt(U"<%s>", wide), "<x\u00e9\U0001F600y>"},
        {fmt(U"<%6s>", wide), "<  x\u00e9\U0001F600y>"},      /* width counts characters */
        {fmt(U"<%-6s>", wide), "<x\u00e9\U0001F600y  >"},
        {fmt(U"<%.*s>", 2, wide), "<x\u00e9>"},                /* precision is a count */
        {fmt(U"<%.3s>", wide), "<x\u00e9\U0001F600>"},
        {fmt(U"<%.*s>", 0, wide), "<>"},
        {fmt(U"<%hs>", utf8), "<a\u00e9\U0001F600z>"},          /* 8-bit text is UTF-8 */
        {fmt(U"<%.*hs>", 3, utf8), "<a\u00e9>"},               /* precision counts bytes */
        {fmt(U"<%5hs>", "ab"), "<   ab>"},
        {fmt(U"<%-5hs|%5hs>", "a\xc3\xa9", "\xc3\xa9"), "<a\u00e9   |    \u00e9>"},
        {fmt(U"<%hs>", "a\xff" "b\xc3"), "<a?b?>"},             /* malformed bytes */
        {fmt(U"<%hs>", "\xe0\x80\xaf"), "<?" "?" "?>"},               /* overlong form */
        {fmt(U"<%s|%hs>", nullptr, nullptr), "<(null)|(null)>"},
        {fmt(U"<%c%c%3c%-3c>", int{U'a'}, int{U'\u00e9'}, int{U'b'}, int{U'c'}),
         "<a\u00e9  bc  >"},
        {fmt(U"%p", static_cast<void*>(&anchor)), ptr},
        {fmt(U"%p", nullptr), "(nil)"},
        {fmt(U"100%% %d%%", 5), "100% 5%"},
        {fmt(U"%*d|%-*d|%.*d", 5, 42, 4, 7, 3, 9), "   42|7   |009"},
        {fmt(U"%*d", -4, 1), "1   "},                           /* negative width: left */
        {fmt(U"%02x%02x%02X", 0xa, 0x0, 0xff), "0a00FF"},
        {fmt(U"%4d |%q|%", -8), "  -8 |%q|%"},                  /* unknown and cut-off stay */
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST(Formatter, FormatLengthLimitsTheFormat) {
    NQJournal* j = zhost_open_capture_journal();
    char32_t buf[32];
    int32_t written = -1;
    struct Args {
        static NQStatus run(NQJournal* j, int32_t fmtlen, char32_t* buf, int32_t* w, ...) {
            va_list ap;
            va_start(ap, w);
            NQStatus st = j->FormatToBuf(j, U"%d;%d", fmtlen, buf, 32, w, ap);
            va_end(ap);
            return st;
        }
    };
    EXPECT_EQ(Args::run(j, 2, buf, &written, 11, 22), NQ_OK);
    EXPECT_EQ(ktest::utf8(buf, written), "11");
    EXPECT_EQ(buf[written], 0u);
    EXPECT_EQ(Args::run(j, 0, buf, &written, 11, 22), NQ_OK);
    EXPECT_EQ(ktest::utf8(buf, written), "11;22");
    EXPECT_EQ(Args::run(j, -1, buf, &written, 11, 22), NQ_OK);
    EXPECT_EQ(ktest::utf8(buf, written), "11;22");
    EXPECT_EQ(Args::run(j, 4, buf, nullptr, 11, 22), NQ_OK); /* written may be null */
    EXPECT_EQ(buf[0], U'1');
    zhost_close_journal(j);
}

/* At every capacity the output is the longest prefix that fits, never a unit more. */
TEST(Formatter, CapacityCutsAtEveryLength) {
    const std::u32string full = U"[  -42|\u00e9\U0001F600ab|7f]";
    for (int32_t cap = 0; cap <= static_cast<int32_t>(full.size()) + 2; ++cap) {
        char32_t buf[64];
        for (char32_t& c : buf) c = U'#';
        NQJournal* j = zhost_open_capture_journal();
        struct Args {
            static NQStatus run(NQJournal* j, char32_t* buf, int32_t cap, int32_t* w, ...) {
                va_list ap;
                va_start(ap, w);
                NQStatus st = j->FormatToBuf(j, U"[%5d|%.*s%hs|%x]", 0, buf, cap, w, ap);
                va_end(ap);
                return st;
            }
        };
        int32_t written = -1;
        NQStatus st = Args::run(j, buf, cap, &written, -42, 2, U"\u00e9\U0001F600", "ab", 0x7f);
        zhost_close_journal(j);
        size_t expect = std::min<size_t>(cap, full.size());
        ASSERT_EQ(written, static_cast<int32_t>(expect)) << cap;
        EXPECT_EQ(std::u32string(buf, expect), full.substr(0, expect)) << cap;
        EXPECT_EQ(st, cap < static_cast<int32_t>(full.size()) ? NQ_STATUS_TRUNCATED : NQ_OK);
        /* a terminator only where there is room; nothing past the capacity */
        if (static_cast<size_t>(cap) > full.size()) {
            EXPECT_EQ(buf[full.size()], 0u);
        }
        for (int32_t i = std::max<int32_t>(cap, static_cast<int32_t>(expect) + 1); i < 64; ++i)
            ASSERT_EQ(buf[i], U'#') << cap << " at " << i;
    }
}

TEST(Formatter, StatusesRenderAsShortTexts) {
    struct Case {
        NQStatus status;
        const char* want;
    };
    const Case cases[] = {
        {NQ_STATUS_NO_MEMORY, "out of memory"},
        {NQ_STATUS_SYNTAX, "syntax error"},
        {NQ_STATUS_LEXICAL, "lexical error"},
        {NQ_STATUS_TOO_DEEP, "nested too deeply"},
        {NQ_STATUS_NOT_A_NUMBER, "not a number"},
        {static_cast<NQStatus>(0x803F0001), "status 0x803F0001"},
        {0x1234, "status 0x00001234"},
    };
    for (const Case& c : cases) {
        ktest::Formatted f = ktest::status_text(c.status, 64);
        EXPECT_EQ(f.status, NQ_OK);
        EXPECT_EQ(f.text, c.want);
    }
    ktest::Formatted cut = ktest::status_text(NQ_STATUS_SYNTAX, 6);
    EXPECT_EQ(cut.status, NQ_STATUS_TRUNCATED);
    EXPECT_EQ(cut.text, "syntax");
}

}  // namespace
