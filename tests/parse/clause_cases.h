// Clauses of the WHERE language and the trees the semantic actions build for them, in the
// rendering of semtest::render. Shared by the tests that drive the actions over the grammar
// tables directly and those that parse through the instance's Parse slot.
#ifndef ZORV_TESTS_PARSE_CLAUSE_CASES_H
#define ZORV_TESTS_PARSE_CLAUSE_CASES_H

namespace semtest {

struct ClauseCase {
    const char* clause;
    const char* tree;  // null: a syntax error
    bool flagged;      // the actions set the context's error flag
};

inline constexpr ClauseCase kClauseCases[] = {
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
    {"x LIKE 'a%'", "LIKE(NAME X,LITC 'a%')", false},
    {"x ~ LIKE 'a%'", "NLKE(NAME X,LITC 'a%')", false},
    {"x = 1 OR y IN (1) AND z BETWEEN 1 AND 2",
     "LOR(CEQ(NAME X,LITN 1),LAND(IN(NAME Y,SET(LITN 1)),BETW(NAME Z,LITN 1,LITN 2)))", false},

    // Constants of every class.
    {"x > .", "CGT(NAME X,LITN .)", false},
    {"x > .A", "CGT(NAME X,LITN .A)", false},
    {"x = 1.5", "CEQ(NAME X,LITN 1.5)", false},
    {"x = '01jan2020'd", "CEQ(NAME X,LITN 0 date)", false},
    {"x = '10:00't", "CEQ(NAME X,LITN 0 time)", false},
    {"x = '01jan2020:10:00'dt", "CEQ(NAME X,LITN 0 datetime)", false},
    {"x = 'it''s'", "CEQ(NAME X,LITC 'it's')", false},

    // Function calls; PUT and INPUT calls are refused through their format leaf.
    {"f()", "FLST(FNAM F)", false},
    {"f(1, x + 2)", "FLST(FNAM F,LITN 1,AADD(NAME X,LITN 2))", false},
    {"f(g(x), 2) > 1", "CGT(FLST(FNAM F,FLST(FNAM G,NAME X),LITN 2),LITN 1)", false},
    {"PUT = 1", "CEQ(NAME PUT,LITN 1)", false},
    {"PUT(x, best12.)", "FLST(FNAM PUT,NAME X,FMT)", true},
    {"INPUT(x, ? 8.)", "FLST(FNAM INPUT,NAME X,FMT,LITC '')", true},
};

}  // namespace semtest

#endif
