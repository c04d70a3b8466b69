/* UTF-8 encoding and decoding shared by the journal, its formatter and the transcoder.
 * Code points that are not Unicode scalar values (surrogates, values past U+10FFFF) and
 * malformed byte sequences become '?'. */
#ifndef ZORV_HOST_KERNEL_TEXT_H
#define ZORV_HOST_KERNEL_TEXT_H

#include <cstddef>
#include <string>

#include "support/utf8.h"

namespace zhost {

using utf8::is_scalar;

/* Writes the UTF-8 form of c (at most 4 bytes) into out and returns its length. */
inline int utf8_encode(char32_t c, char* out) {
    return utf8::encode(c, out);
}

/* Decodes one character from [p, end) and advances p past it. A malformed sequence gives
 * '?' and consumes one byte, so decoding always makes progress. */
inline char32_t utf8_decode(const unsigned char*& p, const unsigned char* end) {
    char32_t c;
    const int len = utf8::decode(p, end, &c);
    if (len == 0) {
        ++p;
        return U'?';
    }
    p += len;
    return c;
}

/* Appends the UTF-8 form of n wide characters to out: room for the longest form is made
 * once, and what was not used is cut off at the end. */
inline void append_utf8(std::string& out, const char32_t* text, size_t n) {
    const size_t at = out.size();
    out.resize(at + 4 * n);
    char* p = out.data() + at;
    for (size_t i = 0; i < n; ++i) p += utf8_encode(text[i], p);
    out.resize(static_cast<size_t>(p - out.data()));
}

}  // namespace zhost

#endif /* ZORV_HOST_KERNEL_TEXT_H */
