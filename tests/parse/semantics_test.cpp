// The semantic actions one at a time on a hand-built instance: the leaves @PUSH builds from
// each token class, the stack moves of the other actions, the parse stack's growth and
// underflow, running out of arena, the trace and the messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "parse/parsestack.h"
#include "tests/parse/sem_harness.h"

namespace {

using semtest::Bench;
using semtest::render;

enum : int16_t { SPECIAL = 1, PUSH, OP, POP, INIT, TERM, LIST, ADD, GEN, SWAP, FUNC, TOKSP };
enum : int16_t { T_NAME = 2, T_QS = 3, T_INT = 4, T_NBR = 5, T_FMT = 7, T_MISSING = 11 };

uint64_t bits(double d) {
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

// A bench after @INIT, with the level above the tree's holder pushed, as a clause body
// finds it.
struct Stacked : Bench {
    Stacked() {
        EXPECT_EQ(act(INIT), 0);
        EXPECT_EQ(act(PUSH), 0);
    }
    // The leaf that the last @PUSH(kind) placed: argument 0 of the holder below.
    ZNode* leaf() { return inst.Get(&inst, holder(1), 0); }
};

TEST(PushNumber, ConvertsEachTokenClass) {
    struct Case {
        int16_t code;
        std::u32string text;
        uint64_t num;  // bit pattern
        uint32_t tag;
    };
    const Case cases[] = {
        {T_INT, U"42", bits(42.0), 0},
        // Only the first 31 characters count: a 32nd digit would make it 79.
        {T_INT,
         U"0000000000000000000000000000007"
         U"9",
         bits(7.0), 0},
        // 32-bit arithmetic wraps.
        {T_INT, U"4294967298", bits(2.0), 0},
        {T_INT, U"2147483648", bits(-2147483648.0), 0},
        {T_NBR, U"2.5", bits(2.5), 0},
        {T_NBR, U"0.000", bits(0.0), 0},
        {T_NBR, U"2.5.1", 0xFFFFFE0000000000ull, 0},  // read only in part
        {8, U"'01jan2020'd", bits(0.0), 1},
        {9, U"'10:00't", bits(0.0), 2},
        {10, U"'01jan2020:10:00'dt", bits(0.0), 3},
        {T_MISSING, U".", 0xFFFFFE0000000000ull, 0},
        {T_MISSING, U".A", 0xFFFFFD0000000000ull, 0},
        {T_MISSING, U".z", 0xFFFFE40000000000ull, 0},
        {T_MISSING, U"._", 0xFFFFFF0000000000ull, 0},
    };
    for (const Case& c : cases) {
        Stacked b;
        ASSERT_EQ(b.push(Z_LITN, c.code, c.text), 0);
        ZNode* n = b.leaf();
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->type, Z_LITN);
        EXPECT_EQ(n->vlen, -8);
        EXPECT_EQ(bits(n->u.litn.num), c.num) << semtest::utf8(c.text.data(), c.text.size());
        EXPECT_EQ(n->u.litn.tag, c.tag);
        EXPECT_EQ(b.ctx.error, 0);
    }
}

TEST(PushNumber, WithoutLocaleADecimalIsMissing) {
    Stacked b;
    b.ext.locale = nullptr;
    ASSERT_EQ(b.push(Z_LITN, T_NBR, U"2.5"), 0);
    EXPECT_EQ(bits(b.leaf()->u.litn.num), 0xFFFFFE0000000000ull);
}

TEST(PushNumber, TokenOfAnotherClassFlagsAnErrorButIsPlaced) {
    Stacked b;
    ASSERT_EQ(b.push(Z_LITN, T_QS, U"'5'"), 0);
    EXPECT_EQ(b.ctx.error, 1);
    ASSERT_NE(b.leaf(), nullptr);
    EXPECT_EQ(b.leaf()->type, Z_LITN);
    EXPECT_EQ(b.inst.prs.stki, 2);
}

TEST(PushString, ShortTextsStayInTheNodeLongerOnesGoToTheArena) {
    struct Case {
        int16_t kind;
        std::u32string token;
        std::string text;
        bool inline_buffer;
    };
    const Case cases[] = {
        {Z_LITC, U"'ab'", "ab", true},
        {Z_LITC, U"'it''s'", "it's", true},
        {Z_LITC, U"''", "", true},
        {Z_LITC, U"'123456789'", "123456789", true},     // 11 characters: the last inline
        {Z_LITC, U"'1234567890'", "1234567890", false},  // 12: an arena buffer
        {Z_LITC, U"'a''''b'", "a''b", true},
        {Z_LABL, U"'label text'", "label text", false},
        {Z_CMSG, U"\"m\"", "m", true},
    };
    for (const Case& c : cases) {
        Stacked b;
        const long before = b.allocations;
        ASSERT_EQ(b.push(c.kind, T_QS, c.token), 0);
        ZNode* n = b.leaf();
        EXPECT_EQ(n->type, c.kind);
        const int32_t bytes = static_cast<int32_t>(c.text.size()) * 4;
        EXPECT_EQ(n->vlen, bytes) << c.text;
        EXPECT_EQ(n->u.litc.slen, bytes);
        EXPECT_EQ(semtest::utf8(n->u.litc.str, n->u.litc.slen / 4), c.text);
        EXPECT_EQ(n->u.litc.str[n->u.litc.slen / 4], 0u) << "terminated";
        EXPECT_EQ(n->u.litc.str == n->u.litc.inl, c.inline_buffer) << c.text;
        // One allocation for the node, one more for a buffer, one for the pushed level.
        EXPECT_EQ(b.allocations - before, c.inline_buffer ? 2 : 3) << c.text;
    }
}

TEST(PushName, UpperCasedIntoTheEightBitName) {
    struct Case {
        std::u32string token;
        std::string name;
    };
    const Case cases[] = {
        {U"age", "AGE"},
        {U"straße",
         "STRA\xC3\x9F"
         "E"},  // ß has no one-to-one upper case
        {U"héllo", "H\xC3\x89LLO"},
        {std::u32string(32, U'x'), std::string(32, 'X')},
        // 16 two-byte characters fill the name exactly.
        {std::u32string(16, U'é'),
         [] {
             std::string s;
             for (int i = 0; i < 16; ++i) s += "\xC3\x89";
             return s;
         }()},
        // 11 three-byte characters: the eleventh no longer fits and is left out whole.
        {std::u32string(11, U'€'),
         [] {
             std::string s;
             for (int i = 0; i < 10; ++i) s += "\xE2\x82\xAC";
             return s;
         }()},
    };
    for (const Case& c : cases) {
        Stacked b;
        ASSERT_EQ(b.push(Z_NAME, T_NAME, c.token), 0);
        ZNode* n = b.leaf();
        EXPECT_EQ(std::string(n->u.nm.name, n->u.nm.namelen), c.name);
        EXPECT_EQ(b.ctx.error, 0);
    }
}

TEST(PushName, LongerThan32CharactersFlagsAnErrorAndStaysEmpty) {
    Stacked b;
    ASSERT_EQ(b.push(Z_NAME, T_NAME, std::u32string(33, U'x')), 0);
    EXPECT_EQ(b.ctx.error, 1);
    EXPECT_EQ(b.leaf()->type, Z_NAME);
    EXPECT_EQ(b.leaf()->u.nm.namelen, 0);
}

TEST(PushName, GoesThroughTheTranscoderWhenThereIsOne) {
    Stacked b;
    b.ext.xcoder = &b.xcoder;
    ASSERT_EQ(b.push(Z_FNAM, T_NAME, U"sum"), 0);
    ASSERT_EQ(b.transcodes.size(), 1u);
    EXPECT_EQ(b.transcodes[0].srcbytes, 12);
    EXPECT_EQ(b.transcodes[0].capacity, 32);
    EXPECT_EQ(b.transcodes[0].src, U"SUM");  // upper-cased before it is transcoded
    EXPECT_EQ(b.leaf()->type, Z_FNAM);
    EXPECT_EQ(std::string(b.leaf()->u.nm.name, b.leaf()->u.nm.namelen), "SUM");
}

TEST(PushLeaf, PlainKindsFormatsAndTags) {
    for (int16_t kind : {Z_UNDO, Z_CLR, Z_SAY, Z_NULL, Z_STAR, Z_USER, Z_BYNM, Z_CMTN, Z_CMTU}) {
        Stacked b;
        ASSERT_EQ(b.push(kind, T_NAME, U"x"), 0) << kind;
        EXPECT_EQ(b.leaf()->type, kind);
        EXPECT_EQ(b.ctx.error, 0);
    }
    Stacked f;
    ASSERT_EQ(f.push(Z_FMT, T_FMT, U"best12."), 0);
    EXPECT_EQ(f.ctx.error, 1) << "PUT and INPUT are refused through the format leaf";
    EXPECT_EQ(f.leaf()->type, Z_FMT);

    Stacked j;
    ASSERT_EQ(j.act(PUSH, {Z_JTAG, 77}, j.token(T_NAME, U"x")), 0);
    EXPECT_EQ(j.leaf()->type, Z_JTAG);
    EXPECT_EQ(j.leaf()->u.jtag.ival, 77);
}

TEST(PushLeaf, UnknownKindIsReportedAndBuildsNothing) {
    Stacked b;
    const int32_t stki = b.inst.prs.stki;
    EXPECT_EQ(b.push(Z_SUBQ, T_NAME, U"x"), 1);
    EXPECT_EQ(b.inst.prs.stki, stki);
    EXPECT_EQ(b.holder()->u.op.nargs, 0);
    ASSERT_EQ(b.messages.size(), 1u);
    EXPECT_EQ(b.messages[0].level, 4);
    EXPECT_EQ(b.messages[0].text, "ZORVSemantics: push what (12)?");
}

TEST(Operators, OpTypesTheLevelAndTheColonRaisesTheComparisonBelow) {
    Stacked b;
    ASSERT_EQ(b.act(OP, {Z_AMUL}), 0);
    EXPECT_EQ(b.holder()->type, Z_AMUL);
    ASSERT_EQ(b.act(LIST, {Z_CLT}), 0);  // the comparison level, then the level above it
    ASSERT_EQ(b.act(OP, {Z_CTEQ}), 0);
    EXPECT_EQ(b.holder(1)->type, Z_CTLT);
    EXPECT_EQ(b.holder()->type, Z_NULL);
}

// @POP folds an operator level into the operand below; NULL operands are left out.
TEST(Operators, PopBuildsTheNodeFromBothOperands) {
    struct Case {
        bool left, right;
        const char* tree;
    };
    const Case cases[] = {{true, true, "ASUB(NAME A,NAME B)"},
                          {false, true, "ASUB(NAME B)"},
                          {true, false, "ASUB(NAME A)"}};
    for (const Case& c : cases) {
        Stacked b;
        ASSERT_EQ(b.push(c.left ? Z_NAME : Z_NULL, T_NAME, U"a"), 0);
        ASSERT_EQ(b.act(ADD), 0);  // operand into the tree's holder
        ASSERT_EQ(b.act(OP, {Z_ASUB}), 0);
        ASSERT_EQ(b.act(PUSH), 0);
        ASSERT_EQ(b.push(c.right ? Z_NAME : Z_NULL, T_NAME, U"b"), 0);
        ASSERT_EQ(b.act(ADD), 0);
        ASSERT_EQ(b.act(POP), 0);
        EXPECT_EQ(b.inst.prs.stki, 1);
        EXPECT_EQ(render(&b.inst, b.inst.Get(&b.inst, b.holder(1), 0)), c.tree);
        EXPECT_EQ(b.holder()->type, Z_NULL) << "the pushed level starts clear";
    }
}

TEST(Lists, PendingNotNegatesEveryPredicateAndComparison) {
    const int pairs[][2] = {{Z_IN, Z_NIN},    {Z_BETW, Z_NBTW}, {Z_LIKE, Z_NLKE}, {Z_CONT, Z_NCON},
                            {Z_ISNL, Z_NTNL}, {Z_TIN, Z_TNIN},  {Z_SDX, Z_NSDX},  {Z_CEQ, Z_CNE},
                            {Z_CLT, Z_CGE},   {Z_CLE, Z_CGT},   {Z_CTEQ, Z_CTNE}, {Z_CTLT, Z_CTGE},
                            {Z_CTLE, Z_CTGT}};
    for (const auto& p : pairs) {
        EXPECT_EQ(yowsnot(p[0]), p[1]);
        EXPECT_EQ(yowsnot(p[1]), p[0]);
        Stacked b;
        ASSERT_EQ(b.act(OP, {Z_INOT}), 0);
        ASSERT_EQ(b.act(LIST, {static_cast<int16_t>(p[0])}), 0);
        EXPECT_EQ(b.holder(1)->type, p[1]);
    }
    for (int code : {0, 240, 253, 254, 257, 266, 269, 276, 221, 284})
        EXPECT_EQ(yowsnot(code), -1) << code;
}

TEST(Lists, RepeatedUnaryMinusFoldsIntoTheLevelBelow) {
    Stacked b;
    ASSERT_EQ(b.act(LIST, {Z_ANEG}), 0);
    const int32_t stki = b.inst.prs.stki;
    ASSERT_EQ(b.act(LIST, {Z_ANEG}), 0);
    EXPECT_EQ(b.holder(1)->type, Z_APOS);
    EXPECT_EQ(b.inst.prs.stki, stki) << "a fold pushes nothing";
    ASSERT_EQ(b.act(LIST, {Z_ANEG}), 0);
    EXPECT_EQ(b.holder(1)->type, Z_ANEG);
    ASSERT_EQ(b.act(LIST, {Z_LNOT}), 0);
    EXPECT_EQ(b.holder(1)->type, Z_LNOT);
    EXPECT_EQ(b.inst.prs.stki, stki + 1);
}

TEST(Lists, AddAppendsOrStoresAtAPositionAndGenMakesTheNode) {
    Stacked b;
    ASSERT_EQ(b.act(LIST, {Z_SET}), 0);
    for (const char32_t* t : {U"1", U"2"}) {
        ASSERT_EQ(b.push(Z_LITN, T_INT, t), 0);
        ASSERT_EQ(b.act(ADD), 0);
    }
    ASSERT_EQ(b.push(Z_LITN, T_INT, U"9"), 0);
    ASSERT_EQ(b.act(ADD, {4}), 0);
    ZNode* set = b.holder(1);
    EXPECT_EQ(render(&b.inst, set), "SET(LITN 1,LITN 2,-,-,LITN 9)");
    ASSERT_EQ(b.act(GEN), 0);
    ZNode* wrapper = b.holder(1);
    EXPECT_NE(wrapper, set) << "the finished holder leaves the stack";
    EXPECT_EQ(wrapper->type, Z_NULL);
    EXPECT_EQ(wrapper->u.op.nargs, 1);
    EXPECT_EQ(b.inst.Get(&b.inst, wrapper, 0), set);
    // Reusing the level clears the wrapper, never the tree node.
    ASSERT_EQ(b.act(ADD), 0);
    ASSERT_EQ(b.act(PUSH), 0);
    EXPECT_EQ(render(&b.inst, set), "SET(LITN 1,LITN 2,-,-,LITN 9)");
    EXPECT_EQ(b.inst.Get(&b.inst, b.holder(2), 0), set);
}

TEST(Lists, AddBeyondFifteenArgumentsUsesOverflowBlocks) {
    Stacked b;
    ASSERT_EQ(b.act(LIST, {Z_SET}), 0);
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(b.push(Z_LITN, T_INT, std::u32string(1, U'0' + i % 10)), 0);
        ASSERT_EQ(b.act(ADD), 0);
    }
    ZNode* set = b.holder(1);
    EXPECT_EQ(set->u.op.nargs, 20);
    EXPECT_EQ(b.inst.Get(&b.inst, set, 19)->u.litn.num, 9.0);
}

TEST(Lists, SwapExchangesTheTwoHoldersBelow) {
    Stacked b;
    ASSERT_EQ(b.act(PUSH), 0);
    ASSERT_EQ(b.act(PUSH), 0);
    ZNode* below = b.holder(1);
    ZNode* below2 = b.holder(2);
    ZNode* current = b.holder();
    ASSERT_EQ(b.act(SWAP), 0);
    EXPECT_EQ(b.holder(1), below2);
    EXPECT_EQ(b.holder(2), below);
    EXPECT_EQ(b.holder(), current);
}

TEST(Lists, FuncTurnsTheNameIntoACall) {
    Stacked b;
    ASSERT_EQ(b.act(OP, {Z_CEQ}), 0);  // a pending operator on the name's level
    ASSERT_EQ(b.push(Z_NAME, T_NAME, U"f"), 0);
    ZNode* named = b.holder(1);
    ZNode* above = b.holder();
    ASSERT_EQ(b.act(FUNC), 0);
    EXPECT_EQ(b.holder(1), named);
    EXPECT_EQ(b.holder(2), above);
    EXPECT_EQ(above->type, Z_CEQ) << "the pending operator moves down";
    EXPECT_EQ(render(&b.inst, named), "FLST(FNAM F)");
}

TEST(Term, StoresTheTreeOrReportsALeftoverStack) {
    Stacked b;
    ASSERT_EQ(b.act(TERM), 0);
    EXPECT_EQ(b.inst.root, nullptr) << "nothing was placed in the tree's holder";
    EXPECT_TRUE(b.messages.empty());

    Stacked c;
    ASSERT_EQ(c.push(Z_CLR, T_NAME, U"x"), 0);
    ASSERT_EQ(c.act(TERM), 0);
    EXPECT_EQ(c.inst.root, nullptr);
    ASSERT_EQ(c.messages.size(), 1u);
    EXPECT_EQ(c.messages[0].level, 4);
    EXPECT_EQ(c.messages[0].text, "yowsem: (term) parse stack not empty, stacki=2");

    Bench d;
    ASSERT_EQ(d.act(INIT), 0);
    ASSERT_EQ(d.push(Z_UNDO, 67, U"UNDO"), 0);
    ASSERT_EQ(d.act(TERM), 0);
    ASSERT_NE(d.inst.root, nullptr);
    EXPECT_EQ(d.inst.root->type, Z_UNDO);
    EXPECT_EQ(d.inst.prs.stki, 0);
}

TEST(ParseStack, GrowsByThirtyKeepingTheHolders) {
    Bench b;
    ASSERT_EQ(b.act(INIT), 0);
    EXPECT_EQ(b.inst.prs.stkcap, 30);
    for (int i = 1; i < 30; ++i) ASSERT_EQ(yowspsh(b.prs()), 0);
    ZNode* first[30];
    for (int i = 0; i < 30; ++i) first[i] = b.inst.prs.stk[i];
    ZNode** old = b.inst.prs.stk;
    ASSERT_EQ(yowspsh(b.prs()), 0);  // the 31st level
    EXPECT_EQ(b.inst.prs.stkcap, 60);
    EXPECT_NE(b.inst.prs.stk, old);
    EXPECT_EQ(b.inst.prs.stki, 30);
    EXPECT_EQ(b.inst.prs.stktop, b.inst.prs.stk + 30);
    for (int i = 0; i < 30; ++i) EXPECT_EQ(b.inst.prs.stk[i], first[i]) << i;
    ASSERT_NE(b.inst.prs.stk[30], nullptr);
    EXPECT_EQ(b.inst.prs.stk[30]->type, Z_NULL);
    for (int i = 31; i < 60; ++i) EXPECT_EQ(b.inst.prs.stk[i], nullptr) << i;
}

TEST(ParseStack, ReusedHoldersAreClearedAndInitKeepsTheArray) {
    Bench b;
    ASSERT_EQ(b.act(INIT), 0);
    ASSERT_EQ(b.act(PUSH), 0);
    ZNode* h = b.holder();
    h->type = Z_LAND;
    h->u.op.nargs = 3;
    yowspop(b.prs());
    ASSERT_EQ(b.act(PUSH), 0);
    EXPECT_EQ(b.holder(), h);
    EXPECT_EQ(h->type, Z_NULL);
    EXPECT_EQ(h->u.op.nargs, 0);
    ZNode** stk = b.inst.prs.stk;
    ASSERT_EQ(b.act(INIT), 0);
    EXPECT_EQ(b.inst.prs.stk, stk);
    EXPECT_EQ(b.inst.prs.stki, 0);
    EXPECT_EQ(b.inst.prs.stktop, stk);
}

TEST(ParseStack, PopBelowLevelZeroIsReported) {
    Bench b;
    ASSERT_EQ(b.act(INIT), 0);
    ZNode* bottom = b.holder();
    EXPECT_EQ(yowspop(b.prs()), bottom);
    EXPECT_EQ(b.inst.prs.stki, -1);
    EXPECT_EQ(b.inst.prs.stktop, b.inst.prs.stk) << "the current slot stays";
    ASSERT_EQ(b.messages.size(), 1u);
    EXPECT_EQ(b.messages[0].level, 4);
    EXPECT_EQ(b.messages[0].text, "BUG: underflow yow stack");
}

// Each step that takes arena memory answers 6 when there is none left.
TEST(OutOfMemory, ActionsAnswerSix) {
    {
        Bench b;
        b.budget = 0;
        EXPECT_EQ(b.act(INIT), 6);
    }
    {
        Stacked b;
        b.budget = 1;  // the node, but no buffer for a long string
        EXPECT_EQ(b.push(Z_LITC, T_QS, U"'a long string'"), 6);
    }
    {
        Stacked b;
        b.budget = 0;
        EXPECT_EQ(b.push(Z_NAME, T_NAME, U"x"), 6);
        EXPECT_EQ(b.act(GEN), 6);
    }
    {
        Bench b;
        ASSERT_EQ(b.act(INIT), 0);
        for (int i = 1; i < 30; ++i) ASSERT_EQ(b.act(PUSH), 0);
        b.budget = 0;
        EXPECT_EQ(b.act(PUSH), 6);  // the array cannot grow
        EXPECT_EQ(b.inst.prs.stkcap, 30);
        EXPECT_EQ(yowspsh(b.prs()), 1);
    }
}

TEST(Trace, EveryActionIsTracedBeforeItActs) {
    Bench b;
    b.ctx.trace = 1;
    ASSERT_EQ(b.act(INIT), 0);
    const NQToken* tok = b.token(T_INT, U"42");
    ASSERT_EQ(b.act(PUSH, {Z_LITN}, tok), 0);
    ASSERT_EQ(b.act(TOKSP, {0, 4}), 0);
    ASSERT_EQ(b.act(99, {}, tok), 0);
    ASSERT_EQ(b.act(PUSH, {Z_SUBQ}, tok), 1);
    ASSERT_EQ(b.messages.size(), 7u);
    for (size_t i : {0u, 1u, 2u, 3u, 5u}) EXPECT_EQ(b.messages[i].level, 1) << i;

    char addr[32];
    std::snprintf(addr, sizeof addr, "%p", static_cast<const void*>(tok->text));
    EXPECT_EQ(b.messages[1].text,
              std::string("sem: @PUSH narg= 1 arg=  2 word=2,") + addr + " '42'");
    EXPECT_EQ(b.messages[0].text.rfind("sem: @INIT narg= 0 arg=  0 word=0,", 0), 0u);
    EXPECT_EQ(b.messages[2].text.rfind("sem: @TOKSP narg= 2 arg=  0 ", 0), 0u);
    // An unknown code is traced first, then reported.
    EXPECT_EQ(b.messages[3].text.rfind("sem: ", 0), 0u);
    EXPECT_EQ(b.messages[4].level, 4);
    EXPECT_EQ(b.messages[4].text, "YOWSEM: unknown semantic action 99.");
    EXPECT_EQ(b.messages[5].text.rfind("sem: @PUSH narg= 1 arg= 12 ", 0), 0u);
    EXPECT_EQ(b.messages[6].text, "ZORVSemantics: push what (12)?");
}

}  // namespace
