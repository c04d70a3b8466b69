// The lexical rules of the tokenizer: one call scans one token of a line held in
// memory. Line handling, token records and messages live in tokenizer.cpp.
#ifndef ZORV_HOST_NQETOK_LEXER_H
#define ZORV_HOST_NQETOK_LEXER_H

#include <cstdint>

#include "zorv/nqhost.h"

namespace etok {

enum class LexError : uint8_t {
    kNone,
    kUnexpected,
    kUnterminated,
    kMalformed,
    kNumberTooLarge,  // beyond the largest double: it would convert to nothing
    kStringTooLong,   // a value longer than kMaxStringChars
    kNameTooWide,     // at most kMaxNameBytes characters, but more bytes in UTF-8
};

// Longest name, in bytes of UTF-8 (the host's 8-bit encoding). The library keeps a name
// in a field of 32 bytes: it refuses a name of more than 32 characters itself, but would
// cut one of fewer characters and more bytes, so that two names could become one.
inline constexpr int32_t kMaxNameBytes = 32;

// Longest value of a string constant, in characters. The library keeps a character
// constant's length in bytes (4 per character) in a 16-bit signed field, so 8191
// characters are the most it can hold; a longer value would come out cut or wrapped.
inline constexpr int32_t kMaxStringChars = 8191;

// Largest integer read as an "int" token: the library reads those as 32-bit integers.
// Any longer or larger integer literal is a "nbr" token, read as a double.
inline constexpr int32_t kMaxIntDigits = 10;
inline constexpr char32_t kMaxInt[] = U"2147483647";

// One scanned token. Positions are 0-based indexes into the line. The token covers
// [start, end); its text is [text, text + textlen), which differs from the covered
// characters only for a name literal ("..."n, whose text lies between the quotes).
// On an error, code is 0 and [start, end) is the offending text, which the scan skips.
struct Lexeme {
    int16_t code;
    LexError error;
    int32_t start;
    int32_t end;
    int32_t text;
    int32_t textlen;
};

// True for the characters that separate tokens: everything up to the blank.
constexpr bool is_space(NQWChar c) {
    return c <= U' ';
}

// Scans the token that starts at s[pos] (pos < len, s[pos] not a space).
Lexeme scan(const NQWChar* s, int32_t len, int32_t pos);

}  // namespace etok

#endif  // ZORV_HOST_NQETOK_LEXER_H
