// Typing of operators by the resolver's walk: the kind rules and their statuses, colon forms
// of numbers, the widest operand of MIN and MAX, calls of UPCASE bound or folded, and the
// scratch space of long results.
#include <gtest/gtest.h>

#include "tests/resolve/resolve_fixture.h"

namespace {

using resolvetest::Resolver;

struct TypingCase {
    const char* clause;
    int32_t status;
    int vlen;          // of the root, when the status is 0
    const char* tree;  // after the walk; null: not checked
};

// Columns: N numeric, S short numeric (-4), C 40 bytes, W 80 bytes, U untyped.
const TypingCase kTypingCases[] = {
    {"n + 1 > s", 0, -8, nullptr},
    {"s * s", 0, -8, nullptr},
    {"'a' + 1", ZORV_RESOLVE_NOT_NUMERIC, 0, nullptr},
    {"n + c", ZORV_RESOLVE_NOT_NUMERIC, 0, nullptr},
    // The first typed operand is the reference; an untyped one after it counts as character.
    {"u + 1", 0, -8, nullptr},
    {"1 + u", ZORV_RESOLVE_NOT_NUMERIC, 0, nullptr},
    {"u = c", 0, -8, nullptr},
    {"c || 'ab'", 0, 48, nullptr},
    {"c || w || c", 0, 160, nullptr},
    {"c || n", ZORV_RESOLVE_NOT_CHARACTER, 0, nullptr},
    {"n || c", ZORV_RESOLVE_NOT_CHARACTER, 0, nullptr},
    {"c LIKE 'a%'", 0, -8, nullptr},
    {"n LIKE 'a'", ZORV_RESOLVE_NOT_CHARACTER, 0, nullptr},
    {"c = * n", ZORV_RESOLVE_NOT_CHARACTER, 0, nullptr},
    {"n = 'x'", ZORV_RESOLVE_MIXED, 0, nullptr},
    {"n IN (1, 2)", 0, -8, nullptr},
    {"c IN (1, 2)", ZORV_RESOLVE_MIXED, 0, nullptr},
    {"n BETWEEN 1 AND 'z'", ZORV_RESOLVE_MIXED, 0, nullptr},
    {"n MIN s", 0, -8, nullptr},
    {"s MAX n", 0, -8, nullptr},
    {"s MIN s", 0, -4, nullptr},
    {"c MAX w", 0, 80, nullptr},
    {"w MIN c", 0, 80, nullptr},
    {"c MIN n", ZORV_RESOLVE_MIXED, 0, nullptr},
    {"n AND c OR NOT w", 0, -8, nullptr},
    // Colon forms: characters keep them, numbers fall back to the plain form.
    {"c = : 'a'", 0, -8, "CTEQ(NAME C,LITC 'a')"},
    {"n > : 1", ZORV_RESOLVE_COLON_NUMERIC, 0, "CGT(NAME N,LITN 1)"},
    {"n IN : (1)", ZORV_RESOLVE_COLON_NUMERIC, 0, "IN(NAME N,SET(LITN 1))"},
    {"n NOT IN : (1)", ZORV_RESOLVE_COLON_NUMERIC, 0, "NIN(NAME N,SET(LITN 1))"},
    {"c = : 1", ZORV_RESOLVE_MIXED, 0, "CTEQ(NAME C,LITN 1)"},
};

TEST_F(Resolver, OperatorsAreTypedOrRefusedByKind) {
    for (const TypingCase& c : kTypingCases) {
        SCOPED_TRACE(c.clause);
        ASSERT_EQ(parse(c.clause), 0);
        EXPECT_EQ(resolve(), c.status);
        if (c.status == 0) {
            EXPECT_EQ(inst_->root->vlen, c.vlen);
        }
        if (c.tree) {
            EXPECT_EQ(tree(), c.tree);
        }
    }
}

// A walk that fails leaves the failing operator and everything after it untyped.
TEST_F(Resolver, AFailureLeavesTheRestUntyped) {
    ASSERT_EQ(parse("n + 1 > 2 AND n = 'x' AND c || 'y' = w"), 0);
    EXPECT_EQ(resolve(), ZORV_RESOLVE_MIXED);
    ZNode* land = inst_->root;
    EXPECT_EQ(land->vlen, 0);
    EXPECT_EQ(land->u.op.args[0]->vlen, -8);
    EXPECT_EQ(land->u.op.args[1]->vlen, 0);
    EXPECT_EQ(land->u.op.args[2]->vlen, 0);
    EXPECT_EQ(land->u.op.args[2]->u.op.args[0]->vlen, 0) << "the third operand was not walked";
}

TEST_F(Resolver, UpcaseOfAColumnIsBoundWithScratchSpace) {
    ASSERT_EQ(parse("UPCASE(c) = 'X' AND UPCASE(w) = 'Y'"), 0);
    ASSERT_EQ(resolve(), 0);
    ZNode* calls[2] = {inst_->root->u.op.args[0]->u.op.args[0],
                       inst_->root->u.op.args[1]->u.op.args[0]};
    const int vlens[2] = {40, 80};
    const uint32_t offsets[2] = {0, 160};
    for (int i = 0; i < 2; ++i) {
        ZNode* call = calls[i];
        ASSERT_EQ(call->type, Z_FLST);
        EXPECT_EQ(call->vlen, vlens[i]);
        EXPECT_EQ(call->workoff, offsets[i]);
        ZNode* leaf = call->u.op.args[0];
        EXPECT_EQ(leaf->type, Z_FUNC);
        EXPECT_EQ(leaf->u.fn.fnum, 1);
        EXPECT_EQ(leaf->u.fn.colmode, 2u);
        EXPECT_EQ(std::string(leaf->u.fn.fname, static_cast<size_t>(leaf->u.fn.fnamelen)),
                  "UPCASE");
    }
    EXPECT_EQ(inst_->worksize, 4 * 40 + 4 * 80);
}

// A constant argument is upper-cased at once; the call becomes that constant, its text in
// the call's own node when short, and the name leaf and argument go to the free list.
TEST_F(Resolver, UpcaseOfAConstantFolds) {
    const char* const clauses[] = {"UPCASE('abc') = c", "UPCASE('a text of many words') = c"};
    const char* const folded[] = {"LITC 'ABC'", "LITC 'A TEXT OF MANY WORDS'"};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(clauses[i]);
        ASSERT_EQ(parse(clauses[i]), 0);
        ZNode* call = inst_->root->u.op.args[0];
        ZNode* leaf = call->u.op.args[0];
        ZNode* arg = call->u.op.args[1];
        ASSERT_EQ(resolve(), 0);
        ASSERT_EQ(call->type, Z_LITC);
        EXPECT_EQ(ztest::render(call), folded[i]);
        EXPECT_EQ(call->vlen, call->u.litc.slen);
        if (call->u.litc.slen <= 48) {
            EXPECT_EQ(call->u.litc.str, call->u.litc.inl);
        }
        EXPECT_EQ(inst_->nodefree, arg);
        EXPECT_EQ(arg->u.op.next, leaf);
        EXPECT_EQ(inst_->worksize, 0);
    }
}

TEST_F(Resolver, CallsThatNameNoBuiltinAreRefused) {
    const char* const clauses[] = {"UPCASE(1) = c", "UPCASE(n) = c", "UPCASE(s) = c",
                                   "UPCASE(c, c) = c", "LOWCASE(c) = c"};
    for (const char* clause : clauses) {
        SCOPED_TRACE(clause);
        ASSERT_EQ(parse(clause), 0);
        ZNode* call = inst_->root->u.op.args[0];
        EXPECT_EQ(resolve(), ZORV_RESOLVE_FUNCTION);
        EXPECT_EQ(call->type, Z_FLST);
        EXPECT_EQ(inst_->worksize, 0);
    }
    // The unknown name becomes a FUNC with function number 1 and keeps its name.
    ZNode* leaf = inst_->root->u.op.args[0]->u.op.args[0];
    EXPECT_EQ(leaf->type, Z_FUNC);
    EXPECT_EQ(leaf->u.fn.fnum, 1);
    EXPECT_EQ(std::string(leaf->u.fn.fname, static_cast<size_t>(leaf->u.fn.fnamelen)), "LOWCASE");
}

// Concatenations of up to 48 bytes fit a value record; longer ones get scratch space, one
// after the other in walk order.
TEST_F(Resolver, LongConcatenationsReserveScratchSpace) {
    ASSERT_EQ(parse("c || 'ab' = w AND c || 'abc' = w AND w || w = c"), 0);
    ASSERT_EQ(resolve(), 0);
    ZNode* conc[3];
    for (int i = 0; i < 3; ++i) conc[i] = inst_->root->u.op.args[i]->u.op.args[0];
    EXPECT_EQ(conc[0]->vlen, 48);
    EXPECT_EQ(conc[0]->workoff, 0u);
    EXPECT_EQ(conc[1]->vlen, 52);
    EXPECT_EQ(conc[1]->workoff, 0u);
    EXPECT_EQ(conc[2]->vlen, 160);
    EXPECT_EQ(conc[2]->workoff, 52u);
    EXPECT_EQ(inst_->worksize, 52 + 160);
}

// vlen holds at most 32767 bytes: a longer concatenation is refused, not cut.
TEST_F(Resolver, AConcatenationPastTheLongestValueIsRefused) {
    std::string clause = "l";
    for (int i = 0; i < 8; ++i) clause += " || l";
    ASSERT_EQ(parse(clause + " = c"), 0);  // 9 x 4000 bytes
    EXPECT_EQ(resolve(), ZORV_RESOLVE_TOO_LONG);
    EXPECT_EQ(inst_->root->u.op.args[0]->vlen, 0);
    EXPECT_EQ(inst_->worksize, 0);

    ASSERT_EQ(parse("l || l || l || l || l || l || l || l || w || w || w || w || c = c"), 0);
    EXPECT_EQ(resolve(), 0) << "32000 + 320 + 40 bytes fit";
    EXPECT_EQ(inst_->root->u.op.args[0]->vlen, 32360);
}

}  // namespace
