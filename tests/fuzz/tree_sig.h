// A fingerprint of a tree (types, lengths, argument counts, constants and names, in
// preorder), for the targets' check that parsing the same text twice on one instance
// builds the same tree: state left over from the first clause would show as a difference.
#ifndef ZORV_TESTS_FUZZ_TREE_SIG_H
#define ZORV_TESTS_FUZZ_TREE_SIG_H

#include <cstdint>
#include <cstring>

#include "zorv/zorv.h"

namespace fuzzhost {

inline void mix(uint64_t& h, uint64_t v) {
    h = (h ^ v) * 0x100000001B3ull;
}

inline void mix_bytes(uint64_t& h, const void* p, size_t n) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i) mix(h, b[i]);
}

// Recursion is bounded: the parse driver refuses trees deeper than ZORV_MAX_DEPTH.
inline void signature(const ZNode* node, uint64_t& h) {
    if (!node) {
        mix(h, 0xFFFF);
        return;
    }
    mix(h, node->type);
    mix(h, static_cast<uint16_t>(node->vlen));
    if (node->type > 35) {
        const int32_t n = node->u.op.nargs;
        mix(h, static_cast<uint32_t>(n));
        const ZNode* block = node;
        for (int32_t i = 0; i < n && block; ++i) {
            if (i > 0 && i % Z_NODE_ARGS == 0) block = block->u.op.next;
            if (block) signature(block->u.op.args[i % Z_NODE_ARGS], h);
        }
        return;
    }
    switch (node->type) {
        case Z_LITN:
            mix_bytes(h, &node->u.litn.num, sizeof node->u.litn.num);
            break;
        case Z_LITC:
            if (node->u.litc.slen > 0 && node->u.litc.str)
                mix_bytes(h, node->u.litc.str, static_cast<size_t>(node->u.litc.slen));
            break;
        case Z_NAME:
            if (node->u.nm.namelen > 0 && node->u.nm.namelen <= 32)
                mix_bytes(h, node->u.nm.name, static_cast<size_t>(node->u.nm.namelen));
            break;
        default:
            break;
    }
}

inline uint64_t signature(const ZNode* root) {
    uint64_t h = 0xCBF29CE484222325ull;
    signature(root, h);
    return h;
}

}  // namespace fuzzhost

#endif
