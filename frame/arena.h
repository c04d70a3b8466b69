/* Sizes of the instance arena. Blocks are carved top-down in 8-byte steps; the first word
 * of each block links to the block made before it. Pieces start right after that word,
 * so the same usable sizes hold whether the link is four bytes or eight. */
#ifndef ZORV_FRAME_ARENA_H
#define ZORV_FRAME_ARENA_H

#include <stdint.h>

namespace zarena {

constexpr int32_t kLinkBytes = static_cast<int32_t>(sizeof(void*));
constexpr int32_t kStep = 8;

/* The block ZORVCreate makes; it stays until the instance ends. */
constexpr int32_t kFirstBlockBytes = 2048;
constexpr int32_t kFirstBlockFree = 2040;

/* Every later block. */
constexpr int32_t kBlockBytes = 2040;
constexpr int32_t kBlockFree = 2032;

static_assert(kLinkBytes + kFirstBlockFree <= kFirstBlockBytes, "first block overrun");
static_assert(kLinkBytes + kBlockFree <= kBlockBytes, "block overrun");

/* A request raised to the arena's step; -1 when it cannot be served at all. */
constexpr int64_t rounded(int64_t size) {
    return size < 0 ? -1 : (size + kStep - 1) & ~static_cast<int64_t>(kStep - 1);
}

}  // namespace zarena

#endif
