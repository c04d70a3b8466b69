// Typing of operators by the resolver's walk: the kind rules and their statuses, colon forms
// of numbers, MIN and MAX, calls of UPCASE bound or folded, and scratch space for results
// too long for a value record.
#include <gtest/gtest.h>

#include "tests/resolve/resolve_fixture.h"

namespace {

using resolvetest::Resolver;

struct TypingCase {
    const char* clause;
    int32_t status;
    int vlen;          // of the root, when the status is 0
    int32_t worksize;  // scratch bytes reserved
    const char* tree;  // after the walk; null: not checked
};

// Columns: N numeric, S numeric in 4 bytes, C 40 bytes, W 80 bytes, L 4000, U untyped.
const TypingCase kCases[] = {
    {"n + 1 > s", 0, -8, 0, nullptr},
    {"'a' + 1", ZORV_RESOLVE_NOT_NUMERIC, 0, 0, nullptr},
    {"n + c", ZORV_RESOLVE_NOT_NUMERIC, 0, 0, nullptr},
    // The first typed operand is the reference; an untyped one after it counts as character.
    {"u + 1", 0, -8, 0, nullptr},
    {"1 + u", ZORV_RESOLVE_NOT_NUMERIC, 0, 0, nullptr},
    {"u = c", 0, -8, 0, nullptr},
    // Reservations start after the 8-byte link word that heads every work area.
    {"c || w || c", 0, 160, 8 + 160, nullptr},
    {"c || n", ZORV_RESOLVE_NOT_CHARACTER, 0, 0, nullptr},
    {"n || c", ZORV_RESOLVE_NOT_CHARACTER, 0, 0, nullptr},
    {"c LIKE 'a%'", 0, -8, 0, nullptr},
    {"c = * n", ZORV_RESOLVE_NOT_CHARACTER, 0, 0, nullptr},
    {"n = 'x'", ZORV_RESOLVE_MIXED, 0, 0, nullptr},
    {"c IN (1, 2)", ZORV_RESOLVE_MIXED, 0, 0, nullptr},
    {"n BETWEEN 1 AND 'z'", ZORV_RESOLVE_MIXED, 0, 0, nullptr},
    {"n MIN s", 0, -8, 0, nullptr},
    {"s MIN s", 0, -4, 0, nullptr},
    {"w MIN c", 0, 80, 0, nullptr},
    {"c MAX n", ZORV_RESOLVE_MIXED, 0, 0, nullptr},
    {"n AND c OR NOT w", 0, -8, 0, nullptr},
    // A failure stops the walk: nothing after it is reserved.
    {"c || 'abc' = n AND c || 'abc' = c", ZORV_RESOLVE_MIXED, 0, 8 + 52, nullptr},
    // Colon forms: characters keep them, numbers fall back to the plain form.
    {"c = : 'a'", 0, -8, 0, "CTEQ(NAME C,LITC 'a')"},
    {"n > : 1", ZORV_RESOLVE_COLON_NUMERIC, 0, 0, "CGT(NAME N,LITN 1)"},
    {"n NOT IN : (1)", ZORV_RESOLVE_COLON_NUMERIC, 0, 0, "NIN(NAME N,SET(LITN 1))"},
    {"c = : 1", ZORV_RESOLVE_MIXED, 0, 0, "CTEQ(NAME C,LITN 1)"},
    // Up to 48 bytes a concatenation fits a value record; vlen holds at most 32767.
    {"c || 'ab' = w", 0, -8, 0, nullptr},
    {"c || 'abc' = w", 0, -8, 8 + 52, nullptr},
    {"l || l || l || l || l || l || l || l || w || w || w || w || c", 0, 32360, 8 + 32360, nullptr},
    {"l || l || l || l || l || l || l || l || l = c", ZORV_RESOLVE_TOO_LONG, 0, 0, nullptr},
    // UPCASE: bound over a character column with 4 x its length of scratch space, folded
    // over a constant, refused otherwise.
    {"UPCASE(c) = 'X' AND UPCASE(w) = 'Y'", 0, -8, 8 + 4 * 40 + 4 * 80,
     "LAND(CEQ(FLST(FUNC,NAME C),LITC 'X'),CEQ(FLST(FUNC,NAME W),LITC 'Y'))"},
    {"UPCASE('abc') = c", 0, -8, 0, "CEQ(LITC 'ABC',NAME C)"},
    {"UPCASE('a text of many words') = c", 0, -8, 0, "CEQ(LITC 'A TEXT OF MANY WORDS',NAME C)"},
    {"UPCASE(1) = c", ZORV_RESOLVE_FUNCTION, 0, 0, nullptr},
    {"UPCASE(n) = c", ZORV_RESOLVE_FUNCTION, 0, 0, nullptr},
    {"UPCASE(c, c) = c", ZORV_RESOLVE_FUNCTION, 0, 0, nullptr},
    {"LOWCASE(c) = c", ZORV_RESOLVE_FUNCTION, 0, 0, "CEQ(FLST(FUNC,NAME C),NAME C)"},
};

TEST_F(Resolver, OperatorsAreTypedOrRefusedByKind) {
    for (const TypingCase& c : kCases) {
        SCOPED_TRACE(c.clause);
        ASSERT_EQ(parse(c.clause), 0);
        inst_->worksize = 0;
        EXPECT_EQ(resolve(), c.status);
        if (c.status == 0) {
            EXPECT_EQ(inst_->root->vlen, c.vlen);
        }
        EXPECT_EQ(inst_->worksize, c.worksize);
        if (c.tree) {
            EXPECT_EQ(tree(), c.tree);
        }
    }
}

TEST_F(Resolver, BoundCallsAndLongConcatenationsGetTheirOwnScratchSpace) {
    ASSERT_EQ(parse("UPCASE(c) = w || 'abc' AND UPCASE(w) = 'x'"), 0);
    ASSERT_EQ(resolve(), 0);
    ZNode* first = inst_->root->u.op.args[0];
    ZNode* second = inst_->root->u.op.args[1];
    EXPECT_EQ(first->u.op.args[0]->workoff, 8u);
    EXPECT_EQ(first->u.op.args[1]->workoff, 8u + 160u);
    EXPECT_EQ(second->u.op.args[0]->workoff, 8u + 160u + 92u);
    ZNode* leaf = second->u.op.args[0]->u.op.args[0];
    EXPECT_EQ(leaf->u.fn.fnum, 1);
    EXPECT_EQ(leaf->u.fn.colmode, 2u);
    EXPECT_EQ(std::string(leaf->u.fn.fname, static_cast<size_t>(leaf->u.fn.fnamelen)), "UPCASE");
}

// Scratch space ends at ZORV_MAX_WORK: a concatenation (C and W: 120 bytes) or a call
// (UPCASE of W: 320) whose space would pass it is refused and reserves nothing; one that
// ends exactly there is taken.
TEST_F(Resolver, ScratchSpaceEndsAtTheLargestWorkArea) {
    const struct {
        const char* clause;
        int32_t bytes;
    } cases[] = {{"c || w = c", 120}, {"UPCASE(w) = 'X'", 320}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clause);
        for (const int32_t start : {ZORV_MAX_WORK - c.bytes + 4, ZORV_MAX_WORK - c.bytes}) {
            ASSERT_EQ(parse(c.clause), 0);
            inst_->worksize = start;
            const bool fits = start + c.bytes <= ZORV_MAX_WORK;
            EXPECT_EQ(resolve(), fits ? 0 : ZORV_RESOLVE_TOO_LONG);
            EXPECT_EQ(inst_->worksize, fits ? ZORV_MAX_WORK : start);
        }
    }
}

// A folded call's text lives in the call's own node when short; the name leaf and the
// argument go to the free list. An unknown call's name stays readable in its FUNC leaf.
TEST_F(Resolver, FoldedAndUnknownCallsKeepTheirRecordsSound) {
    ASSERT_EQ(parse("UPCASE('abc') = LOWER(c)"), 0);
    ZNode* call = inst_->root->u.op.args[0];
    ZNode* leaf = call->u.op.args[0];
    ZNode* arg = call->u.op.args[1];
    EXPECT_EQ(resolve(), ZORV_RESOLVE_FUNCTION);
    EXPECT_EQ(call->u.litc.str, call->u.litc.inl);
    EXPECT_EQ(inst_->nodefree, arg);
    EXPECT_EQ(arg->u.op.next, leaf);
    ZNode* unknown = inst_->root->u.op.args[1]->u.op.args[0];
    EXPECT_EQ(unknown->u.fn.fnum, 1);
    EXPECT_EQ(std::string(unknown->u.fn.fname, static_cast<size_t>(unknown->u.fn.fnamelen)),
              "LOWER");
}

}  // namespace
