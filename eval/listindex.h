/* The indexes of IN lists, built once a tree is final so that the evaluator's searches
 * need not walk the lists (see ListIndexEntry in frame/instance_tail.h, list_index and
 * ListReader in eval/eval.h). */
#ifndef ZORV_EVAL_LISTINDEX_H
#define ZORV_EVAL_LISTINDEX_H

#include "zorv/zorv.h"

/* Indexes every list searched by an IN, NIN, TIN or TNIN node of the subtree that can use
 * an index (numeric lists of constants, lists of more than Z_NODE_ARGS elements), unless
 * it has a current one already. Memory comes from the instance's arena; a list the arena
 * cannot index stays unindexed, which only makes its searches slower. */
void build_list_indexes(ZInst* inst, ZNode* tree);

#endif
