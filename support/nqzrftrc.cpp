/* Widening of shortened numeric fields. A column narrower than 8 bytes keeps the most
 * significant bytes of its double, which on this little-endian layout are the last ones. */
#include <cstring>

#include "zorv/support.h"

/* Fills *target from an L-byte field: zeros below, the field's bytes at offset 8 - L.
 * A missing value stays missing for L >= 2, since its top halfword survives. */
int nqzrftrc(const void* field, int length, double* target) {
    unsigned char bytes[sizeof(double)] = {};
    std::memcpy(bytes + sizeof(double) - length, field, static_cast<size_t>(length));
    std::memcpy(target, bytes, sizeof bytes);
    return 0;
}
