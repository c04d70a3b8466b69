// What a cell holds, and its value in a row record: numbers in the clause language's forms
// with an optional sign, the missing-value literals, and characters as 4-byte units.
#ifndef ZORV_TABLE_CELLS_H
#define ZORV_TABLE_CELLS_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace zorv::table {

enum class CellClass {
    kEmpty,     // nothing but blanks: the ordinary missing value
    kNumber,    // [sign] digits [. digits] [e [sign] digits], or [sign] . digits ...
    kMissing,   // ".", "._" or "." and a letter, in any case
    kTooLarge,  // a number too large for a double
    kOther,     // anything else: text
};

// Classifies a cell, blanks around it aside. For kEmpty, kNumber and kMissing, *value is
// the cell's numeric value; a number too small for a double becomes zero.
CellClass classify(std::string_view cell, double* value);

// The value of a numeric cell, as classify gives it, or false when the cell is no number
// (kOther) or too large. Plain numbers take a short path straight to std::from_chars.
bool read_number(std::string_view cell, double* value);

// Whether a cell is numeric (read_number would succeed), without converting it when it is
// plainly a number of ordinary size.
bool is_number(std::string_view cell);

namespace bytes8 {

inline constexpr uint64_t kOnes = 0x0101010101010101;
inline constexpr uint64_t kHigh = 0x8080808080808080;

// The high bit of every byte of x that is zero.
inline uint64_t zero_bytes(uint64_t x) {
    return ~(((x & ~kHigh) + ~kHigh) | x | ~kHigh);
}

// Whether the 8 bytes of x are digits with at most one point; adds the point to *points.
inline bool digits_or_point(uint64_t x, int* points) {
    const uint64_t dots = zero_bytes(x ^ (kOnes * '.'));
    if ((dots & (dots - 1)) != 0) return false;
    *points += dots != 0;
    x += (dots >> 7) * 2;  // '.' + 2 is '0'
    return (((x - kOnes * '0') | (x + kOnes * (0x80 - '9' - 1))) & kHigh) == 0;
}

}  // namespace bytes8

// is_number for a cell of a block: 24 bytes from its start must be readable, as the
// padding after a block's end makes them for every cell of the block. The common forms,
// digits with at most one point after an optional minus, are checked eight bytes at a
// time, the bytes past the cell taken as digits.
inline bool is_number_in_block(std::string_view cell) {
    if constexpr (std::endian::native != std::endian::little) return is_number(cell);
    const char* p = cell.data();
    size_t n = cell.size();
    if (n > 0 && *p == '-') ++p, --n;
    if (n > 0 && n <= 16) {
        int points = 0;
        bool ok = true;
        for (size_t k = 0; k < n && ok; k += 8) {
            uint64_t x;
            std::memcpy(&x, p + k, 8);
            if (n - k < 8) {
                const uint64_t keep = (uint64_t{1} << (8 * (n - k))) - 1;
                x = (x & keep) | (bytes8::kOnes * '0' & ~keep);
            }
            ok = bytes8::digits_or_point(x, &points);
        }
        if (ok && points <= 1 && n > static_cast<size_t>(points)) return true;
    }
    return is_number(cell);
}

// Writes a cell's characters (well-formed UTF-8, `chars` of them; at most width are
// written) to dst as width 4-byte units, blank-padded.
void put_chars(std::string_view cell, int32_t chars, int32_t width, std::byte* dst);

}  // namespace zorv::table

#endif
