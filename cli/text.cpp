// Text input of the command line. Malformed UTF-8 (overlong forms, surrogates, code points
// above U+10FFFF) is refused, so every clause the library sees is well-formed text.
#include "cli/text.h"

#include <unistd.h>

#include <cerrno>

#include "support/utf8.h"

namespace zorv::cli {

std::optional<std::u32string> decode_utf8(const std::string& bytes, size_t* bad_offset) {
    std::u32string out;
    out.reserve(bytes.size());
    const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = begin + bytes.size();
    for (const unsigned char* p = begin; p < end;) {
        char32_t c;
        const int len = utf8::decode(p, end, &c);
        if (len == 0) {
            *bad_offset = static_cast<size_t>(p - begin);
            return std::nullopt;
        }
        out.push_back(c);
        p += len;
    }
    return out;
}

int read_all(int fd, std::string* out) {
    char buf[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got > 0) {
            out->append(buf, static_cast<size_t>(got));
        } else if (got == 0) {
            return 0;
        } else if (errno != EINTR) {
            return errno;
        }
    }
}

void skip_byte_order_mark(std::u32string* text) {
    if (!text->empty() && (*text)[0] == U'\uFEFF') text->erase(0, 1);
}

}  // namespace zorv::cli
