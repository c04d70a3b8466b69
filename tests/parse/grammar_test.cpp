// The WHERE grammar tables as the parse engine sees them through zorvgrammar: the descriptor,
// prediction lookups, production and action encoding, the repair tables, and whole clauses
// run through a minimal LL(1) driver over the packed tables.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "parse/parse.h"

namespace {

constexpr int kTerms = 74;
constexpr int kNonterms = 104;
constexpr int kProds = 192;
constexpr int kActions = 56;
constexpr int kEnd = 74;  // "$$$"

const NQGrammar& grammar() {
    static NQGrammar desc = [] {
        NQGrammar d;
        std::memset(&d, 0xA5, sizeof d);  // the routine must overwrite every byte
        NQGrammar* got = zorvgrammar(&d);
        EXPECT_EQ(got, &d);
        return d;
    }();
    return desc;
}

std::string spelling(int code) {
    const NQGrammar& g = grammar();
    const uint32_t* p = g.symtbl + g.symndx[code - 1];
    std::string s;
    for (uint32_t i = 1; i <= p[0]; ++i) s += static_cast<char>(p[i]);
    return s;
}

int terminal(const std::string& s) {
    for (int t = 1; t <= kTerms; ++t)
        if (spelling(t) == s) return grammar().symmap[t - 1];
    ADD_FAILURE() << "no terminal " << s;
    return 0;
}

// The prediction rule: an entry counts only when its production belongs to the row.
int predict(int k, int t) {
    const NQGrammar& g = grammar();
    int i = g.prsndx[k] + t;
    if (i < 0 || i >= g.nprslst) return -1;
    int v = g.prslst[i];
    if (v == 0) return -1;
    int p = (v < 0 ? -v : v) - 1;
    return g.lhstbl[p] == k ? p : -1;
}

std::string action_text(int e) {
    const NQGrammar& g = grammar();
    static const char* const names[] = {"?",     "@SPECIAL", "@PUSH", "@OP",  "@POP",
                                        "@INIT", "@TERM",    "@LIST", "@ADD", "@GEN",
                                        "@SWAP", "@FUNC",    "@TOKSP"};
    std::string s = names[g.actmap[e]];
    if (g.argndx[e] >= 0) {
        const int16_t* a = g.argtbl + g.argndx[e];
        s += "(";
        for (int i = 1; i <= a[0]; ++i) s += (i > 1 ? "," : "") + std::to_string(a[i]);
        s += ")";
    }
    return s;
}

std::string symbol_text(int code) {
    if (code < 0) return action_text(-code - 1);
    if (code < grammar().firstnt) return "\"" + spelling(code) + "\"";
    return "N" + std::to_string(code - grammar().firstnt);
}

// A production body back in reading order.
std::string body_text(int p) {
    const int16_t* b = grammar().prdlst + grammar().prdndx[p];
    if (b[0] == 0) return "ε";
    std::string s;
    for (int i = b[0]; i >= 1; --i) s += (i < b[0] ? " " : "") + symbol_text(b[i]);
    return s;
}

std::vector<int> insertion_string(int k) {
    const uint16_t* s = grammar().instbl + grammar().insndx[k];
    return std::vector<int>(s + 1, s + 1 + s[0]);
}

std::vector<int> terminals_of(const std::string& text) {
    std::vector<int> out;
    std::istringstream in(text);
    for (std::string w; in >> w;) out.push_back(terminal(w));
    return out;
}

// Runs the engine's algorithm on a token sequence (without repair). Returns false on the first
// missing prediction or mismatched terminal; collects the action entries met on the way.
bool run(const std::string& text, std::vector<std::string>* actions = nullptr) {
    const NQGrammar& g = grammar();
    std::vector<int> input = terminals_of(text);
    input.push_back(kEnd);
    std::vector<int> stack{g.firstnt};
    size_t pos = 0;
    while (!stack.empty()) {
        int top = stack.back();
        stack.pop_back();
        if (top < 0) {
            if (actions) actions->push_back(action_text(-top - 1));
        } else if (top < g.firstnt) {
            if (top != input[pos]) return false;
            if (top == kEnd) return stack.empty();
            ++pos;
        } else {
            int p = predict(top - g.firstnt, input[pos]);
            if (p < 0) return false;
            const int16_t* b = g.prdlst + g.prdndx[p];
            for (int i = 1; i <= b[0]; ++i) stack.push_back(b[i]);
        }
    }
    return false;
}

std::vector<bool> nullable_nonterminals() {
    const NQGrammar& g = grammar();
    std::vector<bool> nullable(kNonterms, false);
    for (bool changed = true; changed;) {
        changed = false;
        for (int p = 0; p < kProds; ++p) {
            const int16_t* b = g.prdlst + g.prdndx[p];
            bool all = true;
            for (int i = 1; i <= b[0]; ++i)
                if (b[i] > 0 && (b[i] < g.firstnt || !nullable[b[i] - g.firstnt])) all = false;
            if (all && !nullable[g.lhstbl[p]]) nullable[g.lhstbl[p]] = changed = true;
        }
    }
    return nullable;
}

TEST(GrammarDescriptor, HoldsTheCountsAndConstants) {
    const NQGrammar& g = grammar();
    EXPECT_EQ(g.version, 2);
    EXPECT_EQ(g.firstnt, 75);
    EXPECT_EQ(g.nterms, kTerms);
    EXPECT_EQ(g.nevercost, 127);
    EXPECT_EQ(g.const63, 63);
    EXPECT_EQ(g.ninstbl, 90);
    EXPECT_EQ(g.nclasses, 19);
    for (int16_t r : g.reserved74) EXPECT_EQ(r, 0);
    for (int16_t r : g.reserved110) EXPECT_EQ(r, 0);
    const void* tables[] = {g.prdlst, g.prdndx,  g.lhstbl,  g.prslst, g.prsndx,
                            g.actmap, g.argndx,  g.argtbl,  g.symtbl, g.symndx,
                            g.symmap, g.delcost, g.inscost, g.insndx, g.instbl};
    for (const void* t : tables) EXPECT_NE(t, nullptr);
    for (int t = 1; t <= kTerms; ++t) EXPECT_EQ(g.symmap[t - 1], t);
    EXPECT_EQ(spelling(kEnd), "$$$");
}

// In the reference layout every byte outside the fifteen addresses is fixed.
TEST(GrammarDescriptor, BytesOutsideTheAddressesAreExact) {
    if (sizeof(void*) != 4) GTEST_SKIP() << "byte layout applies to the 32-bit build";
    const NQGrammar& g = grammar();
    unsigned char want[176] = {};
    auto put16 = [&](size_t at, int v) {
        want[at] = static_cast<unsigned char>(v & 0xFF);
        want[at + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
    };
    put16(0, 2), put16(2, 75), put16(4, 74), put16(6, g.nprslst);
    put16(68, 127), put16(70, 63), put16(72, 90), put16(108, 19);
    unsigned char got[176];
    std::memcpy(got, &g, sizeof got);
    for (size_t i = 0; i < sizeof got; ++i) {
        if (i >= 8 && i < 68) continue;
        EXPECT_EQ(got[i], want[i]) << "byte " << i;
    }
}

TEST(GrammarPrediction, SampleEntries) {
    struct Case {
        int k;
        const char* t;
        int prod;  // -1: no prediction
        int sign;  // +1 when the terminal begins the body, -1 when it follows an empty body
    };
    const Case cases[] = {
        {0, "UNDO", 0, 1},      {0, ";", 0, 1},         {0, ")", -1, 0},
        {1, "vlit", 2, 1},      {1, "namex", 1, 1},     {2, "qs", 3, 1},
        {2, ")", 4, -1},        {16, "namex", -1, 0},   {61, "(", 115, 1},
        {61, "qs", 114, 1},     {61, "PUT", 116, 1},    {61, "namex", 117, 1},
        {61, ")", -1, 0},       {62, "-", 118, 1},      {62, "namex", 119, -1},
        {65, "-", 124, 1},      {65, "+", 125, 1},      {65, "int", 125, 1},
        {100, "UNDO", 183, 1},  {100, "?", 184, 1},     {100, "CLEAR", 185, 1},
        {100, ";", 185, -1},    {100, "ALSO", 186, 1},  {100, "namex", 187, 1},
        {101, ";", 188, 1},     {101, "endjb", 189, 1}, {101, "namex", -1, 0},
        {98, "endjb", 181, -1}, {8, "-", 18, 1},        {51, "=", 95, 1},
        {51, "<>", 96, 1},      {46, "int", 87, -1},    {46, "*", 85, 1},
    };
    const NQGrammar& g = grammar();
    for (const Case& c : cases) {
        int t = terminal(c.t);
        EXPECT_EQ(predict(c.k, t), c.prod) << "N" << c.k << " on " << c.t;
        if (c.prod >= 0) {
            int v = g.prslst[g.prsndx[c.k] + t];
            EXPECT_EQ(v > 0 ? 1 : -1, c.sign) << "N" << c.k << " on " << c.t;
        }
    }
}

// Each non-zero slot of the packed vector is reachable from the row of its own production,
// through a terminal code in range: no entry is lost or shared between rows.
TEST(GrammarPrediction, PackedSlotsBelongToTheirRows) {
    const NQGrammar& g = grammar();
    int owned = 0;
    for (int i = 0; i < g.nprslst; ++i) {
        int v = g.prslst[i];
        if (v == 0) continue;
        int p = (v < 0 ? -v : v) - 1;
        ASSERT_LT(p, kProds);
        int k = g.lhstbl[p];
        int t = i - g.prsndx[k];
        ASSERT_TRUE(t >= 1 && t <= kTerms) << "slot " << i;
        EXPECT_EQ(predict(k, t), p);
        ++owned;
    }
    int predicted = 0;
    for (int k = 0; k < kNonterms; ++k)
        for (int t = 1; t <= kTerms; ++t) predicted += predict(k, t) >= 0;
    EXPECT_EQ(owned, predicted);
}

TEST(GrammarProductions, DecodeToTheListing) {
    struct Case {
        int prod;
        int lhs;
        const char* body;
    };
    const Case cases[] = {
        {0, 0, "N103 \"$$$\""},
        {4, 2, "ε"},
        {18, 8, "@PUSH @LIST(284) \"-\" N7 @ADD @GEN @ADD"},
        {28, 15, "\"-\" @PUSH(3) N16 @ADD(4)"},
        {39, 20,
         "@FUNC \"(\" N95 @ADD @TOKSP(0,4) \",\" N18 @PUSH(19) N17 @ADD(2) N15 @TOKSP(1,4) "
         "\")\" @GEN"},
        {84, 45, "@SPECIAL(666) \"<>\""},
        {120, 63, "@LIST(285) @SWAP @ADD \"**\" N65 @ADD N64 @GEN"},
        {190, 102, "@SPECIAL(14) @INIT N100 @TERM @SPECIAL(114)"},
        {191, 103, "N102 N101"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(grammar().lhstbl[c.prod], c.lhs) << "production " << c.prod;
        EXPECT_EQ(body_text(c.prod), c.body) << "production " << c.prod;
    }
}

TEST(GrammarActions, ArgumentListsAreSharedAndDecode) {
    const NQGrammar& g = grammar();
    int extent = 0;
    for (int e = 0; e < kActions; ++e) {
        EXPECT_TRUE(g.actmap[e] >= 1 && g.actmap[e] <= 12) << "entry " << e;
        if (g.argndx[e] >= 0) extent = std::max(extent, g.argndx[e] + 1 + g.argtbl[g.argndx[e]]);
    }
    EXPECT_EQ(extent, 90);
    EXPECT_EQ(g.argndx[53], g.argndx[54] + 1);  // @ADD(4) lies inside @TOKSP(1,4)
    EXPECT_EQ(g.argndx[49], g.argndx[50]);      // @PUSH(3) and @ADD(3): one list
    const std::map<int, const char*> samples = {
        {0, "@SPECIAL(14)"}, {1, "@INIT"},     {8, "@ADD"},         {34, "@OP(270)"},
        {27, "@LIST(270)"},  {47, "@FUNC"},    {48, "@TOKSP(0,4)"}, {53, "@ADD(4)"},
        {54, "@TOKSP(1,4)"}, {55, "@PUSH(2)"},
    };
    for (const auto& [e, text] : samples) EXPECT_EQ(action_text(e), text) << "entry " << e;
}

TEST(GrammarRepair, CostsAndCheapestStrings) {
    const NQGrammar& g = grammar();
    for (int t = 1; t <= kTerms; ++t) {
        int want = t == kEnd ? 127 : 1;
        EXPECT_EQ(g.delcost[t - 1], want) << t;
        EXPECT_EQ(g.inscost[t - 1], want) << t;
    }
    EXPECT_EQ(g.inscost[g.firstnt - 1], 127);  // N0
    EXPECT_EQ(g.insndx[0], 0);
    EXPECT_EQ(g.instbl[0], 0);

    const std::map<int, const char*> examples = {
        {1, "namex"}, {5, "qs"},   {6, "int"}, {7, "int"},
        {8, "int"},   {11, "( )"}, {16, "L"},  {20, "( int , fmt )"},
    };
    for (const auto& [k, text] : examples)
        EXPECT_EQ(insertion_string(k), terminals_of(text)) << "N" << k;

    std::vector<bool> nullable = nullable_nonterminals();
    for (int k = 1; k < kNonterms; ++k) {
        std::vector<int> s = insertion_string(k);
        EXPECT_EQ(nullable[k], s.empty()) << "N" << k;
        EXPECT_EQ(int{g.inscost[g.firstnt - 1 + k]}, static_cast<int>(s.size())) << "N" << k;
        EXPECT_LT(g.insndx[k] + s.size(), static_cast<size_t>(g.ninstbl)) << "N" << k;
    }
}

TEST(GrammarClauses, AcceptedAndRejected) {
    struct Case {
        const char* tokens;
        bool ok;
    };
    const Case cases[] = {
        {";", true},
        {"CLEAR ;", true},
        {"UNDO endjb", true},
        {"namex ;", true},
        {"namex = int ;", true},
        {"namex > int AND namex < int AND namex IN ( int , int , int ) ;", true},
        {"- - namex > int ;", true},
        {"namex = - int ;", true},
        {"namex NOT = * qs ;", true},
        {"namex NOT < : qs ;", true},
        {"namex IN : ( qs qs ) ;", true},
        {"namex NOT IN ( - int nbr ) ;", true},
        {"namex ( ) ;", true},
        {"namex ( namex , int + int ) ;", true},
        {"namex OR namex | namex ! namex ;", true},
        {"namex + namex - namex * namex / namex ;", true},
        {"namex < namex <= namex NOT > namex ;", true},
        {"namex IS NOT MISSING ;", true},
        {"NOT namex = int ;", true},
        {"namex ** - namex ** namex ;", true},
        {"namex MIN$ namex MAX$ namex ;", true},
        {"namex BETWEEN int AND int & namex LIKE qs ;", true},
        {"namex CONTAINS qs AND namex ? qs ;", true},
        {"namex || qs !! qs ;", true},
        {"SAME AND namex = int ;", true},
        {"ALSO namex ;", true},
        {"PUT ( namex , ? fmt - L ) ;", true},
        {"INPUT ( namex , nbr ) ;", true},
        {"PUT ;", true},
        {"( ( namex ) ) ;", true},
        {"NOT NOT namex ;", false},
        {"namex = ;", false},
        {"( namex ;", false},
        {"namex ) ;", false},
        {"namex IN ( ) ;", false},
        {"namex IN ( qs int ) ;", false},
        {"compound ;", false},
        {"namex = int", false},
        {"PUT ( namex ) ;", false},
        {"namex IS int ;", false},
    };
    for (const Case& c : cases) EXPECT_EQ(run(c.tokens), c.ok) << c.tokens;
}

TEST(GrammarClauses, ActionsMetInOrder) {
    using V = std::vector<std::string>;
    struct Case {
        const char* tokens;
        V actions;
    };
    const Case cases[] = {
        {";", V{"@SPECIAL(14)", "@INIT", "@PUSH(18)", "@TERM", "@SPECIAL(114)"}},
        {"UNDO ;", V{"@SPECIAL(14)", "@INIT", "@PUSH(17)", "@TERM", "@SPECIAL(114)"}},
        {"? ;", V{"@SPECIAL(14)", "@INIT", "@PUSH(24)", "@TERM", "@SPECIAL(114)"}},
    };
    for (const Case& c : cases) {
        V got;
        ASSERT_TRUE(run(c.tokens, &got)) << c.tokens;
        EXPECT_EQ(got, c.actions) << c.tokens;
    }
}

}  // namespace
