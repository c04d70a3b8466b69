// Whole clauses through the instance's Parse slot: our host's kernel, tokenizer and parse
// engine feed the semantic actions; the trees, statuses and messages that come back.
#ifdef ZORV_TEST_HOST

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "tests/parse/parse_fixture.h"

namespace {

// Clauses of the WHERE language and the trees the semantic actions build for them.
struct ClauseCase {
    const char* clause;
    const char* tree;  // null: a syntax error
    bool flagged;      // the actions set the context's error flag
};

const ClauseCase kClauseCases[] = {
    // Clause forms.
    {";", "CLR", false},
    {"CLEAR;", "CLR", false},
    {"UNDO", "UNDO", false},
    {"?", "SAY", false},
    {"ALSO x = 1", "SAME(CEQ(NAME X,LITN 1))", false},
    {"SAME x = 1", "SAME(CEQ(NAME X,LITN 1))", false},
    {"SAME AND a", "SAME(NAME A)", false},
    {"x", "NAME X", false},
    {"'abc'", "LITC 'abc'", false},
    {"5", "LITN 5", false},

    // Logical runs make one node each; AND binds tighter than OR.
    {"a OR b | z ! y", "LOR(NAME A,NAME B,NAME Z,NAME Y)", false},
    {"a AND b & z", "LAND(NAME A,NAME B,NAME Z)", false},
    {"a OR b AND z", "LOR(NAME A,LAND(NAME B,NAME Z))", false},
    {"a AND b OR z", "LOR(LAND(NAME A,NAME B),NAME Z)", false},
    {"(a OR b) AND z", "LAND(LOR(NAME A,NAME B),NAME Z)", false},
    {"x > 5 AND x < 10 AND y IN (1, 2, 3)",
     "LAND(CGT(NAME X,LITN 5),CLT(NAME X,LITN 10),IN(NAME Y,SET(LITN 1,LITN 2,LITN 3)))", false},

    // Arithmetic: left-associative pairs, one node per run of ** and of ||.
    {"a + b - z", "ASUB(AADD(NAME A,NAME B),NAME Z)", false},
    {"a - b + z", "AADD(ASUB(NAME A,NAME B),NAME Z)", false},
    {"a * b / z", "ADIV(AMUL(NAME A,NAME B),NAME Z)", false},
    {"a + b * z", "AADD(NAME A,AMUL(NAME B,NAME Z))", false},
    {"a * b + z", "AADD(AMUL(NAME A,NAME B),NAME Z)", false},
    {"a ** b ** z ** d", "APOW(NAME A,NAME B,NAME Z,NAME D)", false},
    {"a ** b * z", "AMUL(APOW(NAME A,NAME B),NAME Z)", false},
    {"a || b !! z", "CONC(NAME A,NAME B,NAME Z)", false},
    {"a || b + z", "CONC(NAME A,AADD(NAME B,NAME Z))", false},
    {"a = b || z", "CEQ(NAME A,CONC(NAME B,NAME Z))", false},
    {"a MIN b MAX z", "MAX(MIN(NAME A,NAME B),NAME Z)", false},
    {"a MIN b * z", "AMUL(MIN(NAME A,NAME B),NAME Z)", false},
    {"a MIN b ** z", "MIN(NAME A,APOW(NAME B,NAME Z))", false},
    {"NOT a MIN b", "LNOT(MIN(NAME A,NAME B))", false},
    {"a AND b = z", "LAND(NAME A,CEQ(NAME B,NAME Z))", false},
    {"(x)", "NAME X", false},

    // Prefix operators. A NOT straight after + - * or / takes over the pending operator,
    // which leaves an untyped node.
    {"- x > 1", "CGT(ANEG(NAME X),LITN 1)", false},
    {"- - x > 1", "CGT(APOS(NAME X),LITN 1)", false},
    {"- - - x > 1", "CGT(ANEG(NAME X),LITN 1)", false},
    {"- - - - x", "APOS(NAME X)", false},
    {"+ x > 1", "CGT(NAME X,LITN 1)", false},
    {"x = - 1", "CEQ(NAME X,ANEG(LITN 1))", false},
    {"a - - b", "ASUB(NAME A,ANEG(NAME B))", false},
    {"- a * b", "AMUL(ANEG(NAME A),NAME B)", false},
    {"- - a ** b", "APOW(APOS(NAME A),NAME B)", false},
    {"a ** - b", "APOW(NAME A,ANEG(NAME B))", false},
    {"NOT x = 1", "CEQ(LNOT(NAME X),LITN 1)", false},
    {"NOT a AND b", "LAND(LNOT(NAME A),NAME B)", false},
    {"NOT a * b", "AMUL(LNOT(NAME A),NAME B)", false},
    {"a = NOT b", "CEQ(NAME A,LNOT(NAME B))", false},
    {"a * NOT b", "NULL(NAME A,LNOT(NAME B))", false},
    {"a + NOT b", "NULL(NAME A,LNOT(NAME B))", false},
    {"NOT NOT x", nullptr, false},
    {"+ - x", nullptr, false},

    // Comparisons, their spellings, colon forms and negations.
    {"x EQ 1", "CEQ(NAME X,LITN 1)", false},
    {"x ^= 1", "CNE(NAME X,LITN 1)", false},
    {"x ~= 1", "CNE(NAME X,LITN 1)", false},
    {"x NE 1", "CNE(NAME X,LITN 1)", false},
    {"x <> 1", "CNE(NAME X,LITN 1)", false},
    {"x LT 1", "CLT(NAME X,LITN 1)", false},
    {"x <= 1", "CLE(NAME X,LITN 1)", false},
    {"x GT 1", "CGT(NAME X,LITN 1)", false},
    {"x GE 1", "CGE(NAME X,LITN 1)", false},
    {"x NOT > 1", "CLE(NAME X,LITN 1)", false},
    {"x ^< 1", "CGE(NAME X,LITN 1)", false},
    {"x ^ = 1", "CNE(NAME X,LITN 1)", false},
    {"x = : 'ab'", "CTEQ(NAME X,LITC 'ab')", false},
    {"x < : 'ab'", "CTLT(NAME X,LITC 'ab')", false},
    {"x >= : 'a'", "CTGE(NAME X,LITC 'a')", false},
    {"x NOT < : 'ab'", "CTGE(NAME X,LITC 'ab')", false},
    {"x = * 'ab'", "SDX(NAME X,LITC 'ab')", false},
    {"x NOT = * 'ab'", "NSDX(NAME X,LITC 'ab')", false},

    // Chains: every further link is one more argument holding its own comparison.
    {"a < b <= z", "CLT(NAME A,NAME B,CLE(NAME Z))", false},
    {"a = b = z", "CEQ(NAME A,NAME B,CEQ(NAME Z))", false},
    {"a < b NOT <= z > d", "CLT(NAME A,NAME B,CGT(NAME Z),CGT(NAME D))", false},
    {"a NOT = b NOT = z", "CNE(NAME A,NAME B,CNE(NAME Z))", false},

    // IN and NOTIN lists.
    {"x IN ('a' 'b')", "IN(NAME X,SET(LITC 'a',LITC 'b'))", false},
    {"x NOT IN (1 2)", "NIN(NAME X,SET(LITN 1,LITN 2))", false},
    {"x NOTIN (1,2)", "NIN(NAME X,SET(LITN 1,LITN 2))", false},
    {"x IN : ('a' 'b')", "TIN(NAME X,SET(LITC 'a',LITC 'b'))", false},
    {"x NOTIN : ('a','b')", "TNIN(NAME X,SET(LITC 'a',LITC 'b'))", false},
    {"x NOT IN : (1)", "TNIN(NAME X,SET(LITN 1))", false},
    {"x IN (- 1 - 2, 3)", "IN(NAME X,SET(ANEG(LITN 1),ANEG(LITN 2),LITN 3))", false},
    {"x IN (1 'a')", nullptr, false},
    {"x IN ()", nullptr, false},

    // The other predicates, plain and negated.
    {"x BETWEEN 1 AND 5", "BETW(NAME X,LITN 1,LITN 5)", false},
    {"x NOT BETWEEN 1 AND 5", "NBTW(NAME X,LITN 1,LITN 5)", false},
    {"x IS MISSING", "ISNL(NAME X)", false},
    {"x IS NOT NULL", "NTNL(NAME X)", false},
    {"x ^ IS NULL", "NTNL(NAME X)", false},
    {"x CONTAINS 'a'", "CONT(NAME X,LITC 'a')", false},
    {"x ? 'a'", "CONT(NAME X,LITC 'a')", false},
    {"x NOT ? 'a'", "NCON(NAME X,LITC 'a')", false},
    {"x NOT CONTAINS 'a'", "NCON(NAME X,LITC 'a')", false},
    {"x IS ^ MISSING", "NTNL(NAME X)", false},
    {"x LIKE 'a%'", "LIKE(NAME X,LITC 'a%')", false},
    {"x ~ LIKE 'a%'", "NLKE(NAME X,LITC 'a%')", false},
    {"x = 1 OR y IN (1) AND z BETWEEN 1 AND 2",
     "LOR(CEQ(NAME X,LITN 1),LAND(IN(NAME Y,SET(LITN 1)),BETW(NAME Z,LITN 1,LITN 2)))", false},

    // Constants of every class.
    {"x > .", "CGT(NAME X,LITN .)", false},
    {"x > .A", "CGT(NAME X,LITN .A)", false},
    {"x = 1.5", "CEQ(NAME X,LITN 1.5)", false},
    {"x = 'it''s'", "CEQ(NAME X,LITC 'it's')", false},

    // Function calls; PUT and INPUT calls are refused through their format leaf.
    {"f()", "FLST(FNAM F)", false},
    {"f(1, x + 2)", "FLST(FNAM F,LITN 1,AADD(NAME X,LITN 2))", false},
    {"f(g(x), 2) > 1", "CGT(FLST(FNAM F,FLST(FNAM G,NAME X),LITN 2),LITN 1)", false},
    {"PUT = 1", "CEQ(NAME PUT,LITN 1)", false},
    {"l = c", "CEQ(NAME L,NAME C)", false},  // the format keywords are names elsewhere
    {"'my col'n > 1", "CGT(NAME MY COL,LITN 1)", false},
    {"PUT(x, best12.)", "FLST(FNAM PUT,NAME X,FMT)", true},
    {"INPUT(x, ? 8.)", "FLST(FNAM INPUT,NAME X,FMT,LITC '')", true},
};

using Parse = parsetest::Parser;

TEST_F(Parse, EveryClauseBuildsItsTree) {
    ASSERT_NE(open(), nullptr);
    for (const ClauseCase& c : kClauseCases) {
        const int32_t st = parse(c.clause);
        if (c.tree == nullptr) {
            EXPECT_NE(st, 0) << c.clause;
            continue;
        }
        if (c.flagged) {
            EXPECT_EQ(st, NQ_STATUS_SEMANTIC) << c.clause;
        } else {
            ASSERT_EQ(st, 0) << c.clause << ": " << (messages(4).empty() ? "" : messages(4)[0]);
            EXPECT_TRUE(messages(NQ_LEVEL_ERROR).empty()) << c.clause;
        }
        EXPECT_EQ(tree(), c.tree) << c.clause;
        EXPECT_EQ(inst_->prs.stki, 0) << c.clause;
    }
}

// Nesting deeper than the first stack array makes it grow while the tree keeps its shape.
TEST_F(Parse, DeepNestingGrowsTheStack) {
    ASSERT_NE(open(), nullptr);
    std::string clause, want = "NAME X";
    for (int i = 0; i < 20; ++i) {
        clause += "(";
        want = "AADD(" + want + ",LITN 1)";
    }
    clause += "x";
    for (int i = 0; i < 20; ++i) clause += " + 1)";
    ASSERT_EQ(parse(clause), 0);
    EXPECT_GT(inst_->prs.stkcap, 30);
    EXPECT_EQ(tree(), want);
}

TEST_F(Parse, LongListsSpillIntoOverflowBlocks) {
    ASSERT_NE(open(), nullptr);
    std::string clause = "x IN (", want = "IN(NAME X,SET(";
    for (int i = 1; i <= 40; ++i) {
        clause += std::to_string(i) + " ";
        want += (i > 1 ? ",LITN " : "LITN ") + std::to_string(i);
    }
    ASSERT_EQ(parse(clause + ")"), 0);
    EXPECT_EQ(tree(), want + "))");
}

// Names reach the node as upper-cased UTF-8 whether the host transcodes them or, when its
// NLS service needs no transcoder, the library encodes them itself.
TEST_F(Parse, NamesAreTheSameWithAndWithoutTranscoder) {
    const std::string clause = "straße = 1 AND größe_€ = 2";
    std::vector<std::string> trees;
    for (int needs : {1, 0}) {
        zhost_set_needs_transcoder(kernel_, needs);
        ASSERT_NE(open(), nullptr);
        EXPECT_EQ(ext()->xcoder != nullptr, needs == 1);
        ASSERT_EQ(parse(clause), 0);
        trees.push_back(tree());
        destroy(inst_);
        ext_->RealDestroy(ext_);
        ext_ = nullptr;
    }
    EXPECT_EQ(trees[0], "LAND(CEQ(NAME STRAßE,LITN 1),CEQ(NAME GRÖßE_€,LITN 2))");
    EXPECT_EQ(trees[1], trees[0]);
}

// Date, time and datetime constants are numbers that keep their kind in the node's tag.
TEST_F(Parse, DateAndTimeConstantsKeepTheirKind) {
    ASSERT_NE(open(), nullptr);
    const std::pair<const char*, uint32_t> cases[] = {
        {"x = '01jan2020'd", 1}, {"x = '10:00't", 2}, {"x = '01jan2020:10:00'dt", 3}};
    for (const auto& [clause, tag] : cases) {
        ASSERT_EQ(parse(clause), 0) << clause;
        EXPECT_EQ(tree(), "CEQ(NAME X,LITN 0)") << clause;
        EXPECT_EQ(inst_->Get(inst_, inst_->Root(inst_), 1)->u.litn.tag, tag) << clause;
    }
}

// The option switches the actions' trace on for a whole parse (semantics_test.cpp checks
// the lines' text).
TEST_F(Parse, SemanticTraceFollowsTheOption) {
    ASSERT_NE(open(), nullptr);
    ASSERT_EQ(parse("x = 1"), 0);
    EXPECT_TRUE(messages(NQ_LEVEL_TRACE).empty());
    destroy(inst_);
    ASSERT_NE(open(ZORV_OPT_SEMTRACE), nullptr);
    ASSERT_EQ(parse("x = 1"), 0);
    const std::vector<std::string> trace = messages(NQ_LEVEL_TRACE);
    // The actions of: @SPECIAL(14) @INIT, the expression, @TERM @SPECIAL(114).
    ASSERT_GE(trace.size(), 6u);
    for (const std::string& m : trace) EXPECT_EQ(m.rfind("sem: @", 0), 0u) << m;
    EXPECT_EQ(trace.back().rfind("sem: @SPECIAL narg= 1 arg=114 ", 0), 0u);
}

// The message target may be null: with both traces on, a clause and a syntax error answer
// as they do with a target and build the same trees, and a clause nested too deeply is
// refused all the same.
TEST_F(Parse, NullMessageTargetChangesNoAnswer) {
    ASSERT_NE(open(ZORV_OPT_TOKTRACE | ZORV_OPT_SEMTRACE), nullptr);
    for (const char* clause : {"x = 1 AND y IN (1, 2)", "x IN ()"}) {
        SCOPED_TRACE(clause);
        const int32_t with = parse(clause);
        EXPECT_FALSE(messages(NQ_LEVEL_TRACE).empty());
        const std::string built = tree();
        zhost_journal_clear(jnl_);
        EXPECT_EQ(inst_->Parse(inst_, text_.data(), static_cast<int32_t>(text_.size()), nullptr),
                  with);
        EXPECT_EQ(tree(), built);
        EXPECT_EQ(zhost_journal_count(jnl_), 0u);
    }
    std::u32string deep = U"n";
    for (int i = 0; i < ZORV_MAX_DEPTH; ++i) deep += U" - n";
    deep += U" > 0";
    EXPECT_EQ(inst_->Parse(inst_, deep.data(), static_cast<int32_t>(deep.size()), nullptr),
              ZORV_PARSE_TOO_DEEP);
    EXPECT_EQ(inst_->Root(inst_), nullptr);
}

// A clause that needs several arena blocks: its sixty strings take a node and a buffer
// each, about seven blocks in all. Refusing the n-th allocation of the instance's pool
// from the start of the parse ends the parse with the shortage and no tree, unless the
// refusal hits the clause's line itself, which just ends the input early.
TEST_F(Parse, ArenaExhaustionEndsTheParse) {
    ASSERT_NE(open(), nullptr);
    std::string clause = "x IN (";
    for (int i = 0; i < 60; ++i) clause += "'a long string constant' ";
    clause += ")";
    ASSERT_EQ(parse(clause), 0);
    int shortages = 0;
    for (long n = 1; n <= 8; ++n) {
        zhost_fail_pool_allocation(inst_->pool, n);
        const int32_t st = parse(clause);
        zhost_fail_pool_allocation(inst_->pool, 0);
        if (st == 6) {
            ++shortages;
            EXPECT_EQ(inst_->Root(inst_), nullptr) << n;
        } else {
            EXPECT_EQ(st, 0) << n;
        }
    }
    EXPECT_GE(shortages, 6);
    ASSERT_EQ(parse(clause), 0) << "the instance parses again once memory is back";
    EXPECT_EQ(inst_->Root(inst_)->type, Z_IN);
}

// Random token soup, well-formed or not, never breaks the parser: every parse ends with
// success or one of the engine's clause statuses, the instance stays usable, and whatever
// tree comes back can be walked and printed.
TEST_F(Parse, RandomClausesEndCleanly) {
    ASSERT_NE(open(), nullptr);
    // clang-format off
    static const char* const kPieces[] = {
        "x", "y2", "_z", "L", "MAX", "AND", "OR", "NOT", "IN", "NOTIN", "BETWEEN", "IS", "MISSING",
        "NULL", "LIKE", "CONTAINS", "UNDO", "CLEAR", "ALSO", "SAME", "PUT", "f(", "(", ")", ",",
        ";", ":", "?", "=", "^=", "<", "<=", ">", ">=", "<>", "=*", "+", "-", "*", "/", "**", "||",
        "!", "&", "|", "^", "~", "1", "2.5", "1e3", ".", ".A", "'s'", "'it''s'", "'d'd", "'t't",
        "'n'n", "fmt8.", "#", "'open", "12x", "\xc3\xa9t\xc3\xa9",
    };
    // clang-format on
    NQJournal* sink = zhost_open_capture_journal();
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        std::string clause;
        const int n = static_cast<int>(rng() % 12);
        for (int i = 0; i < n; ++i) {
            clause += kPieces[rng() % std::size(kPieces)];
            if (rng() % 3 != 0) clause += ' ';
        }
        const int32_t st = parse(clause);
        const bool known = st == 0 || st == NQ_STATUS_SYNTAX || st == NQ_STATUS_SEMANTIC ||
                           st == NQ_STATUS_LEXICAL || st == NQ_STATUS_TOO_DEEP;
        ASSERT_TRUE(known) << "status " << st << " for " << clause;
        if (st != 0) {
            EXPECT_FALSE(messages(NQ_LEVEL_ERROR).empty()) << clause;
        }
        zhost_journal_clear(sink);
        ZORVPrint(inst_, sink);
        EXPECT_GT(zhost_journal_count(sink), 0u) << clause;
    }
    zhost_close_journal(sink);
    ASSERT_EQ(parse("x = 1"), 0);
    EXPECT_EQ(tree(), "CEQ(NAME X,LITN 1)");
}

}  // namespace

#endif
