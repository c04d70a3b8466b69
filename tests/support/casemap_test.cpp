// Case mapping: the characteristic mappings, characters that must stay put, caseless
// equality, the shape of the generated tables, and a whole-range comparison with the
// Unicode character data when it is installed.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/case_tables.h"
#include "zorv/support.h"

namespace {

using Text = std::u32string;

NQWChar up(NQWChar c) {
    nqzstup(&c, 1);
    return c;
}
NQWChar lo(NQWChar c) {
    nqzstlo(&c, 1);
    return c;
}

// Case pairs in runs: lower-casing upper + i gives lower + i and upper-casing goes back.
struct PairRun {
    NQWChar upper, lower;
    int count;
};
// A few runs of each kind; the whole-range comparison below checks every other pair.
constexpr PairRun kPairRuns[] = {
    {U'A', U'a', 26},     {0x00C0, 0x00E0, 23}, {0x0178, 0x00FF, 1},  // delta +-121
    {0x0181, 0x0253, 1},  {0x018E, 0x0258, 1},  {0x1FF8, 0x1F78, 2},  // via aux lists
    {0x0391, 0x03B1, 17}, {0x0410, 0x0430, 32}, {0xFF21, 0xFF41, 26},
};

TEST(CaseMap, CasePairsMapBothWays) {
    for (const PairRun& r : kPairRuns) {
        for (int i = 0; i < r.count; ++i) {
            SCOPED_TRACE(testing::Message() << std::hex << "U+" << r.upper + i);
            EXPECT_EQ(lo(r.upper + i), r.lower + i);
            EXPECT_EQ(up(r.lower + i), r.upper + i);
            EXPECT_EQ(up(r.upper + i), r.upper + i);
            EXPECT_EQ(lo(r.lower + i), r.lower + i);
        }
    }
}

// Characters whose two forms are not a simple pair, or that must not change at all.
struct OneWay {
    NQWChar c, upper, lower;
};
constexpr OneWay kOneWay[] = {
    {0x01C4, 0x01C4, 0x01C6},  // the three forms of the DZ digraph
    {0x01C5, 0x01C4, 0x01C6},
    {0x01C6, 0x01C4, 0x01C6},
    {0x017F, U'S', 0x017F},    // long s
    {0x0131, 0x0131, 0x0131},  // dotless i
    {0x0130, 0x0130, 0x0130},  // dotted I
    {0x00DF, 0x00DF, 0x00DF},  // sharp s: no one-to-one upper case
    {0x00B5, 0x00B5, 0x00B5},
    {0x1F80, 0x1F88, 0x1F80},
    {0x1F88, 0x1F88, 0x1F80},
    {0x10A0, 0x10A0, 0x10D0},  // Georgian maps down only
    {0x10D0, 0x10D0, 0x10D0},
    {0x2126, 0x2126, 0x2126},
    {0x212A, 0x212A, 0x212A},
    {0x1E9E, 0x1E9E, 0x1E9E},
    {0x0500, 0x0500, 0x0500},
    // blocks with no entry, and units beyond U+FFFF (some with mappings of their own)
    {0x0370, 0x0370, 0x0370},
    {0x13A0, 0x13A0, 0x13A0},
    {0x10400, 0x10400, 0x10400},
    {0x10041, 0x10041, 0x10041},
    {0x80000041, 0x80000041, 0x80000041},
    {0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF},
};

TEST(CaseMap, IrregularAndUnmappedCharacters) {
    for (const OneWay& r : kOneWay) {
        SCOPED_TRACE(testing::Message() << std::hex << "U+" << static_cast<uint32_t>(r.c));
        EXPECT_EQ(up(r.c), r.upper);
        EXPECT_EQ(lo(r.c), r.lower);
    }
}

TEST(CaseMap, MapsWholeTextInPlaceWithinCount) {
    Text s = U"Stra\u00DFe 1\u00B5";
    nqzstup(s.data(), static_cast<int32_t>(s.size()));
    EXPECT_EQ(s, U"STRA\u00DFE 1\u00B5");
    nqzstlo(s.data(), static_cast<int32_t>(s.size()));
    EXPECT_EQ(s, U"stra\u00DFe 1\u00B5");

    // Runs of four ASCII characters and runs that hold a unit with its sign bit set, a
    // character above U+FFFF or a mapped non-ASCII character, at every offset of a 4-run.
    const Text odd[] = {Text(1, char32_t{0x80000061}), U"\U0001F600", U"\u00e9"};
    for (const Text& o : odd)
        for (size_t at = 0; at < 9; ++at) {
            Text u = U"az{`AZ@[mn ab";
            u.insert(at, o);
            Text want = U"AZ{`AZ@[MN AB";
            want.insert(at, o == U"\u00e9" ? U"\u00c9" : o);
            nqzstup(u.data(), static_cast<int32_t>(u.size()));
            EXPECT_EQ(u, want) << "at " << at;
        }

    Text t = U"abcd";
    nqzstup(t.data(), 2);
    EXPECT_EQ(t, U"ABcd");
    for (int32_t n : {0, -1, INT32_MIN}) {
        nqzstup(t.data(), n);
        nqzstlo(t.data(), n);
        EXPECT_EQ(t, U"ABcd") << "count " << n;
    }
}

TEST(CaseMap, CaselessEquality) {
    struct Case {
        Text a, b;
        int equal;
    };
    const Case cases[] = {
        {U"Hello", U"hELLO", 1},
        {U"", U"", 1},
        {U"abc", U"abc ", 0},
        {U"abc ", U"abc", 0},
        {U"abc", U"abd", 0},
        {U"xbc", U"abc", 0},
        {U"\u01C4\u01C5", U"\u01C6\u01C6", 1},  // all three forms of the digraph
        {U"\u0181", U"\u0253", 1},              // pair through the aux list
        {U"\u10A0", U"\u10D0", 1},
        {U"\u10A0", U"\u2D00", 0},
        {U"\u017F", U"S", 0},  // long s upper-cases to S but lower-cases to itself
        {U"\u0130", U"i", 0},
        {U"\U00010400", U"\U00010428", 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nqzseqn(c.a.data(), static_cast<int32_t>(c.a.size()), c.b.data(),
                          static_cast<int32_t>(c.b.size())),
                  c.equal);
    }
    EXPECT_EQ(nqzseqn(nullptr, 0, nullptr, 0), 1);
}

// Counts (from, to) pairs and checks the list ends with its 0 word exactly at its end.
template <size_t N>
std::vector<std::pair<uint32_t, uint32_t>> aux_pairs(const uint32_t (&aux)[N]) {
    std::vector<std::pair<uint32_t, uint32_t>> pairs;
    size_t i = 0;
    for (; aux[i] != 0; i += 2) pairs.emplace_back(aux[i], aux[i + 1]);
    EXPECT_EQ(i, N - 1);
    return pairs;
}

TEST(CaseTables, BlockIndexAndAuxListsAreConsistent) {
    std::set<int> starts;
    for (int16_t m : zorv::metatable) {
        if (m < 0) continue;
        EXPECT_EQ(m % 128, 0);
        EXPECT_LT(m, 2432);
        starts.insert(m);
    }
    EXPECT_EQ(starts.size(), 19u);

    struct Dir {
        const int8_t* shift;
        std::vector<std::pair<uint32_t, uint32_t>> aux;
    };
    const Dir dirs[] = {{zorv::upshift, aux_pairs(zorv::upaux)},
                        {zorv::downshift, aux_pairs(zorv::downaux)}};
    EXPECT_EQ(dirs[0].aux.size(), 20u);
    EXPECT_EQ(dirs[1].aux.size(), 19u);
    for (const Dir& d : dirs) {
        std::set<uint32_t> froms, tos;
        for (auto [from, to] : d.aux) {
            // Every pair is reachable: its character sits in a covered block on an escape.
            ASSERT_LE(from, 0xFFFFu);
            const int m = zorv::metatable[from >> 7];
            ASSERT_GE(m, 0) << std::hex << from;
            EXPECT_EQ(d.shift[m + (from & 127)], zorv::kCaseEscape) << std::hex << from;
            EXPECT_TRUE(froms.insert(from).second) << "duplicate " << std::hex << from;
            tos.insert(to);
        }
        for (uint32_t t : tos) EXPECT_EQ(froms.count(t), 0u) << std::hex << t;
        size_t escapes = 0;
        for (int i = 0; i < 2432; ++i) escapes += d.shift[i] == zorv::kCaseEscape;
        EXPECT_EQ(escapes, d.aux.size());  // no escape without a pair
    }
}

// Maps every unit of U+0000..U+FFFF in one call.
std::vector<NQWChar> mapped_bmp(void (*map)(NQWChar*, int32_t)) {
    std::vector<NQWChar> v(0x10000);
    for (uint32_t c = 0; c < v.size(); ++c) v[c] = c;
    map(v.data(), static_cast<int32_t>(v.size()));
    return v;
}

TEST(CaseMap, WholeRangeCountsAndIdempotence) {
    const std::vector<NQWChar> upper = mapped_bmp(nqzstup), lower = mapped_bmp(nqzstlo);
    int uppered = 0, lowered = 0;
    for (uint32_t c = 0; c < 0x10000; ++c) {
        uppered += upper[c] != c;
        lowered += lower[c] != c;
        // no chains: a mapped character maps to itself again
        ASSERT_LE(upper[c], 0xFFFFu);
        ASSERT_LE(lower[c], 0xFFFFu);
        EXPECT_EQ(upper[upper[c]], upper[c]) << std::hex << c;
        EXPECT_EQ(lower[lower[c]], lower[c]) << std::hex << c;
    }
    EXPECT_EQ(lowered, 706);
    EXPECT_EQ(uppered, 671);
}

// Simple mappings of UnicodeData.txt: field 12 upper, field 13 lower.
bool read_unicode_data(std::vector<NQWChar>& upper, std::vector<NQWChar>& lower) {
    std::ifstream in("/usr/share/unicode/UnicodeData.txt");
    if (!in) return false;
    upper.resize(0x10000);
    lower.resize(0x10000);
    for (uint32_t c = 0; c < 0x10000; ++c) upper[c] = lower[c] = c;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream ss(line);
        for (std::string field; std::getline(ss, field, ';');) f.push_back(field);
        const uint32_t c = std::stoul(f.at(0), nullptr, 16);
        if (c > 0xFFFF) continue;
        if (f.size() > 12 && !f[12].empty()) upper[c] = std::stoul(f[12], nullptr, 16);
        if (f.size() > 13 && !f[13].empty()) lower[c] = std::stoul(f[13], nullptr, 16);
    }
    return true;
}

// The tables keep an early edition's mappings: a subset of today's simple mappings, apart
// from a few mappings that were later re-targeted or removed.
TEST(CaseMap, AgreesWithCharacterDataExceptOlderEdition) {
    std::vector<NQWChar> data_up, data_lo;
    if (!read_unicode_data(data_up, data_lo)) GTEST_SKIP() << "UnicodeData.txt not installed";
    const std::vector<NQWChar> upper = mapped_bmp(nqzstup), lower = mapped_bmp(nqzstlo);

    auto older = [](uint32_t c, NQWChar to, bool to_upper) {
        if (to_upper) return c == 0x0258 && to == 0x018E;
        return (c == 0x018E && to == 0x0258) ||
               (c >= 0x10A0 && c <= 0x10C5 && to == c - 0x10A0 + 0x10D0);
    };
    int data_only_up = 0, data_only_lo = 0;
    for (uint32_t c = 0; c < 0x10000; ++c) {
        if (upper[c] != c && upper[c] != data_up[c]) {
            EXPECT_TRUE(older(c, upper[c], true)) << "upper of " << std::hex << c;
        }
        if (lower[c] != c && lower[c] != data_lo[c]) {
            EXPECT_TRUE(older(c, lower[c], false)) << "lower of " << std::hex << c;
        }
        const bool covered = zorv::metatable[c >> 7] >= 0;
        data_only_up += covered && upper[c] == c && data_up[c] != c;
        data_only_lo += covered && lower[c] == c && data_lo[c] != c;
    }
    EXPECT_EQ(data_only_up, 154);
    EXPECT_EQ(data_only_lo, 91);
}

}  // namespace
