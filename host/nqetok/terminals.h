// The terminals of the WHERE language as the tokenizer reports them: the grammar's codes
// and spellings, and the lookups of the spelled ones (longest-match operators,
// case-insensitive keywords).
#ifndef ZORV_HOST_NQETOK_TERMINALS_H
#define ZORV_HOST_NQETOK_TERMINALS_H

#include <array>
#include <cstdint>
#include <string_view>

#include "parse/grammar_codes.h"
#include "zorv/nqhost.h"

namespace etok {

// The grammar's terminal codes and spellings (parse/grammar_codes.h, generated from the
// grammar): the token classes T_, the keywords K_ and the operators P_.
using namespace where;

// The spelled terminals are the codes from kFirstSpelled to the one before the end of input.
inline constexpr int16_t kLastSpelled = kEnd - 1;
static_assert(kEnd == kTerminals, "the end of input is the last terminal");

// The spelling of a terminal, by code.
constexpr std::u32string_view spelling(int16_t code) {
    return kSpellings[static_cast<size_t>(code - 1)];
}

constexpr bool is_ascii_letter(NQWChar c) {
    return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z');
}
constexpr bool is_digit(NQWChar c) {
    return c >= U'0' && c <= U'9';
}
constexpr bool is_name_start(NQWChar c) {
    return is_ascii_letter(c) || c == U'_' || c >= 0xC0;
}
constexpr bool is_name_char(NQWChar c) {
    return is_name_start(c) || is_digit(c);
}
constexpr NQWChar ascii_upper(NQWChar c) {
    return c >= U'a' && c <= U'z' ? c - 32 : c;
}

// The spelled terminals by the first character of their spelling (upper-case for the
// keywords, which all begin with a letter; the operators begin with none), so that a token
// is looked up among the few that can match rather than among all of them.
struct FirstIndex {
    std::array<uint8_t, 129> start{};  // codes beginning with c: order[start[c], start[c + 1])
    std::array<int16_t, kLastSpelled - kFirstSpelled + 1> order{};
};

constexpr FirstIndex make_first_index() {
    FirstIndex x;
    size_t n = 0;
    for (NQWChar c = 0; c < 128; ++c) {
        x.start[c] = static_cast<uint8_t>(n);
        for (int16_t code = kFirstSpelled; code <= kLastSpelled; ++code)
            if (spelling(code)[0] == c) x.order[n++] = code;
    }
    x.start[128] = static_cast<uint8_t>(n);
    return x;
}

inline constexpr FirstIndex kByFirst = make_first_index();
static_assert(kByFirst.start[128] == kByFirst.order.size(), "every spelling begins in ASCII");

// Code of the keyword spelled (in any ASCII case) by the name s[0..n), or T_NAMEX.
// MIN and MAX stand for the operators "MIN$" and "MAX$".
constexpr int16_t keyword_code(const NQWChar* s, int32_t n) {
    const NQWChar first = ascii_upper(s[0]);
    if (first >= 128 || !is_ascii_letter(first)) return T_NAMEX;
    for (size_t i = kByFirst.start[first]; i < kByFirst.start[first + 1]; ++i) {
        const int16_t code = kByFirst.order[i];
        std::u32string_view sp = spelling(code);
        if (sp.back() == U'$') sp.remove_suffix(1);
        if (sp.size() != static_cast<size_t>(n)) continue;
        bool same = true;
        for (int32_t k = 1; k < n && same; ++k) same = ascii_upper(s[k]) == sp[k];
        if (same) return code;
    }
    return T_NAMEX;
}

// Longest operator or punctuation spelled at s[0..n) (n >= 1): its code, with its length
// in *used; 0 when no operator starts there.
constexpr int16_t operator_code(const NQWChar* s, int32_t n, int32_t* used) {
    int16_t best = 0;
    *used = 0;
    const NQWChar first = s[0];
    if (first >= 128 || is_ascii_letter(first)) return 0;
    for (size_t i = kByFirst.start[first]; i < kByFirst.start[first + 1]; ++i) {
        const int16_t code = kByFirst.order[i];
        const std::u32string_view sp = spelling(code);
        if (sp.size() > static_cast<size_t>(n) || static_cast<int32_t>(sp.size()) <= *used)
            continue;
        if (std::u32string_view(s, sp.size()) == sp) {
            best = code;
            *used = static_cast<int32_t>(sp.size());
        }
    }
    return best;
}

static_assert(keyword_code(U"between", 7) == K_BETWEEN);
static_assert(keyword_code(U"Min", 3) == K_MIN_DOLLAR);
static_assert(keyword_code(U"MIN$", 4) == T_NAMEX);
static_assert(keyword_code(U"l", 1) == K_L);
static_assert(keyword_code(U"ands", 4) == T_NAMEX);
static_assert([] {
    int32_t used = 0;
    return operator_code(U"**x", 3, &used) == P_STAR_STAR && used == 2;
}());
static_assert([] {
    int32_t used = 0;
    return operator_code(U"<>", 2, &used) == P_LESS_GREATER && used == 2 &&
           operator_code(U"a", 1, &used) == 0;
}());

}  // namespace etok

#endif  // ZORV_HOST_NQETOK_TERMINALS_H
