/* UTF-8 encoding and decoding, header-only, shared by the library (names of the host's
 * 8-bit encoding), the host runtime (journal, formatter, transcoder) and the command line
 * (clause arguments). Only Unicode scalar values are ever produced or accepted. */
#ifndef ZORV_SUPPORT_UTF8_H
#define ZORV_SUPPORT_UTF8_H

#include <cstddef>

namespace utf8 {

inline bool is_scalar(char32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

/* Writes the UTF-8 form of c (at most 4 bytes) into out and returns its length; what is
 * not a scalar value is written as '?'. */
inline int encode(char32_t c, char* out) {
    if (!is_scalar(c)) c = U'?';
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | (c >> 6));
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (c >> 12));
        out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (c >> 18));
    out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

/* Decodes the character at p (p < end) into *out and returns the number of bytes it
 * takes, or 0 for a malformed sequence: a bad lead byte, a missing continuation byte, an
 * overlong form, a surrogate or a value past U+10FFFF. */
inline int decode(const unsigned char* p, const unsigned char* end, char32_t* out) {
    const unsigned char b = *p;
    if (b < 0x80) {
        *out = b;
        return 1;
    }
    int more;
    char32_t c, min;
    if ((b & 0xE0) == 0xC0) {
        more = 1, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        more = 2, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        more = 3, c = b & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (end - p - 1 < more) return 0;
    for (int i = 1; i <= more; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (c < min || !is_scalar(c)) return 0;
    *out = c;
    return more + 1;
}

}  // namespace utf8

#endif /* ZORV_SUPPORT_UTF8_H */
