/* Node-kind arithmetic shared by the parser, the resolver and the transformer: which codes
 * are leaves, comparisons and IS-group predicates, and the tables that negate a predicate
 * or comparison and that swap a comparison's operands. */
#ifndef ZORV_FRAME_NODEKINDS_H
#define ZORV_FRAME_NODEKINDS_H

#include <array>
#include <cstdint>

#include "zorv/zorv.h"

namespace zkind {

constexpr bool is_leaf(int32_t type) {
    return type <= Z_LFHI;
}
constexpr bool is_operator(int32_t type) {
    return type > Z_LFHI;
}
constexpr bool is_constant(int32_t type) {
    return type == Z_LITN || type == Z_LITC;
}
constexpr bool is_comparison(int32_t type) {
    return type >= Z_CEQ && type <= Z_CGE;
}
constexpr bool is_colon_comparison(int32_t type) {
    return type >= Z_CTEQ && type <= Z_CTGE;
}
constexpr bool is_ordering(int32_t type) {
    return type >= Z_CLT && type <= Z_CGE;
}
constexpr bool is_is_group(int32_t type) {
    return type >= Z_IN && type <= Z_NSDX;
}
constexpr bool is_logical(int32_t type) {
    return type >= Z_LOR && type <= Z_LNOT;
}
constexpr bool is_arithmetic(int32_t type) {
    return type >= Z_AADD && type <= Z_APOS;
}
constexpr bool is_range(int32_t type) {
    return type >= Z_RANB && type <= Z_RANN;
}
/* Logical operators, the IS group and both comparison families: their value is numeric. */
constexpr bool is_boolean_valued(int32_t type) {
    return type >= Z_BOLO && type <= Z_BOHI;
}

/* A comparison plus 10 is its colon (truncated) form. */
constexpr int32_t kColonStep = Z_CTEQ - Z_CEQ;
static_assert(kColonStep == 10 && Z_CTGE - Z_CGE == kColonStep && Z_TIN - Z_IN == kColonStep &&
              Z_TNIN - Z_NIN == kColonStep);
static_assert(Z_CNE == Z_CEQ + 1 && Z_CLT == Z_CEQ + 2 && Z_CLE == Z_CEQ + 3 &&
              Z_CGT == Z_CEQ + 4 && Z_CGE == Z_CEQ + 5);

/* `is_not`: the negation of an IS-group node, indexed by type - IN (241..256); 0 marks the
 * two codes in the group that name no node. The members come in pairs, each the other's
 * negation. */
constexpr std::array<int32_t, Z_NSDX - Z_IN + 1> is_not = {
    Z_NIN,  Z_IN,   Z_NBTW, Z_BETW, Z_NLKE, Z_LIKE, Z_NCON, Z_CONT,
    Z_NTNL, Z_ISNL, Z_TNIN, Z_TIN,  0,      0,      Z_NSDX, Z_SDX};

/* `cinvert` (operands swapped) and `cnotrop` (comparison negated), indexed by type - CEQ. */
constexpr std::array<int32_t, 6> cinvert = {Z_CEQ, Z_CNE, Z_CGT, Z_CGE, Z_CLT, Z_CLE};
constexpr std::array<int32_t, 6> cnotrop = {Z_CNE, Z_CEQ, Z_CGE, Z_CGT, Z_CLE, Z_CLT};

constexpr bool tables_are_involutions() {
    for (int32_t t = Z_IN; t <= Z_NSDX; ++t) {
        const int32_t n = is_not[t - Z_IN];
        if (n != 0 && is_not[n - Z_IN] != t) return false;
    }
    for (int32_t t = Z_CEQ; t <= Z_CGE; ++t) {
        if (cinvert[cinvert[t - Z_CEQ] - Z_CEQ] != t) return false;
        if (cnotrop[cnotrop[t - Z_CEQ] - Z_CEQ] != t) return false;
    }
    return true;
}
static_assert(tables_are_involutions(), "negating or swapping twice must give the original");

/* The negation of a predicate or comparison code, plain or colon form; -1 for any other. */
constexpr int32_t negated(int32_t type) {
    if (is_is_group(type)) return is_not[type - Z_IN] != 0 ? is_not[type - Z_IN] : -1;
    if (is_comparison(type)) return cnotrop[type - Z_CEQ];
    if (is_colon_comparison(type)) return cnotrop[type - Z_CTEQ] + kColonStep;
    return -1;
}
static_assert(negated(Z_CTLT) == Z_CTGE && negated(Z_TIN) == Z_TNIN && negated(Z_CONT) == Z_NCON);

/* How the resolver checks an operator's operands and what its value length becomes. */
enum class TypingRule {
    Arithmetic, /* numeric operands; numeric result */
    Character,  /* character operands: CONC (summed length) and the LIKE group */
    Colon,      /* one kind, numbers turning it into the plain form */
    Widest,     /* MIN, MAX: one kind; the widest operand */
    Logical,    /* LOR, LAND, LNOT: not checked */
    Other       /* one kind */
};

constexpr TypingRule typing_rule(int32_t type) {
    switch (type) {
        case Z_CONC:
        case Z_LIKE:
        case Z_NLKE:
        case Z_CONT:
        case Z_NCON:
        case Z_SDX:
        case Z_NSDX:
            return TypingRule::Character;
        case Z_TIN:
        case Z_TNIN:
            return TypingRule::Colon;
        case Z_MIN:
        case Z_MAX:
            return TypingRule::Widest;
        default:
            break;
    }
    if (is_arithmetic(type)) return TypingRule::Arithmetic;
    if (is_colon_comparison(type)) return TypingRule::Colon;
    if (is_logical(type)) return TypingRule::Logical;
    return TypingRule::Other;
}

}  // namespace zkind

#endif
