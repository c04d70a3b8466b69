/* UTF-8 encoding and decoding shared by the journal, its formatter and the transcoder.
 * Code points that are not Unicode scalar values (surrogates, values past U+10FFFF) and
 * malformed byte sequences become '?'. */
#ifndef ZORV_HOST_KERNEL_TEXT_H
#define ZORV_HOST_KERNEL_TEXT_H

#include <cstddef>
#include <string>

namespace zhost {

inline bool is_scalar(char32_t c) {
    return c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
}

/* Writes the UTF-8 form of c (at most 4 bytes) into out and returns its length. */
inline int utf8_encode(char32_t c, char* out) {
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

/* Decodes one character from [p, end) and advances p past it. A malformed sequence
 * (bad lead byte, missing continuation, overlong form, surrogate, out of range) gives '?'
 * and consumes one byte, so decoding always makes progress. */
inline char32_t utf8_decode(const unsigned char*& p, const unsigned char* end) {
    unsigned char b = *p++;
    if (b < 0x80) return b;
    int more;
    char32_t c, min;
    if ((b & 0xE0) == 0xC0) {
        more = 1, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
        more = 2, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
        more = 3, c = b & 0x07, min = 0x10000;
    } else {
        return U'?';
    }
    if (end - p < more) return U'?';
    for (int i = 0; i < more; ++i) {
        if ((p[i] & 0xC0) != 0x80) return U'?';
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (c < min || !is_scalar(c)) return U'?';
    p += more;
    return c;
}

/* Appends the UTF-8 form of n wide characters to out. */
inline void append_utf8(std::string& out, const char32_t* text, size_t n) {
    char bytes[4];
    for (size_t i = 0; i < n; ++i) out.append(bytes, utf8_encode(text[i], bytes));
}

}  // namespace zhost

#endif /* ZORV_HOST_KERNEL_TEXT_H */
