// The parser's and evaluator's string routines: substring search, quote removal and
// decimal conversion of wide text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "zorv/support.h"

namespace {

using W = std::u32string;

int32_t len(const W& s) {
    return static_cast<int32_t>(s.size());
}

TEST(WideStrings, SubstringSearch) {
    struct Case {
        W text, pattern;
        int want;
    };
    const Case cases[] = {
        {U"banana", U"ana", 1},
        {U"ban", U"nana", -1},
        {U"", U"", 0},
        {U"", U"a", -1},
        {U"abc", U"", 0},
        {U"abc", U"abc", 0},
        {U"abc", U"abcd", -1},
        {U"aaab", U"aab", 1},
        {U"xyzab", U"ab", 3},
        {U"abab", U"b", 1},
        {U"Abc", U"a", -1},
        {U"a b", U"ab", -1},
        {W{U'b', 0x10061}, W{0x61}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.text.size() << "/" << c.pattern.size() << " want " << c.want);
        EXPECT_EQ(nqzsndx(c.text.data(), len(c.text), c.pattern.data(), len(c.pattern)), c.want);
    }
}

// Every text of up to 11 characters over a small alphabet against every pattern of up to 4
// characters, each text in a buffer of exactly its length (so that a read past it is caught
// under the address sanitizer), answered as a plain scan answers: the first occurrence.
TEST(WideStrings, SearchAgreesWithAPlainScan) {
    const NQWChar alphabet[2] = {U'a', 0x80000061};  // the second with its sign bit set
    auto spelled = [&](uint32_t bits, int n) {
        std::vector<NQWChar> v(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = alphabet[(bits >> i) & 1];
        return v;
    };
    auto plain = [](const std::vector<NQWChar>& t, const std::vector<NQWChar>& p) {
        for (size_t i = 0; i + p.size() <= t.size(); ++i)
            if (std::equal(p.begin(), p.end(), t.begin() + static_cast<ptrdiff_t>(i)))
                return static_cast<int>(i);
        return -1;
    };
    for (int tn = 0; tn <= 11; ++tn)
        for (uint32_t tb = 0; tb < (1u << tn); ++tb) {
            const std::vector<NQWChar> text = spelled(tb, tn);
            for (int pn = 1; pn <= 4; ++pn)
                for (uint32_t pb = 0; pb < (1u << pn); ++pb) {
                    const std::vector<NQWChar> pattern = spelled(pb, pn);
                    ASSERT_EQ(nqzsndx(text.data(), tn, pattern.data(), pn), plain(text, pattern))
                        << "text " << tb << "/" << tn << " pattern " << pb << "/" << pn;
                }
        }
}

// The search must not look past textlen even when the buffer goes on.
TEST(WideStrings, SearchStaysWithinTheGivenLength) {
    const W text = U"abcab";
    const W pattern = U"cab";
    EXPECT_EQ(nqzsndx(text.data(), 4, pattern.data(), 3), -1);
    EXPECT_EQ(nqzsndx(text.data(), 5, pattern.data(), 3), 2);
}

TEST(WideStrings, QuoteRemoval) {
    struct Case {
        W literal, want;
    };
    const Case cases[] = {
        {U"'it''s'", U"it's"},    {U"''", U""},
        {U"'a''''b'", U"a''b"},   {U"''''", U"'"},
        {U"'abc'", U"abc"},       {U"\"say \"\"hi\"\"\"", U"say \"hi\""},
        {U"'a\"\"b'", U"a\"\"b"}, {U"'x'''", U"x'"},
        {U"'''x'", U"'x"},        {U"'", U""},  // a lone quote keeps nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.literal.size() << " characters");
        W buf = c.literal + U"#";  // a sentinel past the literal must survive
        const int kept = nqzsrpq(buf.data(), len(c.literal));
        ASSERT_EQ(kept, len(c.want));
        EXPECT_EQ(W(buf.data(), kept), c.want);
        EXPECT_EQ(buf[kept], 0u) << "the kept text is 0-terminated";
        EXPECT_EQ(buf.back(), U'#');
    }
    EXPECT_EQ(nqzsrpq(nullptr, 5), 0);
}

TEST(WideStrings, DecimalConversion) {
    struct Case {
        W text;
        int32_t want;
    };
    const Case cases[] = {
        {U"  -42x", -42},
        {U"+7", 7},
        {U"x1", 0},
        {U"", 0},
        {U"   ", 0},
        {U"-", 0},
        {U"--5", 0},
        {U"- 5", 0},
        {U"12 34", 12},
        {U"007", 7},
        {U"2147483647", INT32_MAX},
        {U"-2147483648", INT32_MIN},
        {U"2147483648", INT32_MIN},  // wraps in 32 bits
        {U"4294967295", -1},
        {U"4294967296", 0},
        {U"\t5", 0},  // only U+0020 counts as a blank
        {W{U'1', U'2', 0, U'3'}, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "want " << c.want);
        EXPECT_EQ(nqzsttol(c.text.c_str()), c.want);
    }
}

}  // namespace
