// What a cell holds, and its value in a row record: numbers in the clause language's forms
// with an optional sign, the missing-value literals, and characters as 4-byte units.
#ifndef ZORV_TABLE_CELLS_H
#define ZORV_TABLE_CELLS_H

#include <cstddef>
#include <cstdint>
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

// is_number for a cell of a block: 24 bytes from its start must be readable, as the
// padding after a block's end makes them for every cell of the block.
bool is_number_in_block(std::string_view cell);

// Writes a cell's characters (well-formed UTF-8, `chars` of them; at most width are
// written) to dst as width 4-byte units, blank-padded.
void put_chars(std::string_view cell, int32_t chars, int32_t width, std::byte* dst);

}  // namespace zorv::table

#endif
