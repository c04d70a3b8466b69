/* The NLS service: the transcoder switch, UTF-32 to UTF-8 transcoding that never splits
 * a character, and number reading by the "en_US" locale. */
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/kernel/kernel_test.h"

using ktest::KernelTest;

namespace {

TEST_F(KernelTest, NeedsTranscoderAndTheNlsWordFollowTheirSwitches) {
    NQNls* n = k->nls;
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->NeedsTranscoder(n, NQ_ENCODING_WIDE, NQ_ENCODING_BYTES), 1);
    EXPECT_EQ(n->NeedsTranscoder(n, NQ_ENCODING_BYTES, NQ_ENCODING_BYTES), 0);
    zhost_set_needs_transcoder(k, 0);
    EXPECT_EQ(n->NeedsTranscoder(n, NQ_ENCODING_WIDE, NQ_ENCODING_BYTES), 0);
    zhost_set_needs_transcoder(k, 1);
    EXPECT_EQ(n->NeedsTranscoder(n, NQ_ENCODING_WIDE, NQ_ENCODING_BYTES), 1);
    EXPECT_EQ(n->CreateTranscoder(n, NQ_ENCODING_WIDE, 0, nullptr), nullptr);
    zhost_hide_nls(k, 1);
    EXPECT_EQ(k->nls, nullptr);
    zhost_hide_nls(k, 0);
    EXPECT_EQ(k->nls, n);
}

/* Characters of 1 to 4 bytes and code points that have no UTF-8 form. */
TEST_F(KernelTest, TranscoderNeverSplitsACharacter) {
    const std::pair<char32_t, const char*> chars[] = {
        {U'A', "A"},   {0xE9, "\xc3\xa9"}, {0x20AC, "\xe2\x82\xac"}, {0x1F600, "\xf0\x9f\x98\x80"},
        {0xD800, "?"}, {0x110000, "?"},    {0x7FF, "\xdf\xbf"},      {0xFFFF, "\xef\xbf\xbf"}};
    std::u32string text;
    std::string full;
    std::vector<size_t> ends; /* byte offset after each character */
    for (const auto& ch : chars) {
        text += ch.first;
        ends.push_back((full += ch.second).size());
    }
    NQTranscoder* t = k->nls->CreateTranscoder(k->nls, NQ_ENCODING_BYTES, 0, nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(zhost_live_count(k), 1);
    const int32_t srcbytes = static_cast<int32_t>(text.size() * 4);
    for (size_t cap = 0; cap <= full.size() + 1; ++cap) {
        char buf[64];
        std::memset(buf, '#', sizeof buf);
        int32_t written = -1;
        NQStatus st =
            t->Transcode(t, text.data(), srcbytes, buf, static_cast<int32_t>(cap), &written, 0);
        size_t fit = 0;
        for (size_t e : ends) fit = e <= cap ? e : fit;
        ASSERT_EQ(written, static_cast<int32_t>(fit)) << cap;
        EXPECT_EQ(std::string(buf, fit), full.substr(0, fit)) << cap;
        EXPECT_EQ(st, fit < full.size() ? NQ_STATUS_TRUNCATED : NQ_OK) << cap;
        EXPECT_EQ(std::string(buf + fit, sizeof buf - fit), std::string(sizeof buf - fit, '#'));
    }
    int32_t written = -1; /* a trailing partial unit is not a character */
    char buf[8];
    EXPECT_EQ(t->Transcode(t, text.data(), 6, buf, 8, &written, 0), NQ_OK);
    EXPECT_EQ(written, 1);
    t->Destroy(t);
    EXPECT_EQ(zhost_live_count(k), 0);
}

/* Each case: text, the characters that make the number (converted by strtod for the
 * expected value), characters used, status. */
TEST_F(KernelTest, ToNumberReadsTheLongestNumberAtTheFront) {
    NQLocale* l = k->nls->CreateLocale(k->nls, U"en_US", 5);
    ASSERT_NE(l, nullptr);
    struct Case {
        std::u32string text;
        const char* number;
        int32_t used;
        NQStatus status;
    };
    const NQStatus ok = NQ_OK, zero = NQ_STATUS_VALUE_ZERO, nan = NQ_STATUS_NOT_A_NUMBER;
    // clang-format off
    const Case cases[] = {
        {U"42", "42", 2, ok},        {U"-3.5", "-3.5", 4, ok},   {U"+.5", "+.5", 3, ok},
        {U"5.", "5.", 2, ok},        {U"0.1", "0.1", 3, ok},     {U"1e3", "1e3", 3, ok},
        {U"1E-2", "1E-2", 4, ok},    {U"2.5e+10x", "2.5e+10", 7, ok},
        {U"1e", "1", 1, ok},         {U"1e+", "1", 1, ok},       {U"7E-x", "7", 1, ok},
        {U"1.2.3", "1.2", 3, ok},    {U"12 34", "12", 2, ok},    {U"4.9e-324", "4.9e-324", 8, ok},
        {U"123456789012345678901234567890", "123456789012345678901234567890", 30, ok},
        {U"0", "", 1, zero},         {U"-0.000e7", "", 8, zero}, {U"1e-999", "", 6, zero},
        {U"0x10", "", 1, zero},      {U"1e999", "", 5, nan},     {U"", "", 0, nan},
        {U".", "", 0, nan},          {U"-", "", 0, nan},         {U"+e5", "", 0, nan},
        {U" 1", "", 0, nan},         {U"inf", "", 0, nan},       {U"\u0663", "", 0, nan},
    };
    // clang-format on
    for (const Case& c : cases) {
        double value = -1;
        int32_t used = -1;
        NQStatus st =
            l->ToNumber(l, c.text.data(), static_cast<int32_t>(c.text.size()), &value, &used);
        std::string name = ::testing::PrintToString(c.text);
        EXPECT_EQ(st, c.status) << name;
        EXPECT_EQ(used, c.used) << name;
        EXPECT_EQ(value, c.status == ok ? std::strtod(c.number, nullptr) : 0.0) << name;
    }
    double value = 0; /* characters past the length are never read */
    int32_t used = 0;
    EXPECT_EQ(l->ToNumber(l, U"12345", 2, &value, &used), NQ_OK);
    EXPECT_EQ(value, 12.0);
    EXPECT_EQ(used, 2);
    dispose(l);
    EXPECT_EQ(zhost_live_count(k), 0);
}

TEST_F(KernelTest, OnlyKnownLocalesAreMade) {
    NQNls* n = k->nls;
    EXPECT_EQ(n->CreateLocale(n, U"en_GB", 5), nullptr);
    EXPECT_EQ(n->CreateLocale(n, U"en_US", 4), nullptr);
    EXPECT_EQ(n->CreateLocale(n, U"en_USX", 6), nullptr);
    NQLocale* l = n->CreateLocale(n, U"en_US", 0); /* length 0: up to the 0 unit */
    NQGroup* g = group();
    ASSERT_TRUE(l && g);
    g->Register(g, 0, 0, l, 0, 0, 0, 0);
    EXPECT_EQ(zhost_live_count(k), 2);
    g->Destroy(g);
    EXPECT_EQ(zhost_live_count(k), 0);
}

}  // namespace
