// Table-driven, locale-free case mapping of wide text: upper- and lower-casing in place and
// caseless equality. Only U+0000..U+FFFF characters of the blocks in metatable have a
// mapping; everything else maps to itself.
#include "support/case_tables.h"
#include "zorv/support.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Maps one character through a direction's delta rows and aux list. The unit is read as an
// unsigned code, so every unit from 0x10000 up (0x80000000 and beyond included) is left
// alone. An escape whose character has no aux pair leaves it unchanged too.
inline NQWChar map_char(NQWChar c, const int8_t* shift, const uint32_t* aux) {
    const uint32_t u = static_cast<uint32_t>(c);
    if (u > 0xFFFF) return c;
    const int m = zorv::metatable[u >> 7];
    if (m < 0) return c;
    const int d = shift[m + (u & 127)];
    if (d != zorv::kCaseEscape) return static_cast<NQWChar>(u + static_cast<uint32_t>(d));
    for (const uint32_t* p = aux; *p != 0; p += 2) {
        if (p[0] == u) return static_cast<NQWChar>(p[1]);
    }
    return c;
}

inline NQWChar upper_of(NQWChar c) {
    return map_char(c, zorv::upshift, zorv::upaux);
}
inline NQWChar lower_of(NQWChar c) {
    return map_char(c, zorv::downshift, zorv::downaux);
}

}  // namespace

// Upper-cases the n characters at text in place; n <= 0 does nothing. Plain ASCII, the
// usual text of a row, is mapped without the tables: there only a..z have an upper case.
// Four characters are taken at once where the processor allows and all four are ASCII.
extern "C" void nqzstup(NQWChar* text, int32_t n) {
    int32_t i = 0;
#if defined(__SSE2__)
    const __m128i before_a = _mm_set1_epi32('a' - 1), after_z = _mm_set1_epi32('z' + 1);
    const __m128i shift = _mm_set1_epi32('a' - 'A');
    for (; i + 4 <= n; i += 4) {
        __m128i* at = reinterpret_cast<__m128i*>(text + i);
        const __m128i v = _mm_loadu_si128(at);
        // ASCII when no bit above the low seven is set, whatever the sign bit says
        const __m128i high = _mm_srli_epi32(v, 7);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(high, _mm_setzero_si128())) != 0xFFFF) break;
        const __m128i lower =
            _mm_and_si128(_mm_cmpgt_epi32(v, before_a), _mm_cmplt_epi32(v, after_z));
        _mm_storeu_si128(at, _mm_sub_epi32(v, _mm_and_si128(lower, shift)));
    }
#endif
    for (; i < n; ++i) {
        const uint32_t u = static_cast<uint32_t>(text[i]);
        if (u < 0x80)
            text[i] = u - 'a' < 26u ? static_cast<NQWChar>(u - ('a' - 'A')) : text[i];
        else
            text[i] = upper_of(text[i]);
    }
}

// Lower-cases the n characters at text in place; n <= 0 does nothing.
extern "C" void nqzstlo(NQWChar* text, int32_t n) {
    for (int32_t i = 0; i < n; ++i) text[i] = lower_of(text[i]);
}

// 1 when the texts have the same length and agree position by position once both sides
// are lower-cased, else 0. Lengths are compared first so unequal texts cost nothing.
extern "C" int nqzseqn(const NQWChar* a, int32_t na, const NQWChar* b, int32_t nb) {
    if (na != nb) return 0;
    for (int32_t i = 0; i < na; ++i) {
        if (a[i] != b[i] && lower_of(a[i]) != lower_of(b[i])) return 0;
    }
    return 1;
}
