// Scanning of one token: names, keywords and formats; quoted strings with their
// date, time, datetime and name-literal suffixes; numbers; missing values; operators.
#include "host/nqetok/lexer.h"

#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <new>
#include <string>

#include "host/nqetok/terminals.h"

namespace etok {
namespace {

Lexeme token(int16_t code, int32_t start, int32_t end) {
    return Lexeme{code, LexError::kNone, start, end, start, end - start};
}

Lexeme failure(LexError error, int32_t start, int32_t end) {
    return Lexeme{0, error, start, end, start, end - start};
}

int32_t skip_digits(const NQWChar* s, int32_t len, int32_t i) {
    while (i < len && is_digit(s[i])) ++i;
    return i;
}

int32_t skip_name_chars(const NQWChar* s, int32_t len, int32_t i) {
    while (i < len && is_name_char(s[i])) ++i;
    return i;
}

// Whether the name s[0..n) fits the library's name field; else the error to report. A
// name of more than kMaxNameBytes characters passes: the library refuses it, by length.
LexError name_fits(const NQWChar* s, int32_t n) {
    if (n > kMaxNameBytes) return LexError::kNone;
    int32_t bytes = 0;
    for (int32_t k = 0; k < n; ++k)
        bytes += s[k] < 0x80 ? 1 : s[k] < 0x800 ? 2 : s[k] < 0x10000 ? 3 : 4;
    return bytes > kMaxNameBytes ? LexError::kNameTooWide : LexError::kNone;
}

// A name, a keyword, or a format (a name run straight into '.' and optional digits).
// "MIN$" and "MAX$" may also be written with their '$'.
Lexeme scan_name(const NQWChar* s, int32_t len, int32_t pos) {
    int32_t end = skip_name_chars(s, len, pos + 1);
    if (end < len && s[end] == U'.') return token(T_FMT, pos, skip_digits(s, len, end + 1));
    int16_t code = keyword_code(s + pos, end - pos);
    if ((code == K_MIN_DOLLAR || code == K_MAX_DOLLAR) && end < len && s[end] == U'$') ++end;
    if (code == T_NAMEX) {
        const LexError e = name_fits(s + pos, end - pos);
        if (e != LexError::kNone) return failure(e, pos, end);
    }
    return token(code, pos, end);
}

// Whether the digits s[0..n) make an integer that the "int" class can carry: at most
// kMaxIntDigits digits (leading zeros included, so that the reader never sees a cut
// text) and a value of at most kMaxInt.
bool fits_int(const NQWChar* s, int32_t n) {
    if (n < kMaxIntDigits) return true;
    if (n > kMaxIntDigits) return false;
    for (int32_t k = 0; k < n; ++k)
        if (s[k] != static_cast<NQWChar>(kMaxInt[k]))
            return s[k] < static_cast<NQWChar>(kMaxInt[k]);
    return true;
}

// Whether the well-formed number s[0..n) lies beyond the largest double. It is read the
// way the locale reads numbers (strtod in the C locale), so that what passes here
// converts there; a value too small for a double merely becomes zero. Without memory for
// the copy the number passes, and the locale then meets the same shortage.
bool overflows_double(const NQWChar* s, int32_t n) {
    // Without an exponent, fewer than 309 characters stay below 1e308: no reading needed,
    // which spares every ordinary number (a long IN list has a million) a copy and strtod.
    bool exponent = false;
    for (int32_t k = 0; k < n && !exponent; ++k) exponent = s[k] == U'e' || s[k] == U'E';
    if (!exponent && n <= 308) return false;
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    if (!c_locale) return false;  // then the locale cannot read it either, and says so
    try {
        std::string ascii(static_cast<size_t>(n), '0');
        for (int32_t k = 0; k < n; ++k) ascii[static_cast<size_t>(k)] = static_cast<char>(s[k]);
        return std::isinf(strtod_l(ascii.c_str(), nullptr, c_locale));
    } catch (const std::bad_alloc&) {
        return false;
    }
}

// Digits with an optional fraction and exponent. Anything that would make the number run
// on into a name (12abc, 1.5x) or an exponent without digits (1e, 1e+) is malformed; the
// offending text then reaches over the name characters that follow.
Lexeme scan_number(const NQWChar* s, int32_t len, int32_t pos) {
    int32_t i = skip_digits(s, len, pos);
    bool real = false;
    if (i < len && s[i] == U'.') {
        real = true;
        i = skip_digits(s, len, i + 1);
    }
    bool bad = false;
    if (i < len && (s[i] == U'e' || s[i] == U'E')) {
        real = true;
        ++i;
        if (i < len && (s[i] == U'+' || s[i] == U'-')) ++i;
        if (i < len && is_digit(s[i]))
            i = skip_digits(s, len, i);
        else
            bad = true;
    }
    if (bad || (i < len && is_name_start(s[i])))
        return failure(LexError::kMalformed, pos, skip_name_chars(s, len, i));
    if (overflows_double(s + pos, i - pos)) return failure(LexError::kNumberTooLarge, pos, i);
    return token(real || !fits_int(s + pos, i - pos) ? T_NBR : T_INT, pos, i);
}

// A missing value: '.' alone, or '.' with one letter or '_' that no further name character
// follows (.A, ._). The caller has made sure no digit follows the '.'.
Lexeme scan_missing(const NQWChar* s, int32_t len, int32_t pos) {
    int32_t i = pos + 1;
    if (i < len && (is_ascii_letter(s[i]) || s[i] == U'_') &&
        !(i + 1 < len && is_name_char(s[i + 1])))
        return token(T_MISSING, pos, i + 1);
    return token(T_MISSING, pos, i);
}

// A quoted string; a doubled delimiter stands for one. A suffix counts only when it is
// the whole run of name characters after the closing quote: 'x'dt is a datetime, while in
// 'x'dtz the string is plain and dtz is the next token. A plain string whose value is
// longer than kMaxStringChars is an error; the other forms do not keep their text as a
// character value.
Lexeme scan_string(const NQWChar* s, int32_t len, int32_t pos) {
    const NQWChar quote = s[pos];
    int32_t i = pos + 1;
    int32_t value = 0;  // characters of the value
    for (;; ++value) {
        if (i >= len) return failure(LexError::kUnterminated, pos, len);
        if (s[i] == quote) {
            if (i + 1 < len && s[i + 1] == quote) {
                i += 2;
                continue;
            }
            ++i;
            break;
        }
        ++i;
    }
    const int32_t close = i;
    const int32_t run = skip_name_chars(s, len, close) - close;
    const NQWChar a = run >= 1 ? ascii_upper(s[close]) : 0;
    const NQWChar b = run >= 2 ? ascii_upper(s[close + 1]) : 0;
    if (run == 1 && a == U'D') return token(T_DATE, pos, close + 1);
    if (run == 1 && a == U'T') return token(T_TIME, pos, close + 1);
    if (run == 2 && a == U'D' && b == U'T') return token(T_DATETIME, pos, close + 2);
    if (run == 1 && a == U'N') {
        const LexError e = name_fits(s + pos + 1, close - pos - 2);
        if (e != LexError::kNone) return failure(e, pos, close + 1);
        return Lexeme{T_VLIT, LexError::kNone, pos, close + 1, pos + 1, close - pos - 2};
    }
    if (value > kMaxStringChars) return failure(LexError::kStringTooLong, pos, close);
    return token(T_QS, pos, close);
}

}  // namespace

Lexeme scan(const NQWChar* s, int32_t len, int32_t pos) {
    const NQWChar c = s[pos];
    if (is_name_start(c)) return scan_name(s, len, pos);
    if (is_digit(c) || (c == U'.' && pos + 1 < len && is_digit(s[pos + 1])))
        return scan_number(s, len, pos);
    if (c == U'.') return scan_missing(s, len, pos);
    if (c == U'\'' || c == U'"') return scan_string(s, len, pos);
    int32_t used = 0;
    if (int16_t code = operator_code(s + pos, len - pos, &used))
        return token(code, pos, pos + used);
    return failure(LexError::kUnexpected, pos, pos + 1);
}

}  // namespace etok
