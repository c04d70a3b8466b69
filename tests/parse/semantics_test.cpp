// The semantic actions one at a time on a real instance: the leaves @PUSH builds from each
// token class, the stack moves of the other actions, the parse stack's growth and
// underflow, running out of arena, the trace and the messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

#include "frame/arena.h"
#include "parse/grammar_codes.h"
#include "parse/parse.h"
#include "parse/parsestack.h"
#include "tests/parse/parse_fixture.h"

namespace {

using ztest::render;

using namespace where;  // the grammar's action and terminal codes

uint64_t bits(double d) {
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

// Calls ZORVSemantics directly with action records and tokens made here, on an instance of
// the library; its messages go to the fixture's capturing journal.
class Actions : public parsetest::Parser {
  protected:
    void SetUp() override {
        Parser::SetUp();
        ASSERT_NE(open(), nullptr);
        ctx_.user = &inst_->prs;
    }

    // A clean instance after @INIT, with the level above the tree's holder pushed, as a
    // clause body finds it.
    void stacked() {
        clean();
        ASSERT_EQ(act(A_INIT), 0);
        ASSERT_EQ(act(A_PUSH), 0);
    }
    void clean() {
        inst_->Reset(inst_);
        ctx_.error = 0;
        zhost_journal_clear(jnl_);
    }

    NQStatus act(int16_t code, std::vector<int16_t> args = {}, const NQToken* tok = nullptr) {
        NQAction a{};
        a.code = code;
        a.nargs = static_cast<int16_t>(args.size());
        for (size_t i = 0; i < args.size(); ++i) a.args[i] = args[i];
        if (tok == nullptr) tok = token(kEnd, U"");
        return ZORVSemantics(&ctx_, const_cast<NQToken*>(tok), &a);
    }
    // @PUSH(kind) of a token.
    NQStatus push(int16_t kind, int16_t code, const std::u32string& text) {
        return act(A_PUSH, {kind}, token(code, text));
    }
    const NQToken* token(int16_t code, const std::u32string& text) {
        const std::u32string& kept = texts_.emplace_back(text);
        NQToken& t = tokens_.emplace_back();
        t.code = code;
        t.length = static_cast<int32_t>(kept.size());
        t.text = kept.data();
        return &t;
    }

    ZParse* prs() { return &inst_->prs; }
    ZNode* holder(int d = 0) { return prs()->stk[prs()->stki - d]; }
    // The leaf that the last @PUSH(kind) placed: argument 0 of the holder below.
    ZNode* leaf() { return inst_->Get(inst_, holder(1), 0); }

    // Leaves `keep` bytes in the arena's current block and makes the pool refuse the next
    // block, so that the allocation past those bytes fails.
    void starve(int32_t keep) {
        inst_->arenafree = keep;
        zhost_fail_pool_allocation(inst_->pool, 1);
    }
    void TearDown() override {
        if (inst_) zhost_fail_pool_allocation(inst_->pool, 0);
        Parser::TearDown();
    }

    struct Message {
        int level;
        std::string text;
    };
    std::vector<Message> journal() const {
        std::vector<Message> out;
        for (size_t i = 0; i < zhost_journal_count(jnl_); ++i)
            out.push_back({zhost_journal_level(jnl_, i), zhost_journal_text(jnl_, i)});
        return out;
    }

    NQParseContext ctx_{};
    std::deque<std::u32string> texts_;
    std::deque<NQToken> tokens_;
};

TEST_F(Actions, PushNumberConvertsEachTokenClass) {
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
        {T_NBR, U"2.5e2", bits(250.0), 0},
        {T_NBR, U".5", bits(0.5), 0},
        {T_NBR, U"0.000", bits(0.0), 0},
        {T_NBR, U"2.5.1", 0xFFFFFE0000000000ull, 0},  // read only in part
        {T_DATE, U"'01jan2020'd", bits(0.0), 1},
        {T_TIME, U"'10:00't", bits(0.0), 2},
        {T_DATETIME, U"'01jan2020:10:00'dt", bits(0.0), 3},
        {T_MISSING, U".", 0xFFFFFE0000000000ull, 0},
        {T_MISSING, U".A", 0xFFFFFD0000000000ull, 0},
        {T_MISSING, U".z", 0xFFFFE40000000000ull, 0},
        {T_MISSING, U"._", 0xFFFFFF0000000000ull, 0},
    };
    for (const Case& c : cases) {
        stacked();
        const std::string text = ztest::utf8(c.text.data(), static_cast<long>(c.text.size()));
        ASSERT_EQ(push(Z_LITN, c.code, c.text), 0) << text;
        ZNode* n = leaf();
        ASSERT_NE(n, nullptr);
        EXPECT_EQ(n->type, Z_LITN);
        EXPECT_EQ(n->vlen, -8);
        EXPECT_EQ(bits(n->u.litn.num), c.num) << text;
        EXPECT_EQ(n->u.litn.tag, c.tag) << text;
        EXPECT_EQ(ctx_.error, 0) << text;
    }
}

TEST_F(Actions, PushNumberWithoutLocaleReadsADecimalAsMissing) {
    stacked();
    NQLocale* locale = inst_->ext->locale;
    inst_->ext->locale = nullptr;
    const NQStatus st = push(Z_LITN, T_NBR, U"2.5");
    inst_->ext->locale = locale;
    ASSERT_EQ(st, 0);
    EXPECT_EQ(bits(leaf()->u.litn.num), 0xFFFFFE0000000000ull);
}

TEST_F(Actions, PushNumberOfAnotherTokenClassFlagsAnErrorButIsPlaced) {
    stacked();
    ASSERT_EQ(push(Z_LITN, T_QS, U"'5'"), 0);
    EXPECT_EQ(ctx_.error, 1);
    ASSERT_NE(leaf(), nullptr);
    EXPECT_EQ(leaf()->type, Z_LITN);
    EXPECT_EQ(prs()->stki, 2);
}

TEST_F(Actions, PushStringKeepsShortTextsInTheNode) {
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
        stacked();
        ASSERT_EQ(push(c.kind, T_QS, c.token), 0);
        ZNode* n = leaf();
        EXPECT_EQ(n->type, c.kind);
        const int32_t bytes = static_cast<int32_t>(c.text.size()) * 4;
        EXPECT_EQ(n->vlen, bytes) << c.text;
        EXPECT_EQ(n->u.litc.slen, bytes);
        EXPECT_EQ(ztest::utf8(n->u.litc.str, n->u.litc.slen / 4), c.text);
        EXPECT_EQ(n->u.litc.str[n->u.litc.slen / 4], 0u) << "terminated";
        EXPECT_EQ(n->u.litc.str == n->u.litc.inl, c.inline_buffer) << c.text;
    }
}

TEST_F(Actions, PushNameUpperCasesIntoTheEightBitName) {
    const std::string e16 = [] {
        std::string s;
        for (int i = 0; i < 16; ++i) s += "\xC3\x89";
        return s;
    }();
    const std::string euro10 = [] {
        std::string s;
        for (int i = 0; i < 10; ++i) s += "\xE2\x82\xAC";
        return s;
    }();
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
        {std::u32string(16, U'é'), e16},  // 16 two-byte characters fill the name exactly
        // 11 three-byte characters: the eleventh no longer fits and is left out whole.
        {std::u32string(11, U'€'), euro10},
    };
    // The host's transcoder, and the library's own encoding where the host needs none, make
    // the same names and cut them alike.
    NQTranscoder* const xcoder = ext()->xcoder;
    ASSERT_NE(xcoder, nullptr);
    for (NQTranscoder* with : {xcoder, static_cast<NQTranscoder*>(nullptr)}) {
        ext()->xcoder = with;
        for (const Case& c : cases) {
            SCOPED_TRACE(with ? "transcoded" : "encoded");
            stacked();
            ASSERT_EQ(push(Z_NAME, T_NAMEX, c.token), 0);
            ZNode* n = leaf();
            EXPECT_EQ(std::string(n->u.nm.name, n->u.nm.namelen), c.name);
            EXPECT_EQ(ctx_.error, 0);
        }
    }
    ext()->xcoder = xcoder;
}

TEST_F(Actions, PushNameLongerThan32CharactersFlagsAnErrorAndStaysEmpty) {
    stacked();
    ASSERT_EQ(push(Z_NAME, T_NAMEX, std::u32string(33, U'x')), 0);
    EXPECT_EQ(ctx_.error, 1);
    EXPECT_EQ(leaf()->type, Z_NAME);
    EXPECT_EQ(leaf()->u.nm.namelen, 0);
}

TEST_F(Actions, PushLeafOfPlainKindsFormatsAndTags) {
    for (int16_t kind : {Z_UNDO, Z_CLR, Z_SAY, Z_NULL, Z_STAR, Z_USER, Z_BYNM, Z_CMTN, Z_CMTU}) {
        stacked();
        ASSERT_EQ(push(kind, T_NAMEX, U"x"), 0) << kind;
        EXPECT_EQ(leaf()->type, kind);
        EXPECT_EQ(ctx_.error, 0);
    }
    stacked();
    ASSERT_EQ(push(Z_FMT, T_FMT, U"best12."), 0);
    EXPECT_EQ(ctx_.error, 1) << "PUT and INPUT are refused through the format leaf";
    EXPECT_EQ(leaf()->type, Z_FMT);

    stacked();
    ASSERT_EQ(act(A_PUSH, {Z_JTAG, 77}, token(T_NAMEX, U"x")), 0);
    EXPECT_EQ(leaf()->type, Z_JTAG);
    EXPECT_EQ(leaf()->u.jtag.ival, 77);
}

TEST_F(Actions, PushLeafOfUnknownKindIsReportedAndBuildsNothing) {
    stacked();
    const int32_t stki = prs()->stki;
    EXPECT_EQ(push(Z_SUBQ, T_NAMEX, U"x"), 1);
    EXPECT_EQ(prs()->stki, stki);
    EXPECT_EQ(holder()->u.op.nargs, 0);
    EXPECT_EQ(messages(NQ_LEVEL_ERROR), std::vector<std::string>{"ZORVSemantics: push what (12)?"});
}

TEST_F(Actions, OpTypesTheLevelAndTheColonRaisesTheComparisonBelow) {
    stacked();
    ASSERT_EQ(act(A_OP, {Z_AMUL}), 0);
    EXPECT_EQ(holder()->type, Z_AMUL);
    ASSERT_EQ(act(A_LIST, {Z_CLT}), 0);  // the comparison level, then the level above it
    ASSERT_EQ(act(A_OP, {Z_CTEQ}), 0);
    EXPECT_EQ(holder(1)->type, Z_CTLT);
    EXPECT_EQ(holder()->type, Z_NULL);
}

// @POP folds an operator level into the operand below; NULL operands are left out.
TEST_F(Actions, PopBuildsTheNodeFromBothOperands) {
    struct Case {
        bool left, right;
        const char* tree;
    };
    const Case cases[] = {{true, true, "ASUB(NAME A,NAME B)"},
                          {false, true, "ASUB(NAME B)"},
                          {true, false, "ASUB(NAME A)"}};
    for (const Case& c : cases) {
        stacked();
        ASSERT_EQ(push(c.left ? Z_NAME : Z_NULL, T_NAMEX, U"a"), 0);
        ASSERT_EQ(act(A_ADD), 0);  // operand into the tree's holder
        ASSERT_EQ(act(A_OP, {Z_ASUB}), 0);
        ASSERT_EQ(act(A_PUSH), 0);
        ASSERT_EQ(push(c.right ? Z_NAME : Z_NULL, T_NAMEX, U"b"), 0);
        ASSERT_EQ(act(A_ADD), 0);
        ASSERT_EQ(act(A_POP), 0);
        EXPECT_EQ(prs()->stki, 1);
        EXPECT_EQ(render(inst_->Get(inst_, holder(1), 0)), c.tree);
        EXPECT_EQ(holder()->type, Z_NULL) << "the pushed level starts clear";
    }
}

TEST_F(Actions, ListUnderAPendingNotNegatesEveryPredicateAndComparison) {
    const int pairs[][2] = {{Z_IN, Z_NIN},    {Z_BETW, Z_NBTW}, {Z_LIKE, Z_NLKE}, {Z_CONT, Z_NCON},
                            {Z_ISNL, Z_NTNL}, {Z_TIN, Z_TNIN},  {Z_SDX, Z_NSDX},  {Z_CEQ, Z_CNE},
                            {Z_CLT, Z_CGE},   {Z_CLE, Z_CGT},   {Z_CTEQ, Z_CTNE}, {Z_CTLT, Z_CTGE},
                            {Z_CTLE, Z_CTGT}};
    for (const auto& p : pairs) {
        for (int k = 0; k < 2; ++k) {
            stacked();
            ASSERT_EQ(act(A_OP, {Z_INOT}), 0);
            ASSERT_EQ(act(A_LIST, {static_cast<int16_t>(p[k])}), 0);
            EXPECT_EQ(holder(1)->type, p[1 - k]) << p[k];
        }
    }
}

TEST_F(Actions, AddAppendsOrStoresAtAPositionAndGenMakesTheNode) {
    stacked();
    ASSERT_EQ(act(A_LIST, {Z_SET}), 0);
    for (const char32_t* t : {U"1", U"2"}) {
        ASSERT_EQ(push(Z_LITN, T_INT, t), 0);
        ASSERT_EQ(act(A_ADD), 0);
    }
    ASSERT_EQ(push(Z_LITN, T_INT, U"9"), 0);
    ASSERT_EQ(act(A_ADD, {4}), 0);
    ZNode* set = holder(1);
    EXPECT_EQ(render(set), "SET(LITN 1,LITN 2,-,-,LITN 9)");
    ASSERT_EQ(act(A_GEN), 0);
    ZNode* wrapper = holder(1);
    EXPECT_NE(wrapper, set) << "the finished holder leaves the stack";
    EXPECT_EQ(render(wrapper), "NULL(SET(LITN 1,LITN 2,-,-,LITN 9))");
    EXPECT_EQ(inst_->Get(inst_, wrapper, 0), set);
    // Reusing the level clears the wrapper, never the tree node.
    ASSERT_EQ(act(A_ADD), 0);
    ASSERT_EQ(act(A_PUSH), 0);
    EXPECT_EQ(render(set), "SET(LITN 1,LITN 2,-,-,LITN 9)");
    EXPECT_EQ(inst_->Get(inst_, holder(2), 0), set);
}

TEST_F(Actions, FuncTurnsTheNameIntoACall) {
    stacked();
    ASSERT_EQ(act(A_OP, {Z_CEQ}), 0);  // a pending operator on the name's level
    ASSERT_EQ(push(Z_NAME, T_NAMEX, U"f"), 0);
    ZNode* named = holder(1);
    ZNode* above = holder();
    ASSERT_EQ(act(A_FUNC), 0);
    EXPECT_EQ(holder(1), named);
    EXPECT_EQ(holder(2), above);
    EXPECT_EQ(above->type, Z_CEQ) << "the pending operator moves down";
    EXPECT_EQ(render(named), "FLST(FNAM F)");
}

TEST_F(Actions, TermStoresTheTreeOrReportsALeftoverStack) {
    stacked();
    ASSERT_EQ(act(A_TERM), 0);
    EXPECT_EQ(inst_->root, nullptr) << "nothing was placed in the tree's holder";
    EXPECT_EQ(journal().size(), 0u);

    stacked();
    ASSERT_EQ(push(Z_CLR, T_NAMEX, U"x"), 0);
    ASSERT_EQ(act(A_TERM), 0);
    EXPECT_EQ(inst_->root, nullptr);
    EXPECT_EQ(messages(NQ_LEVEL_ERROR),
              std::vector<std::string>{"yowsem: (term) parse stack not empty, stacki=2"});

    clean();
    ASSERT_EQ(act(A_INIT), 0);
    ASSERT_EQ(push(Z_UNDO, K_UNDO, U"UNDO"), 0);
    ASSERT_EQ(act(A_TERM), 0);
    ASSERT_NE(inst_->root, nullptr);
    EXPECT_EQ(inst_->root->type, Z_UNDO);
    EXPECT_EQ(prs()->stki, 0);
}

TEST_F(Actions, StackGrowsByThirtyKeepingTheHolders) {
    clean();
    ASSERT_EQ(act(A_INIT), 0);
    EXPECT_EQ(prs()->stkcap, kStackStep);
    for (int i = 1; i < kStackStep; ++i) ASSERT_EQ(yowspsh(prs()), 0);
    std::vector<ZNode*> first(prs()->stk, prs()->stk + kStackStep);
    ASSERT_EQ(yowspsh(prs()), 0);  // one level more than the array holds
    EXPECT_EQ(prs()->stkcap, 2 * kStackStep);
    EXPECT_EQ(prs()->stki, kStackStep);
    EXPECT_EQ(prs()->stktop, prs()->stk + kStackStep);
    EXPECT_EQ(std::vector<ZNode*>(prs()->stk, prs()->stk + kStackStep), first);
    ASSERT_NE(prs()->stk[kStackStep], nullptr);
    EXPECT_EQ(prs()->stk[kStackStep]->type, Z_NULL);
    for (int i = kStackStep + 1; i < 2 * kStackStep; ++i) EXPECT_EQ(prs()->stk[i], nullptr) << i;
}

TEST_F(Actions, ReusedHoldersAreClearedAndInitKeepsTheArray) {
    clean();
    ASSERT_EQ(act(A_INIT), 0);
    ASSERT_EQ(act(A_PUSH), 0);
    ZNode* h = holder();
    h->type = Z_LAND;
    h->u.op.nargs = 3;
    yowspop(prs());
    ASSERT_EQ(act(A_PUSH), 0);
    EXPECT_EQ(holder(), h);
    EXPECT_EQ(h->type, Z_NULL);
    EXPECT_EQ(h->u.op.nargs, 0);
    ZNode** stk = prs()->stk;
    ASSERT_EQ(act(A_INIT), 0);
    EXPECT_EQ(prs()->stk, stk);
    EXPECT_EQ(prs()->stki, 0);
    EXPECT_EQ(prs()->stktop, stk);
}

TEST_F(Actions, PopBelowLevelZeroIsReported) {
    clean();
    ASSERT_EQ(act(A_INIT), 0);
    ZNode* bottom = holder();
    EXPECT_EQ(yowspop(prs()), bottom);
    EXPECT_EQ(prs()->stki, -1);
    EXPECT_EQ(prs()->stktop, prs()->stk) << "the current slot stays";
    EXPECT_EQ(messages(NQ_LEVEL_ERROR), std::vector<std::string>{"BUG: underflow yow stack"});
}

// Each step that takes arena memory answers 6 when the pool refuses the block it needs.
TEST_F(Actions, ActionsAnswerSixWhenTheArenaCannotGrow) {
    clean();
    starve(0);
    EXPECT_EQ(act(A_INIT), 6);

    stacked();
    starve(static_cast<int32_t>(zarena::rounded(sizeof(ZNode))));  // the node, not the buffer
    EXPECT_EQ(push(Z_LITC, T_QS, U"'a long string'"), 6);
    EXPECT_EQ(inst_->arenafree, 0) << "the node took what was left";

    stacked();
    starve(0);
    EXPECT_EQ(push(Z_NAME, T_NAMEX, U"x"), 6);
    starve(0);
    EXPECT_EQ(act(A_GEN), 6);

    clean();
    ASSERT_EQ(act(A_INIT), 0);
    for (int i = 1; i < kStackStep; ++i) ASSERT_EQ(act(A_PUSH), 0);
    starve(0);
    EXPECT_EQ(act(A_PUSH), 6);  // the array cannot grow
    EXPECT_EQ(prs()->stkcap, kStackStep);
    starve(0);
    EXPECT_EQ(yowspsh(prs()), 1);

    // The sixteenth element of a list needs an overflow block: without it the list stays
    // at fifteen and the parse ends, rather than go on without the element.
    stacked();
    ASSERT_EQ(act(A_LIST, {Z_SET}), 0);
    for (int i = 1; i <= Z_NODE_ARGS; ++i) {
        ASSERT_EQ(push(Z_LITN, T_INT, U"7"), 0);
        ASSERT_EQ(act(A_ADD), 0);
    }
    ASSERT_EQ(push(Z_LITN, T_INT, U"8"), 0);
    starve(0);
    EXPECT_EQ(act(A_ADD), 6);
    EXPECT_EQ(holder(1)->u.op.nargs, Z_NODE_ARGS);
    ASSERT_EQ(push(Z_LITN, T_INT, U"8"), 0);
    EXPECT_EQ(act(A_ADD, {20}), 0);  // a store at a position, with the block to be had
    EXPECT_EQ(holder(1)->u.op.nargs, 21);
}

TEST_F(Actions, EveryActionIsTracedBeforeItActs) {
    clean();
    ctx_.trace = 1;
    ASSERT_EQ(act(A_INIT), 0);
    const NQToken* tok = token(T_INT, U"42");
    ASSERT_EQ(act(A_PUSH, {Z_LITN}, tok), 0);
    ASSERT_EQ(act(A_TOKSP, {0, 4}), 0);
    ASSERT_EQ(act(99, {}, tok), 0);
    ASSERT_EQ(act(A_PUSH, {Z_SUBQ}, tok), 1);
    const std::vector<Message> m = journal();
    ASSERT_EQ(m.size(), 7u);
    for (size_t i : {0u, 1u, 2u, 3u, 5u}) EXPECT_EQ(m[i].level, NQ_LEVEL_TRACE) << i;

    char addr[32];
    std::snprintf(addr, sizeof addr, "%p", static_cast<const void*>(tok->text));
    EXPECT_EQ(m[1].text, std::string("sem: @PUSH narg= 1 arg=  2 word=2,") + addr + " '42'");
    EXPECT_EQ(m[0].text.rfind("sem: @INIT narg= 0 arg=  0 word=0,", 0), 0u);
    EXPECT_EQ(m[2].text.rfind("sem: @TOKSP narg= 2 arg=  0 ", 0), 0u);
    // An unknown code is traced first, then reported.
    EXPECT_EQ(m[3].text.rfind("sem: ", 0), 0u);
    EXPECT_EQ(m[4].level, NQ_LEVEL_ERROR);
    EXPECT_EQ(m[4].text, "YOWSEM: unknown semantic action 99.");
    EXPECT_EQ(m[5].text.rfind("sem: @PUSH narg= 1 arg= 12 ", 0), 0u);
    EXPECT_EQ(m[6].text, "ZORVSemantics: push what (12)?");
}

}  // namespace
