/* The journal's formatter. Conversions: d i u o x X (with the C length modifiers
 * hh h l ll z j t), c, s (wide) and hs (UTF-8), p, f F e E g G, and %%; flags - 0 + space #,
 * width and precision, either of which may be '*'. Floating point goes through
 * std::to_chars, so the output never depends on the process locale. */
#include "host/kernel/format.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "host/kernel/text.h"

namespace zhost {
namespace {

enum class Size { NONE, HH, H, L, LL, Z, J, T, LD };

struct Spec {
    bool left = false, zero = false, plus = false, space = false, alt = false;
    int width = 0;
    int prec = -1; /* -1: none given */
    Size size = Size::NONE;
};

/* Puts a field of len characters, produced by body, padded with blanks to the width. */
template <class Body>
void field(WideOut& out, const Spec& s, int len, Body body) {
    if (!s.left) out.repeat(U' ', s.width - len);
    body();
    if (s.left) out.repeat(U' ', s.width - len);
}

/* Sign or prefix, zero fill, then digits: the common shape of numeric fields. The zero
 * flag fills up to the width unless a precision (integers) or left alignment rules. */
void number(WideOut& out, const Spec& s, const char* prefix, int zeros, const char* digits,
            int ndigits, bool zero_fill) {
    int plen = static_cast<int>(std::strlen(prefix));
    int len = plen + zeros + ndigits;
    if (zero_fill && s.zero && !s.left && s.width > len) {
        zeros += s.width - len;
        len = s.width;
    }
    field(out, s, len, [&] {
        for (int i = 0; i < plen; ++i) out.put(static_cast<unsigned char>(prefix[i]));
        out.repeat(U'0', zeros);
        for (int i = 0; i < ndigits; ++i) out.put(static_cast<unsigned char>(digits[i]));
    });
}

void integer(WideOut& out, const Spec& s, char conv, bool negative, uintmax_t mag) {
    unsigned base = conv == 'o' ? 8 : (conv == 'x' || conv == 'X') ? 16 : 10;
    const char* alphabet = conv == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
    char tmp[64];
    int n = 0;
    for (uintmax_t v = mag; v != 0; v /= base) tmp[n++] = alphabet[v % base];
    if (mag == 0 && s.prec != 0) tmp[n++] = '0';
    char digits[64];
    for (int i = 0; i < n; ++i) digits[i] = tmp[n - 1 - i];
    int zeros = s.prec > n ? s.prec - n : 0;
    if (conv == 'o' && s.alt && zeros == 0 && (n == 0 || digits[0] != '0')) zeros = 1;
    const char* prefix = "";
    if (conv == 'd' || conv == 'i') {
        prefix = negative ? "-" : s.plus ? "+" : s.space ? " " : "";
    } else if (s.alt && mag != 0 && base == 16) {
        prefix = conv == 'X' ? "0X" : "0x";
    }
    number(out, s, prefix, zeros, digits, n, s.prec < 0);
}

void floating(WideOut& out, const Spec& s, char conv, double v) {
    char lower = static_cast<char>(conv | 0x20);
    std::chars_format how = lower == 'f'   ? std::chars_format::fixed
                            : lower == 'e' ? std::chars_format::scientific
                                           : std::chars_format::general;
    int prec = s.prec < 0 ? 6 : (s.prec > 500 ? 500 : s.prec);
    char buf[1100];
    auto res = std::to_chars(buf, buf + sizeof buf, v, how, prec);
    if (res.ec != std::errc()) return;
    *res.ptr = 0;
    const char* body = buf;
    bool negative = *body == '-';
    if (negative) ++body;
    bool finite = v - v == 0;
    if (conv != lower) {
        for (char* p = buf; *p; ++p)
            if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 0x20);
    }
    const char* prefix = negative ? "-" : s.plus ? "+" : s.space ? " " : "";
    number(out, s, prefix, 0, body, static_cast<int>(res.ptr - body), finite);
}

void wide_text(WideOut& out, const Spec& s, const NQWChar* text) {
    static const NQWChar null_text[] = U"(null)";
    if (!text) text = null_text;
    size_t n = s.prec >= 0 ? static_cast<size_t>(s.prec) : wide_length(text);
    field(out, s, static_cast<int>(n), [&] {
        for (size_t i = 0; i < n && !out.full(); ++i) out.put(text[i]);
    });
}

void byte_text(WideOut& out, const Spec& s, const char* text) {
    if (!text) text = "(null)";
    size_t nbytes = s.prec >= 0 ? static_cast<size_t>(s.prec) : std::strlen(text);
    const unsigned char* begin = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* end = begin + nbytes;
    int chars = 0;
    if (s.width > 0) {
        for (const unsigned char* p = begin; p < end; ++chars) utf8_decode(p, end);
    }
    field(out, s, chars, [&] {
        for (const unsigned char* p = begin; p < end && !out.full();) out.put(utf8_decode(p, end));
    });
}

template <class T>
T arg(va_list* ap) {
    return va_arg(*ap, T);
}

intmax_t signed_arg(va_list* ap, Size size) {
    switch (size) {
        case Size::HH:
            return static_cast<signed char>(arg<int>(ap));
        case Size::H:
            return static_cast<short>(arg<int>(ap));
        case Size::L:
            return arg<long>(ap);
        case Size::LL:
            return arg<long long>(ap);
        case Size::Z:
            return arg<std::make_signed_t<size_t>>(ap);
        case Size::J:
            return arg<intmax_t>(ap);
        case Size::T:
            return arg<ptrdiff_t>(ap);
        default:
            return arg<int>(ap);
    }
}

uintmax_t unsigned_arg(va_list* ap, Size size) {
    switch (size) {
        case Size::HH:
            return static_cast<unsigned char>(arg<unsigned>(ap));
        case Size::H:
            return static_cast<unsigned short>(arg<unsigned>(ap));
        case Size::L:
            return arg<unsigned long>(ap);
        case Size::LL:
            return arg<unsigned long long>(ap);
        case Size::Z:
            return arg<size_t>(ap);
        case Size::J:
            return arg<uintmax_t>(ap);
        case Size::T:
            return static_cast<uintmax_t>(arg<ptrdiff_t>(ap));
        default:
            return arg<unsigned>(ap);
    }
}

/* Reads flags, width, precision and size of one conversion starting at fmt[i] (just past
 * the '%'); returns the index of the conversion character. */
size_t read_spec(const NQWChar* fmt, size_t i, size_t n, Spec& s, va_list* ap) {
    for (; i < n; ++i) {
        char32_t c = fmt[i];
        if (c == '-')
            s.left = true;
        else if (c == '0')
            s.zero = true;
        else if (c == '+')
            s.plus = true;
        else if (c == ' ')
            s.space = true;
        else if (c == '#')
            s.alt = true;
        else
            break;
    }
    if (i < n && fmt[i] == '*') {
        s.width = arg<int>(ap);
        if (s.width < 0) {
            s.left = true;
            s.width = s.width == INT32_MIN ? 0 : -s.width;
        }
        ++i;
    } else {
        for (; i < n && fmt[i] >= '0' && fmt[i] <= '9'; ++i)
            s.width = s.width < 100000 ? s.width * 10 + static_cast<int>(fmt[i] - '0') : s.width;
    }
    if (i < n && fmt[i] == '.') {
        ++i;
        s.prec = 0;
        if (i < n && fmt[i] == '*') {
            s.prec = arg<int>(ap);
            if (s.prec < 0) s.prec = -1;
            ++i;
        } else {
            for (; i < n && fmt[i] >= '0' && fmt[i] <= '9'; ++i)
                s.prec = s.prec < 100000 ? s.prec * 10 + static_cast<int>(fmt[i] - '0') : s.prec;
        }
    }
    if (i < n) {
        switch (fmt[i]) {
            case 'h':
                s.size = (i + 1 < n && fmt[i + 1] == 'h') ? (++i, Size::HH) : Size::H;
                ++i;
                break;
            case 'l':
                s.size = (i + 1 < n && fmt[i + 1] == 'l') ? (++i, Size::LL) : Size::L;
                ++i;
                break;
            case 'z':
                s.size = Size::Z, ++i;
                break;
            case 'j':
                s.size = Size::J, ++i;
                break;
            case 't':
                s.size = Size::T, ++i;
                break;
            case 'L':
                s.size = Size::LD, ++i;
                break;
            default:
                break;
        }
    }
    return i;
}

void convert(WideOut& out, const NQWChar* fmt, int32_t fmtlen, va_list* ap) {
    size_t n = fmtlen > 0 ? static_cast<size_t>(fmtlen) : wide_length(fmt);
    size_t i = 0;
    while (i < n && !out.full()) {
        char32_t c = fmt[i++];
        if (c != '%') {
            out.put(c);
            continue;
        }
        size_t start = i - 1;
        Spec s;
        i = read_spec(fmt, i, n, s, ap);
        if (i >= n) { /* a conversion cut off by the end of the format stays as text */
            for (size_t j = start; j < n; ++j) out.put(fmt[j]);
            break;
        }
        char32_t conv = fmt[i++];
        switch (conv) {
            case '%':
                out.put(U'%');
                break;
            case 'd':
            case 'i': {
                intmax_t v = signed_arg(ap, s.size);
                uintmax_t mag =
                    v < 0 ? uintmax_t(0) - static_cast<uintmax_t>(v) : static_cast<uintmax_t>(v);
                integer(out, s, 'd', v < 0, mag);
                break;
            }
            case 'u':
            case 'o':
            case 'x':
            case 'X':
                integer(out, s, static_cast<char>(conv), false, unsigned_arg(ap, s.size));
                break;
            case 'c': {
                Spec f = s;
                f.prec = -1;
                char32_t ch = static_cast<char32_t>(arg<int>(ap));
                field(out, f, 1, [&] { out.put(ch); });
                break;
            }
            case 's':
                if (s.size == Size::H || s.size == Size::HH)
                    byte_text(out, s, arg<const char*>(ap));
                else
                    wide_text(out, s, arg<const NQWChar*>(ap));
                break;
            case 'p': {
                uintptr_t v = reinterpret_cast<uintptr_t>(arg<void*>(ap));
                Spec f = s;
                f.prec = -1;
                if (v == 0) {
                    static const NQWChar nil[] = U"(nil)";
                    wide_text(out, f, nil);
                } else {
                    f.alt = true;
                    integer(out, f, 'x', false, v);
                }
                break;
            }
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G': {
                double v = s.size == Size::LD ? static_cast<double>(arg<long double>(ap))
                                              : arg<double>(ap);
                floating(out, s, static_cast<char>(conv), v);
                break;
            }
            default: /* unknown conversion: shown as written, no argument taken */
                for (size_t j = start; j < i; ++j) out.put(fmt[j]);
                break;
        }
    }
}

}  // namespace

size_t wide_length(const NQWChar* s) {
    size_t n = 0;
    while (s[n] != 0) ++n;
    return n;
}

void format_wide(WideOut& out, const NQWChar* fmt, int32_t fmtlen, va_list ap) {
    va_list args;
    va_copy(args, ap);
    convert(out, fmt, fmtlen, &args);
    va_end(args);
}

NQStatus format_to_buffer(const NQWChar* fmt, int32_t fmtlen, NQWChar* buf, int32_t capacity,
                          int32_t* written, va_list ap) {
    if (written) *written = 0;
    if (!fmt || (capacity > 0 && !buf)) return NQ_STATUS_BAD_ARGUMENT;
    WideOut out(buf, capacity);
    format_wide(out, fmt, fmtlen, ap);
    if (written) *written = out.count();
    if (out.count() < capacity) buf[out.count()] = 0;
    return out.cut() ? NQ_STATUS_TRUNCATED : NQ_OK;
}

}  // namespace zhost
