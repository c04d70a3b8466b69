// Bit masks of the bytes of a table that the readers must look at, 64 bytes at a time, so
// that the runs of plain text between them (most of a table) are passed over without a
// test and a branch per byte. SSE2 (both builds have it), with a plain loop elsewhere.
#ifndef ZORV_TABLE_BYTEMASK_H
#define ZORV_TABLE_BYTEMASK_H

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zorv::table {

// Bytes a buffer must have past its data's end, so that a window at any offset below the
// end can be read whole.
inline constexpr size_t kMaskPadding = 64;

// Masks of the 64 bytes at w; bit i of a mask stands for byte w[i].
//
// For the row scanner: the bytes it must look at are the delimiters, the line feeds and
// the `rare` ones (quotes, CR, NUL and bytes from 0x80 on).
struct StopMasks {
    uint64_t rare;
    uint64_t newline;
    uint64_t delim;
};
// For cutting blocks at row ends: quotes and line feeds.
struct QuoteMasks {
    uint64_t quote;
    uint64_t newline;
};

#if defined(__SSE2__)
inline uint64_t movemask16(__m128i x, int k) {
    return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(x)) & 0xFFFF) << (16 * k);
}
#endif

inline StopMasks stop_masks(const uint8_t* w, uint8_t delimiter) {
    StopMasks m{0, 0, 0};
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i newline = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i nul = _mm_setzero_si128();
    const __m128i delim = _mm_set1_epi8(static_cast<char>(delimiter));
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 16 * k));
        // The high bit of v marks the bytes from 0x80 on; those of the comparisons, matches.
        const __m128i quote_or_cr = _mm_or_si128(_mm_cmpeq_epi8(v, quote), _mm_cmpeq_epi8(v, cr));
        m.rare |= movemask16(_mm_or_si128(v, _mm_or_si128(quote_or_cr, _mm_cmpeq_epi8(v, nul))), k);
        m.newline |= movemask16(_mm_cmpeq_epi8(v, newline), k);
        m.delim |= movemask16(_mm_cmpeq_epi8(v, delim), k);
    }
#else
    for (int i = 0; i < 64; ++i) {
        const uint8_t b = w[i];
        const uint64_t bit = uint64_t{1} << i;
        if (b >= 0x80 || b == '"' || b == '\r' || b == 0) m.rare |= bit;
        if (b == '\n') m.newline |= bit;
        if (b == delimiter) m.delim |= bit;
    }
#endif
    return m;
}

// The number of set bits of x.
inline int count_bits(uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555;
    x = (x & 0x3333333333333333) + ((x >> 2) & 0x3333333333333333);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0F;
    return static_cast<int>((x * 0x0101010101010101) >> 56);
}

inline QuoteMasks quote_masks(const uint8_t* w) {
    QuoteMasks m{0, 0};
#if defined(__SSE2__)
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i newline = _mm_set1_epi8('\n');
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w + 16 * k));
        m.quote |= movemask16(_mm_cmpeq_epi8(v, quote), k);
        m.newline |= movemask16(_mm_cmpeq_epi8(v, newline), k);
    }
#else
    for (int i = 0; i < 64; ++i) {
        const uint64_t bit = uint64_t{1} << i;
        if (w[i] == '"') m.quote |= bit;
        if (w[i] == '\n') m.newline |= bit;
    }
#endif
    return m;
}

// Index of the lowest and of the highest set bit of a non-zero mask.
inline int lowest_bit(uint64_t m) {
    return __builtin_ctzll(m);
}
inline int highest_bit(uint64_t m) {
    return 63 - __builtin_clzll(m);
}

// The bits below bit i (0 <= i <= 64).
inline uint64_t bits_below(int i) {
    return i >= 64 ? ~uint64_t{0} : (uint64_t{1} << i) - 1;
}

}  // namespace zorv::table

#endif
