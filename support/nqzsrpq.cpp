/* Quote removal for quoted literals: the text between the enclosing quotes moves to the
 * front of the buffer and each doubled quote inside collapses to one. */
#include "zorv/support.h"

/* s holds n characters, the first being the quote character and the last the closing
 * quote. Rewrites s in place, 0-terminated, and returns the characters kept. Doubled
 * quotes collapse pairwise, so four quotes in a row leave two. */
int nqzsrpq(NQWChar* s, int32_t n) {
    if (s == nullptr) return 0;
    if (n < 2) {
        if (n == 1) s[0] = 0;
        return 0;
    }
    const NQWChar q = s[0];
    const int32_t last = n - 1;
    s[last] = 0; /* the closing quote can never pair with a quote before it */
    int32_t out = 0;
    for (int32_t i = 1; i < last; i++) {
        s[out++] = s[i];
        if (s[i] == q && i + 1 < last && s[i + 1] == q) i++;
    }
    s[out] = 0;
    return out;
}
