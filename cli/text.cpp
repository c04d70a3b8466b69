// UTF-8 decoding for the command line. Overlong forms, surrogates and code points above
// U+10FFFF are refused, so every clause the library sees is well-formed text.
#include "cli/text.h"

#include <iterator>

namespace zorv::cli {

std::optional<std::u32string> decode_utf8(const std::string& bytes, size_t* bad_offset) {
    std::u32string out;
    out.reserve(bytes.size());
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        char32_t cp;
        size_t len;
        if (b0 < 0x80) {
            cp = b0;
            len = 1;
        } else if (b0 >= 0xC2 && b0 <= 0xDF) {
            cp = b0 & 0x1F;
            len = 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            cp = b0 & 0x0F;
            len = 3;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            cp = b0 & 0x07;
            len = 4;
        } else {
            *bad_offset = i;
            return std::nullopt;
        }
        if (i + len > n) {
            *bad_offset = i;
            return std::nullopt;
        }
        for (size_t k = 1; k < len; ++k) {
            const auto b = static_cast<unsigned char>(bytes[i + k]);
            if ((b & 0xC0) != 0x80) {
                *bad_offset = i;
                return std::nullopt;
            }
            cp = (cp << 6) | (b & 0x3F);
        }
        const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
        if (overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) {
            *bad_offset = i;
            return std::nullopt;
        }
        out.push_back(cp);
        i += len;
    }
    return out;
}

std::string read_all(std::istream& in) {
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace zorv::cli
