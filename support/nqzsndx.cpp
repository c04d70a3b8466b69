/* Substring search in wide text: characters compare as whole 4-byte values, with no
 * case folding and no special treatment of blanks. */
#include "zorv/support.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

/* Whether the n characters at a and b agree (n may be 0 or less: nothing to compare).
 * Patterns are short words, so a plain loop beats a call. */
inline bool same_run(const NQWChar* a, const NQWChar* b, int32_t n) {
    for (int32_t k = 0; k < n; ++k)
        if (a[k] != b[k]) return false;
    return true;
}

}  // namespace

/* Index of the first occurrence of the pattern in the text, or -1. An empty pattern
 * occurs at 0 in any text, even an empty one.
 * Four start positions are tested at once where the processor allows: a position is a
 * candidate when the text there agrees with the pattern's first and last characters, and
 * only candidates, in increasing order, are compared in full. Every read stays within the
 * textlen characters given. */
int nqzsndx(const NQWChar* text, int32_t textlen, const NQWChar* pattern, int32_t patlen) {
    if (patlen <= 0) return 0;
    if (textlen <= 0 || patlen > textlen) return -1;
    const int32_t last = textlen - patlen; /* the last start position */
    const NQWChar first = pattern[0];
    const NQWChar final = pattern[patlen - 1];
#if defined(__SSE2__)
    /* Start positions p .. p + 3 read text[p .. p + 3] and text[p + patlen - 1 ..
     * p + patlen + 2], both within the text while p + 3 <= last. The final block is moved
     * back to end at `last`: the positions it tests again did not match before and do not
     * match now, so the first match found is still the first. */
    if (last >= 3) {
        const __m128i want_first = _mm_set1_epi32(static_cast<int>(first));
        const __m128i want_final = _mm_set1_epi32(static_cast<int>(final));
        for (int32_t p = 0;; p = p + 4 <= last - 3 ? p + 4 : last - 3) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p));
            const __m128i b =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + p + patlen - 1));
            const __m128i hit =
                _mm_and_si128(_mm_cmpeq_epi32(a, want_first), _mm_cmpeq_epi32(b, want_final));
            for (unsigned mask = static_cast<unsigned>(_mm_movemask_ps(_mm_castsi128_ps(hit)));
                 mask != 0; mask &= mask - 1) {
                const int32_t at = p + __builtin_ctz(mask);
                if (same_run(text + at + 1, pattern + 1, patlen - 2)) return at;
            }
            if (p == last - 3) return -1;
        }
    }
#endif
    for (int32_t i = 0; i <= last; ++i) {
        if (text[i] != first || text[i + patlen - 1] != final) continue;
        if (same_run(text + i + 1, pattern + 1, patlen - 2)) return i;
    }
    return -1;
}
