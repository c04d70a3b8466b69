// Terminal codes of the WHERE language as the tokenizer reports them: the token
// classes, and the spelled operators and keywords with their lookups (longest-match
// operators, case-insensitive keywords).
#ifndef ZORV_HOST_NQETOK_TERMINALS_H
#define ZORV_HOST_NQETOK_TERMINALS_H

#include <array>
#include <cstdint>
#include <string_view>

#include "zorv/nqhost.h"

namespace etok {

// Token classes: terminals whose text comes from the input rather than a spelling.
enum Code : int16_t {
    kEndjb = 1,
    kName = 2,
    kString = 3,
    kInt = 4,
    kNumber = 5,
    kFormat = 7,
    kDate = 8,
    kTime = 9,
    kDateTime = 10,
    kMissing = 11,
    kNameLiteral = 12,
    kSemicolon = 32,
    kMin = 57,
    kMax = 56,
    kEndOfInput = 74,
};

inline constexpr int16_t kFirstSpelled = 20;
inline constexpr int16_t kLastCode = kEndOfInput;

// Spellings of the terminals 20 to 73, in code order: entry i has code 20 + i.
inline constexpr std::array<std::u32string_view, 54> kSpellings = {
    U"!",    U"!!",   U"&",       U"(",     U")",       U"*",     U"**",    U"+",        U",",
    U"-",    U"/",    U":",       U";",     U"<",       U"<=",    U"<>",    U"=",        U">",
    U">=",   U"?",    U"ALSO",    U"AND",   U"BETWEEN", U"C",     U"CLEAR", U"CONTAINS", U"EQ",
    U"GE",   U"GT",   U"IN",      U"INPUT", U"IS",      U"L",     U"LE",    U"LIKE",     U"LT",
    U"MAX$", U"MIN$", U"MISSING", U"NE",    U"NOT",     U"NOTIN", U"NULL",  U"OR",       U"PUT",
    U"R",    U"SAME", U"UNDO",    U"^",     U"^=",      U"|",     U"||",    U"~",        U"~=",
};

static_assert(kSpellings[kSemicolon - kFirstSpelled] == U";");
static_assert(kSpellings[kMin - kFirstSpelled] == U"MIN$");
static_assert(kSpellings[kMax - kFirstSpelled] == U"MAX$");
static_assert(kFirstSpelled + kSpellings.size() == kEndOfInput);

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

// Code of the keyword spelled (in any ASCII case) by the name s[0..n), or kName.
// MIN and MAX stand for the operators "MIN$" and "MAX$".
constexpr int16_t keyword_code(const NQWChar* s, int32_t n) {
    for (size_t i = 0; i < kSpellings.size(); ++i) {
        std::u32string_view sp = kSpellings[i];
        if (!is_ascii_letter(sp[0])) continue;
        if (sp.back() == U'$') sp.remove_suffix(1);
        if (sp.size() != static_cast<size_t>(n)) continue;
        bool same = true;
        for (int32_t k = 0; k < n && same; ++k) same = ascii_upper(s[k]) == sp[k];
        if (same) return static_cast<int16_t>(kFirstSpelled + i);
    }
    return kName;
}

// Longest operator or punctuation spelled at s[0..n) (n >= 1): its code, with its length
// in *used; 0 when no operator starts there.
constexpr int16_t operator_code(const NQWChar* s, int32_t n, int32_t* used) {
    int16_t best = 0;
    *used = 0;
    for (size_t i = 0; i < kSpellings.size(); ++i) {
        std::u32string_view sp = kSpellings[i];
        if (is_ascii_letter(sp[0]) || sp.size() > static_cast<size_t>(n)) continue;
        if (static_cast<int32_t>(sp.size()) <= *used) continue;
        if (std::u32string_view(s, sp.size()) == sp) {
            best = static_cast<int16_t>(kFirstSpelled + i);
            *used = static_cast<int32_t>(sp.size());
        }
    }
    return best;
}

static_assert(keyword_code(U"between", 7) == 42);
static_assert(keyword_code(U"Min", 3) == kMin);
static_assert(keyword_code(U"MIN$", 4) == kName);
static_assert([] {
    int32_t used = 0;
    return operator_code(U"**x", 3, &used) == 26 && used == 2;
}());

}  // namespace etok

#endif  // ZORV_HOST_NQETOK_TERMINALS_H
