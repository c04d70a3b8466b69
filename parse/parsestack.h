/* The parse stack shared by the semantic actions: push and pop of holder levels and the
 * negation of predicate and comparison codes. Private to the parser folder. */
#ifndef ZORV_PARSE_PARSESTACK_H
#define ZORV_PARSE_PARSESTACK_H

#include <cstdint>

#include "zorv/zorv.h"

/* Slots added to the stack array each time it fills up (and its first length). */
constexpr int32_t kStackStep = 30;

/* Pushes a level: the slot above the current one becomes current and its holder is new or
 * cleared. Returns 0, or 1 when the array cannot grow or no holder can be made. */
int32_t yowspsh(ZParse* prs);

/* Drops a level and returns the holder of the level now current. Popping below level 0
 * reports the underflow and leaves the current slot where it was. */
ZNode* yowspop(ZParse* prs);

/* The negated form of a predicate or comparison code, or -1 for any other code. */
int32_t yowsnot(int32_t code);

#endif
