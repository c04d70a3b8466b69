/* The parse stack: an array of holder nodes in arena memory, one per level, that the
 * semantic actions push and pop while the tree grows. Holders stay in their slots for the
 * whole parse and are cleared when their level is pushed again. */
#include "parse/parsestack.h"

#include <cassert>
#include <cstring>

#include "frame/frame.h"
#include "frame/nodekinds.h"
#include "zorv/support.h"

/* stktop is the slot of level stki, held at the array's ends while stki is outside it: one
 * below after an underflow, or past the last slot after a growth that failed. */
[[maybe_unused]] static bool top_matches_level(const ZParse* prs) {
    if (prs->stk == nullptr) return true;
    const int32_t i = prs->stki < 0 ? 0 : prs->stki >= prs->stkcap ? prs->stkcap - 1 : prs->stki;
    return prs->stktop == prs->stk + i;
}

/* Grows the array by kStackStep slots, keeping the holders of the old slots; the new
 * slots start null. Returns false when the arena is exhausted. */
static bool grow_stack(ZParse* prs) {
    ZInst* inst = prs->inst;
    const int32_t cap = prs->stkcap + kStackStep;
    auto* slots =
        static_cast<ZNode**>(inst->Alloc(inst, cap * static_cast<int32_t>(sizeof(ZNode*))));
    if (slots == nullptr) return false;
    std::memset(slots, 0, static_cast<size_t>(cap) * sizeof(ZNode*));
    if (prs->stk != nullptr && prs->stkcap > 0)
        std::memcpy(slots, prs->stk, static_cast<size_t>(prs->stkcap) * sizeof(ZNode*));
    prs->stk = slots;
    prs->stkcap = cap;
    prs->stktop = slots + prs->stki;
    return true;
}

/* stki is raised before the array grows, so a failed growth leaves it one above the last
 * slot; the engine ends the parse on the failure this reports. */
int32_t yowspsh(ZParse* prs) {
    assert(top_matches_level(prs));
    prs->stki++;
    if (prs->stki < prs->stkcap) {
        prs->stktop++;
    } else if (!grow_stack(prs)) {
        return 1;
    }
    ZNode** slot = prs->stktop;
    assert(slot == prs->stk + prs->stki && prs->stki < prs->stkcap);
    if (*slot == nullptr) {
        ZInst* inst = prs->inst;
        *slot = inst->NewOp(inst, Z_NULL);
        if (*slot == nullptr) return 1;
    } else {
        **slot = opzero;
    }
    return 0;
}

ZNode* yowspop(ZParse* prs) {
    assert(top_matches_level(prs));
    prs->stki--;
    if (prs->stki < 0) {
        if (prs->jnl != nullptr)
            nqlMessageToJnl(prs->jnl, NQ_LEVEL_ERROR, U"BUG: underflow yow stack", 0);
    } else {
        prs->stktop--;
    }
    return prs->stktop != nullptr ? *prs->stktop : nullptr;
}

int32_t yowsnot(int32_t code) {
    return zkind::negated(code);
}
