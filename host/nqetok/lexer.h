// The lexical rules of the tokenizer: one call scans one token of a line held in
// memory. Line handling, token records and messages live in tokenizer.cpp.
#ifndef ZORV_HOST_NQETOK_LEXER_H
#define ZORV_HOST_NQETOK_LEXER_H

#include <cstdint>

#include "zorv/nqhost.h"

namespace etok {

enum class LexError : uint8_t { kNone, kUnexpected, kUnterminated, kMalformed };

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
