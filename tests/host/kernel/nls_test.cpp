/* The NLS service: the transcoder switch, UTF-32 to UTF-8 transcoding that never splits
 * a character, and number reading by the "en_US" locale. */
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/kernel/kernel_test.h"

using ktest::KernelTest;

namespace {

TEST_F(KernelTest, NeedsTranscoderFollowsItsSwitch) {
    NQNls* n = k->nls;
    EXPECT_EQ(n->NeedsTranscoder(n, NQ_ENCODING_WIDE, NQ_ENCODING_BYTES), 1);
    EXPECT_EQ(n->NeedsTranscoder(n, NQ_ENCODING_BYTES, NQ_ENCODING_BYTES), 0);
    zhost_set_needs_transcoder(k, 0);
    EXPECT_EQ(n->NeedsTranscoder(n, NQ_ENCODING_WIDE, NQ_ENCODING_BYTES), 0);
    zhost_set_needs_transcoder(k, 1);
    EXPECT_EQ(n->NeedsTranscoder(n, NQ_ENCODING_WIDE, NQ_ENCODING_BYTES), 1);
    EXPECT_EQ(n->CreateTranscoder(n, NQ_ENCODING_WIDE, 0, nullptr), nullptr);
    EXPECT_EQ(zhost_live_count(k), 0);
}

/* Characters of 1 to 4 bytes and code points that have no UTF-8 form. */
TEST_F(KernelTest, TranscoderNeverSplitsACharacter) {
    struct Char {
        char32_t c;
        const char* bytes;
    };
    const Char chars[] = {{U'A', "A"},          {0xE9, "\xc3\xa9"},  {0x20AC, "\xe2\x82\xac"},
                          {0x1F600, "\xf0\x9f\x98\x80"}, {0xD800, "?"}, {0x110000, "?"},
                          {U'z', "z"},          {0x7FF, "\xdf\xbf"}, {0xFFFF, "\xef\xbf\xbf"}};
    std::u32string text;
    std::string full;
    std::vector<size_t> ends; /* byte offset after each character */
    for (const Char& ch : chars) {
        text += ch.c;
        full += ch.bytes;
        ends.push_back(full.size());
    }
    NQTranscoder* t = k->nls->CreateTranscoder(k->nls, NQ_ENCODING_BYTES, 0, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(zhost_live_count(k), 1);
    int32_t srcbytes = static_cast<int32_t>(text.size() * 4);
    for (int32_t cap = 0; cap <= static_cast<int32_t>(full.size()) + 1; ++cap) {
        char buf[64];
        std::memset(buf, '#', sizeof buf);
        int32_t written = -1;
        NQStatus st = t->Transcode(t, text.data(), srcbytes, buf, cap, &written, 0);
        size_t fit = 0;
        for (size_t e : ends)
            if (e <= static_cast<size_t>(cap)) fit = e;
        ASSERT_EQ(written, static_cast<int32_t>(fit)) << cap;
        EXPECT_EQ(std::string(buf, fit), full.substr(0, fit)) << cap;
        EXPECT_EQ(st, fit < full.size() ? NQ_STATUS_TRUNCATED : NQ_OK) << cap;
        for (size_t i = fit; i < sizeof buf; ++i) ASSERT_EQ(buf[i], '#') << cap << " at " << i;
    }
    /* a trailing partial unit is not a character */
    int32_t written = -1;
    char buf[8];
    EXPECT_EQ(t->Transcode(t, text.data(), 6, buf, 8, &written, 0), NQ_OK);
    EXPECT_EQ(written, 1);
    t->Destroy(t);
    EXPECT_EQ(zhost_live_count(k), 0);
}

/* Each case: text, the value strtod gives for the part that should be read, characters
 * used and the status. */
TEST_F(KernelTest, ToNumberReadsTheLongestNumberAtTheFront) {
    NQLocale* l = k->nls->CreateLocale(k->nls, U"en_US", 5);
    ASSERT_NE(l, nullptr);
    struct Case {
        std::u32string text;
        const char* value; /* the characters that make the number, "" when none */
        int32_t used;
        NQStatus status;
    };
    const Case cases[] = {
        {U"42", "42", 2, NQ_OK},
        {U"-3.5", "-3.5", 4, NQ_OK},
        {U"+.5", "+.5", 3, NQ_OK},
        {U"5.", "5.", 2, NQ_OK},
        {U"0.1", "0.1", 3, NQ_OK},
        {U"1e3", "1e3", 3, NQ_OK},
        {U"1E-2", "1E-2", 4, NQ_OK},
        {U"2.5e+10x", "2.5e+10", 7, NQ_OK},
        {U"1e", "1", 1, NQ_OK},            /* an exponent needs digits */
        {U"1e+", "1", 1, NQ_OK},
        {U"7E-x", "7", 1, NQ_OK},
        {U"1.2.3", "1.2", 3, NQ_OK},       /* one point only */
        {U"12 34", "12", 2, NQ_OK},
        {U"123456789012345678901234567890", "123456789012345678901234567890", 30, NQ_OK},
        {U"4.9e-324", "4.9e-324", 8, NQ_OK},
        {U"0", "0", 1, NQ_STATUS_VALUE_ZERO},
        {U"-0.000e7", "-0.000e7", 8, NQ_STATUS_VALUE_ZERO},
        {U"1e-999", "1e-999", 6, NQ_STATUS_VALUE_ZERO},
        {U"1e999", "", 5, NQ_STATUS_NOT_A_NUMBER},   /* too large for a double */
        {U"", "", 0, NQ_STATUS_NOT_A_NUMBER},
        {U".", "", 0, NQ_STATUS_NOT_A_NUMBER},
        {U"-", "", 0, NQ_STATUS_NOT_A_NUMBER},
        {U"+e5", "", 0, NQ_STATUS_NOT_A_NUMBER},
        {U" 1", "", 0, NQ_STATUS_NOT_A_NUMBER},
        {U"abc", "", 0, NQ_STATUS_NOT_A_NUMBER},
        {U"\u0663", "", 0, NQ_STATUS_NOT_A_NUMBER},  /* digits of other scripts */
        {U"0x10", "0", 1, NQ_STATUS_VALUE_ZERO},      /* no hexadecimal */
        {U"inf", "", 0, NQ_STATUS_NOT_A_NUMBER},
        {U"nan", "", 0, NQ_STATUS_NOT_A_NUMBER},
    };
    for (const Case& c : cases) {
        double value = -1;
        int32_t used = -1;
        NQStatus st = l->ToNumber(l, c.text.data(), static_cast<int32_t>(c.text.size()), &value,
                                  &used);
        std::string name = ktest::utf8(c.text);
        EXPECT_EQ(st, c.status) << name;
        EXPECT_EQ(used, c.used) << name;
        EXPECT_EQ(value, c.status == NQ_OK ? std::strtod(c.value, nullptr) : 0.0) << name;
    }
    /* the length bounds the text: characters past it are never read */
    double value = 0;
    int32_t used = 0;
    EXPECT_EQ(l->ToNumber(l, U"12345", 2, &value, &used), NQ_OK);
    EXPECT_EQ(value, 12.0);
    EXPECT_EQ(used, 2);
    static_cast<NQObject*>(static_cast<void*>(l))->Dispose(l);
    EXPECT_EQ(zhost_live_count(k), 0);
}

TEST_F(KernelTest, OnlyKnownLocalesAreMade) {
    NQNls* n = k->nls;
    EXPECT_EQ(n->CreateLocale(n, U"en_GB", 5), nullptr);
    EXPECT_EQ(n->CreateLocale(n, U"en_US", 4), nullptr);
    EXPECT_EQ(n->CreateLocale(n, U"en_USX", 6), nullptr);
    NQLocale* l = n->CreateLocale(n, U"en_US", 0); /* length 0: up to the 0 unit */
    ASSERT_NE(l, nullptr);
    NQGroup* g = group();
    g->Register(g, 0, 0, l, 0, 0, 0, 0);
    EXPECT_EQ(zhost_live_count(k), 2);
    g->Destroy(g);
    EXPECT_EQ(zhost_live_count(k), 0);
}

}  // namespace
