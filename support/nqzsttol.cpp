/* Decimal conversion of the digits at the start of a wide string. Overflow wraps in 32
 * bits, as the accumulation is done unsigned. */
#include <cstdint>

#include "zorv/support.h"

/* Leading blanks, an optional sign, then digits up to the first other character or 0
 * unit. No digits give 0. */
int32_t nqzsttol(const NQWChar* s) {
    while (*s == U' ') s++;
    bool negative = false;
    if (*s == U'+') {
        s++;
    } else if (*s == U'-') {
        negative = true;
        s++;
    }
    uint32_t value = 0;
    for (; *s >= U'0' && *s <= U'9'; s++) value = value * 10u + static_cast<uint32_t>(*s - U'0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}
