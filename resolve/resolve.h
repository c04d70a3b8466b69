/* The resolver's internal routines, shared by its files and its tests: the walk that binds
 * and types a tree, the rewrite of chained comparisons with the subtree copy it needs, and
 * the binding of built-in function calls. ZORVResolve itself is declared in zorv/zorv.h.
 *
 * Every routine reaches the node store through the instance's slots. The recursive ones
 * (resolve_tree, copy_tree) are safe only because ZORVParse refuses trees deeper than
 * ZORV_MAX_DEPTH levels. */
#ifndef ZORV_RESOLVE_RESOLVE_H
#define ZORV_RESOLVE_RESOLVE_H

#include <array>
#include <cstdint>

#include "zorv/zorv.h"

/* One built-in function: its 8-bit name, the name's length in bytes, its argument count.
 * A bound call stores the row's index + 1 as its function number. */
struct ZBuiltin {
    const char* name;
    int32_t namelen;
    int32_t nargs;
};
inline constexpr std::array<ZBuiltin, 1> builtins = {{{"UPCASE", 6, 1}}};

int32_t resolve_tree(ZInst* inst, ZNode* node, NQJournal* jnl, ZLookup lookup, void* lookupctx);
int32_t do_range(ZInst* inst, ZNode* node);
ZNode* copy_tree(ZInst* inst, ZNode* node);
int32_t asgn_func(ZInst* inst, ZNode* node);

/* Gives node `bytes` of evaluation scratch space at the end of the instance's running
 * count (its workoff). False, with nothing changed, when the count would pass
 * ZORV_MAX_WORK. */
bool reserve_work(ZInst* inst, ZNode* node, int64_t bytes);

#endif
