/* Substring search in wide text: characters compare as whole 4-byte values, with no
 * case folding and no special treatment of blanks. */
#include "zorv/support.h"

/* Index of the first occurrence of the pattern in the text, or -1. An empty pattern
 * occurs at 0 in any text, even an empty one. */
int nqzsndx(const NQWChar* text, int32_t textlen, const NQWChar* pattern, int32_t patlen) {
    if (patlen <= 0) return 0;
    if (textlen <= 0) return -1;
    for (int32_t i = 0; i + patlen <= textlen; i++) {
        if (text[i] != pattern[0]) continue;
        int32_t k = 1;
        while (k < patlen && text[i + k] == pattern[k]) k++;
        if (k == patlen) return i;
    }
    return -1;
}
