/* The node store: arena memory carved from the instance's blocks, nodes taken from the free
 * list or the arena, and the argument lists of operators, whose slots beyond the fifteenth
 * continue in chained overflow blocks. */
#include <cassert>
#include <cstring>

#include "frame/arena.h"
#include "frame/frame.h"
#include "frame/instance_tail.h"

const ZNode opzero = {};

namespace {

constexpr int32_t kSlots = Z_NODE_ARGS;

ZNode*& link_of(ZNode* block) {
    return block->u.op.next;
}

/* Appends value at position i = nargs (at least 15) from where the last store into the
 * node's chain landed. Returns false, having changed nothing, when the cursor does not
 * reach that far (another node, a chain that changed, or a position not in the cursor's
 * block or the one after it); the caller then walks the chain. A block that cannot be
 * had leaves the node as it was, as in the walk. */
bool append_from_cursor(ZInst* inst, ZNode* node, int32_t i, ZNode* value) {
    AppendCursor& c = append_cursor(inst);
    const int32_t depth = i / kSlots;
    if (c.node != node || c.first == nullptr || c.first != link_of(node)) return false;
    // The cursor is set only by a store that landed in an overflow block of the node.
    assert(c.block != nullptr && c.depth >= 1);
    ZNode* block = c.block;
    if (depth == c.depth + 1) {
        ZNode* next = link_of(block);
        if (!next) {
            next = inst->NewOp(inst, Z_NULL);
            if (!next) return true;
            link_of(block) = next;
        }
        block = next;
    } else if (depth != c.depth) {
        return false;
    }
    block->u.op.args[i % kSlots] = value;
    node->u.op.nargs = i + 1;
    c.block = block;
    c.depth = depth;
    return true;
}

}  // namespace

/* Returns at least `size` bytes of arena memory that lives until the next reset, or null
 * when the pool refuses a block. Ordinary requests are cut from the top of the current
 * block downwards. A request that no ordinary block could hold gets a dedicated block of
 * its own size, chained on top like any other block so that ZORVReset releases it; that
 * block counts as full, so the rest of the block it covers is given up. Such requests are
 * rare: a character constant of more than 507 characters or a parse stack of more than
 * 508 slots. */
void* ZORVAlloc(ZInst* inst, int32_t size) {
    using namespace zarena;
    assert(inst->arena != nullptr && inst->arenafree >= 0 && inst->arenafree % kStep == 0);
    const int64_t r = rounded(size);
    if (r < 0) return nullptr;
    if (r > inst->arenafree) {
        const bool dedicated = r > kBlockFree;
        const int64_t bytes = dedicated ? kLinkBytes + r : kBlockBytes;
        if (bytes > UINT32_MAX) return nullptr;
        void* block = inst->pool->Alloc(inst->pool, static_cast<uint32_t>(bytes), 0);
        if (!block) return nullptr;
        *static_cast<void**>(block) = inst->arena;
        inst->arena = block;
        if (dedicated) {
            inst->arenafree = 0;
            return static_cast<char*>(block) + kLinkBytes;
        }
        inst->arenafree = kBlockFree;
    }
    inst->arenafree -= static_cast<int32_t>(r);
    return static_cast<char*>(inst->arena) + kLinkBytes + inst->arenafree;
}

/* A cleared node of the given type: the head of the free list when there is one, else a
 * fresh arena piece. Null when the arena cannot grow. */
ZNode* ZORVNewOp(ZInst* inst, int32_t type) {
    ZNode* node = inst->nodefree;
    if (node) {
        inst->nodefree = link_of(node);
    } else {
        node = static_cast<ZNode*>(inst->Alloc(inst, static_cast<int32_t>(sizeof(ZNode))));
        if (!node) return nullptr;
    }
    std::memcpy(node, &opzero, sizeof(ZNode));
    node->type = static_cast<uint16_t>(type);
    return node;
}

/* Puts the node on the free list; its other bytes are left as they are until reuse. */
void ZORVFreeOp(ZInst* inst, ZNode* node) {
    if (!node) return;
    assert(node != inst->nodefree && "a node freed twice would make the free list a cycle");
    forget_append_cursor(inst);
    node->reserved20 = 0;  // a list index mark must not outlive the list
    note_tree_change(inst);
    link_of(node) = inst->nodefree;
    inst->nodefree = node;
}

/* Argument i of an operator, or null for an index outside 0 .. nargs-1. */
ZNode* ZORVGet(ZInst*, ZNode* node, int32_t i) {
    if (!node || i < 0 || i >= node->u.op.nargs) return nullptr;
    ZNode* block = node;
    while (i >= kSlots) {
        block = link_of(block);
        assert(block && "an operator's chain holds blocks for all its nargs slots");
        if (!block) return nullptr;
        i -= kSlots;
    }
    return block->u.op.args[i];
}

/* Stores value as argument i; i = -1 appends after the last argument. Setting beyond
 * nargs makes the positions in between read as null: the block that holds position nargs
 * is cleared from there on and cut off from later blocks (which are dropped, not freed),
 * and the missing overflow blocks are created. All overflow blocks needed are taken
 * before anything is changed, so when one cannot be had the node is left exactly as it
 * was; the caller has no status to learn of it. An append continues from the block where
 * the last store into the node's chain landed, so building a long list does not walk the
 * chain again for every argument. */
void ZORVSet(ZInst* inst, ZNode* node, int32_t i, ZNode* value) {
    if (!node) return;
    node->reserved20 = 0;  // the list changes: its index, if any, is no longer trusted
    note_tree_change(inst);
    const int32_t nargs = node->u.op.nargs;
    if (i == -1) i = nargs;
    if (i < 0) return;
    if (i == nargs && i >= kSlots && append_from_cursor(inst, node, i, value)) return;

    // The block holding position nargs, when the chain reaches it, is where a growth
    // past nargs cuts the chain.
    ZNode* cut = nullptr;
    int32_t cutfrom = 0;
    if (i > nargs && nargs >= 0) {
        ZNode* block = node;
        int32_t p = nargs;
        while (p >= kSlots && block) {
            block = link_of(block);
            p -= kSlots;
        }
        cut = block;
        cutfrom = p;
    }

    // Blocks that stay reachable, up to the depth of position i, and those still missing.
    const int32_t depth = i / kSlots;
    int32_t have = 0;
    for (ZNode* block = node; block && have <= depth;
         block = block == cut ? nullptr : link_of(block))
        ++have;
    ZNode* spare = nullptr;
    for (int32_t k = have; k <= depth; ++k) {
        ZNode* block = inst->NewOp(inst, Z_NULL);
        if (!block) {
            while (spare) {
                ZNode* next = link_of(spare);
                inst->FreeOp(inst, spare);
                spare = next;
            }
            return;
        }
        link_of(block) = spare;
        spare = block;
    }

    if (cut) {
        for (int32_t p = cutfrom; p < kSlots; ++p) cut->u.op.args[p] = nullptr;
        link_of(cut) = nullptr;
        forget_append_cursor(inst);
    }
    if (i >= nargs) node->u.op.nargs = i + 1;

    ZNode* block = node;
    while (i >= kSlots) {
        if (!link_of(block)) {
            assert(spare && "the blocks counted above are the blocks missing here");
            ZNode* fresh = spare;
            spare = link_of(fresh);
            link_of(fresh) = nullptr;
            link_of(block) = fresh;
        }
        block = link_of(block);
        i -= kSlots;
    }
    assert(!spare && "every block taken in advance is linked in");
    block->u.op.args[i] = value;
    if (block != node) append_cursor(inst) = AppendCursor{node, link_of(node), block, depth};
}
