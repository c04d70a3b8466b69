// The grammar descriptor as the parse engine gets it from zorvgrammar: every byte written,
// the counts and constants in place, and the reference layout byte for byte. The tables
// themselves are checked against their source by the generator's --check test, and the
// language they describe by the clauses of parse_test.cpp.
#include <gtest/gtest.h>

#include <cstring>

#include "parse/parse.h"

namespace {

constexpr int kTerms = 74;

NQGrammar described() {
    NQGrammar d;
    std::memset(&d, 0xA5, sizeof d);  // the routine must overwrite every byte
    EXPECT_EQ(zorvgrammar(&d), &d);
    return d;
}

TEST(GrammarDescriptor, HoldsTheCountsConstantsAndTables) {
    const NQGrammar g = described();
    EXPECT_EQ(g.version, 2);
    EXPECT_EQ(g.nterms, kTerms);
    EXPECT_EQ(g.firstnt, kTerms + 1);
    EXPECT_EQ(g.nevercost, 127);
    EXPECT_EQ(g.const63, 63);
    EXPECT_EQ(g.nclasses, 19);
    for (int16_t r : g.reserved74) EXPECT_EQ(r, 0);
    for (int16_t r : g.reserved110) EXPECT_EQ(r, 0);
    const void* tables[] = {g.prdlst, g.prdndx,  g.lhstbl,  g.prslst, g.prsndx,
                            g.actmap, g.argndx,  g.argtbl,  g.symtbl, g.symndx,
                            g.symmap, g.delcost, g.inscost, g.insndx, g.instbl};
    for (const void* t : tables) EXPECT_NE(t, nullptr);
    for (int t = 1; t <= kTerms; ++t) EXPECT_EQ(g.symmap[t - 1], t);
    // The last terminal is the end of input.
    const uint32_t* end = g.symtbl + g.symndx[kTerms - 1];
    EXPECT_EQ(std::u32string(end + 1, end + 1 + end[0]), U"$$$");
}

// In the reference layout every byte outside the fifteen addresses is fixed.
TEST(GrammarDescriptor, BytesOutsideTheAddressesAreExact) {
    if (sizeof(void*) != 4) GTEST_SKIP() << "byte layout applies to the 32-bit build";
    const NQGrammar g = described();
    unsigned char want[176] = {};
    auto put16 = [&](size_t at, int v) {
        want[at] = static_cast<unsigned char>(v & 0xFF);
        want[at + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
    };
    put16(0, 2), put16(2, kTerms + 1), put16(4, kTerms), put16(6, g.nprslst);
    put16(68, 127), put16(70, 63), put16(72, g.ninstbl), put16(108, 19);
    unsigned char got[176];
    static_assert(sizeof got <= sizeof(NQGrammar));
    std::memcpy(got, &g, sizeof got);
    for (size_t i = 0; i < sizeof got; ++i) {
        if (i >= 8 && i < 68) continue;
        EXPECT_EQ(got[i], want[i]) << "byte " << i;
    }
}

}  // namespace
