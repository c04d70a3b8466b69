/* The 28 missing values: their canonical bit patterns in pvmissv_struct, the table
 * pointer nqmissv_table the rest of the library reads them through, and the two
 * operations that make (pvMissVal) and detect (pvMissArray) them. */
#include <bit>
#include <cstdint>
#include <cstring>

#include "zorv/support.h"

namespace {

/* Canonical pattern of rank r: 0xFFFF on top, the kind byte (256 - r) mod 256 below it,
 * and 40 zero bits. */
constexpr double canonical(int rank) {
    const uint64_t kind = static_cast<uint64_t>((256 - rank) & 0xFF);
    return std::bit_cast<double>(0xFFFF000000000000ull | (kind << 40));
}

/* A double is missing exactly when its top halfword is all ones; the test reads bits
 * only, so it never touches the floating-point unit. */
bool is_missing(const double* v) {
    uint64_t bits;
    std::memcpy(&bits, v, sizeof bits);
    return (bits >> 48) == 0xFFFF;
}

constexpr int kUnderscoreRank = 1;
constexpr int kOrdinaryRank = 2;
constexpr int kLetterARank = 3;

}  // namespace

/* Element 0 has no reader; elements 1..28 are the missing values in rank order. */
double pvmissv_struct[29] = {
    0.0,           canonical(1),  canonical(2),  canonical(3),  canonical(4),  canonical(5),
    canonical(6),  canonical(7),  canonical(8),  canonical(9),  canonical(10), canonical(11),
    canonical(12), canonical(13), canonical(14), canonical(15), canonical(16), canonical(17),
    canonical(18), canonical(19), canonical(20), canonical(21), canonical(22), canonical(23),
    canonical(24), canonical(25), canonical(26), canonical(27), canonical(28),
};

/* Index rank - 1 of this table is the canonical value of that rank. */
double* nqmissv_table = &pvmissv_struct[1];

/* The missing value a literal's code stands for: letters in either case give A..Z,
 * '_' and '-' the underscore value, anything else (including '.') the ordinary one. */
double pvMissVal(int code) {
    int rank = kOrdinaryRank;
    if (code >= 'A' && code <= 'Z')
        rank = kLetterARank + (code - 'A');
    else if (code >= 'a' && code <= 'z')
        rank = kLetterARank + (code - 'a');
    else if (code == '_' || code == '-')
        rank = kUnderscoreRank;
    return nqmissv_table[rank - 1];
}

/* 1 when any of the first count doubles is missing; stops at the first one found. */
int pvMissArray(const double* values, int count) {
    for (int i = 0; i < count; i++)
        if (is_missing(&values[i])) return 1;
    return 0;
}
