// Cell values. Numbers are checked against the clause language's number forms first and
// only then converted with std::from_chars, so the two can never disagree on what counts
// as a number. Missing values come from the library's table, never from patterns of ours.
#include "table/cells.h"

#include <charconv>
#include <cstring>
#include <system_error>

#include "support/utf8.h"
#include "zorv/support.h"

namespace zorv::table {
namespace {

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_letter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Whether a number the converter found out of range is too small rather than too large:
// the decimal exponent of its first significant digit is negative. The exponent is read
// with saturation, so no text can overflow the estimate.
bool underflows(std::string_view s) {
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    int64_t magnitude = 0;
    bool found = false;
    for (; i < s.size() && is_digit(s[i]); ++i) {
        if (found) ++magnitude;
        if (!found && s[i] != '0') found = true;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        for (int64_t k = 1; i < s.size() && is_digit(s[i]); ++i, ++k)
            if (!found && s[i] != '0') found = true, magnitude = -k;
    }
    int64_t exponent = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
        for (; i < s.size() && is_digit(s[i]); ++i)
            if (exponent < 1000000000) exponent = exponent * 10 + (s[i] - '0');
    }
    return magnitude + (negative ? -exponent : exponent) < 0;
}

// Whether s is a number in the clause language's forms, with an optional sign; *exponent
// tells whether it has an exponent part.
bool number_form(std::string_view s, bool* exponent) {
    *exponent = false;
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t digits = 0;
    for (; i < s.size() && is_digit(s[i]); ++i) ++digits;
    if (i < s.size() && s[i] == '.')
        for (++i; i < s.size() && is_digit(s[i]); ++i) ++digits;
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        *exponent = true;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
        if (i >= s.size() || !is_digit(s[i])) return false;
        while (i < s.size() && is_digit(s[i])) ++i;
    }
    return i == s.size();
}

}  // namespace

CellClass classify(std::string_view cell, double* value) {
    size_t from = 0, to = cell.size();
    while (from < to && cell[from] == ' ') ++from;
    while (to > from && cell[to - 1] == ' ') --to;
    const std::string_view s = cell.substr(from, to - from);
    if (s.empty()) {
        *value = pvMissVal('.');
        return CellClass::kEmpty;
    }
    if (s[0] == '.' && (s.size() == 1 || (s.size() == 2 && (is_letter(s[1]) || s[1] == '_')))) {
        *value = pvMissVal(s.size() == 1 ? '.' : s[1]);
        return CellClass::kMissing;
    }
    bool exponent;
    if (!number_form(s, &exponent)) return CellClass::kOther;
    // from_chars takes no '+'; a '-' it reads itself.
    const char* first = s.data() + (s[0] == '+' ? 1 : 0);
    const char* last = s.data() + s.size();
    double v = 0;
    const auto [ptr, ec] = std::from_chars(first, last, v);
    if (ec == std::errc::result_out_of_range) {
        if (!underflows(s)) return CellClass::kTooLarge;
        v = s[0] == '-' ? -0.0 : 0.0;
    } else if (ec != std::errc() || ptr != last) {
        return CellClass::kOther;
    }
    *value = v;
    return CellClass::kNumber;
}

// Exact powers of ten: every one up to 10^22 is a double.
constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

bool read_number(std::string_view cell, double* value) {
    // The shortest path: a plain decimal of at most 15 digits is its digits, an exact
    // integer, divided by an exact power of ten; one division of exact values rounds
    // correctly, so the value is the one from_chars gives.
    const char* p = cell.data();
    const char* const end = p + cell.size();
    const bool negative = p < end && *p == '-';
    p += negative;
    uint64_t digits = 0;
    int count = 0, scale = -1;  // scale: digits after the point, -1 before one
    for (; p < end; ++p) {
        const unsigned d = static_cast<unsigned char>(*p) - '0';
        if (d < 10) {
            digits = digits * 10 + d;
            ++count;
            scale += scale >= 0;
        } else if (*p == '.' && scale < 0) {
            scale = 0;
        } else {
            break;
        }
    }
    if (p == end && count > 0 && count <= 15) {
        double v = static_cast<double>(digits);
        if (scale > 0) v /= kPowersOfTen[scale];
        *value = negative ? -v : v;
        return true;
    }
    // The short path: a cell that opens like a number and that from_chars reads whole. The
    // opening rules out what from_chars reads and the language does not ("inf", "nan").
    const size_t n = cell.size();
    if (n > 0 &&
        (is_digit(cell[0]) || (cell[0] == '-' && n > 1 && (is_digit(cell[1]) || cell[1] == '.')))) {
        const auto [ptr, ec] = std::from_chars(cell.data(), cell.data() + n, *value);
        if (ec == std::errc() && ptr == cell.data() + n) return true;
    } else if (n == 0) {
        static const double missing = pvMissVal('.');
        *value = missing;
        return true;
    }
    const CellClass k = classify(cell, value);
    return k != CellClass::kOther && k != CellClass::kTooLarge;
}

bool is_number(std::string_view cell) {
    bool exponent;
    if (cell.size() < 300 && number_form(cell, &exponent) && !exponent) return true;
    double value;
    const CellClass k = classify(cell, &value);
    return k != CellClass::kOther && k != CellClass::kTooLarge;
}

void put_chars(std::string_view cell, int32_t chars, int32_t width, std::byte* dst) {
    int32_t n = 0;
    if (static_cast<size_t>(chars) == cell.size()) {  // ASCII: one byte a character
        const int32_t k = chars < width ? chars : width;
        for (; n < k; ++n) {
            const char32_t c = static_cast<unsigned char>(cell[static_cast<size_t>(n)]);
            std::memcpy(dst + 4 * n, &c, 4);
        }
    } else {
        const auto* p = reinterpret_cast<const unsigned char*>(cell.data());
        const auto* end = p + cell.size();
        while (p < end && n < width) {
            char32_t c;
            int len = utf8::decode(p, end, &c);
            if (len == 0) c = U'?', len = 1;  // the scanner lets no malformed text through
            std::memcpy(dst + 4 * n++, &c, 4);
            p += len;
        }
    }
    const char32_t blank = U' ';
    for (; n < width; ++n) std::memcpy(dst + 4 * n, &blank, 4);
}

}  // namespace zorv::table
