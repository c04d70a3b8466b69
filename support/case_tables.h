/* The five case-mapping tables shared by nqzstup, nqzstlo and nqzseqn; their contents are
 * generated into case_tables.cpp by tools/gen_case_tables.py. Internal to the library. */
#ifndef ZORV_SUPPORT_CASE_TABLES_H
#define ZORV_SUPPORT_CASE_TABLES_H

#include <stdint.h>

namespace zorv {

/* One entry per block of 128 code points of U+0000..U+FFFF: -1 when the block has no
 * mappings, else the index at which its 128 deltas start in upshift and downshift. */
extern const int16_t metatable[512];

/* What to add to a character to get its upper (lower) case form; 0 for none, and
 * kCaseEscape to look the character up in upaux (downaux) instead. */
extern const int8_t upshift[2432];
extern const int8_t downshift[2432];

/* (from, to) pairs of mappings too far for a delta, ended by a 0 word. No to-value is
 * also a from-value, so a character matches at most one pair. */
extern const uint32_t upaux[41];
extern const uint32_t downaux[39];

inline constexpr int kCaseEscape = -128;

static_assert(sizeof(metatable) == 1024 && sizeof(upshift) == 19 * 128 && sizeof(upaux) == 164 &&
              sizeof(downaux) == 156);

}  // namespace zorv

#endif /* ZORV_SUPPORT_CASE_TABLES_H */
