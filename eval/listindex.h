/* The indexes of long IN lists, built once a tree is final so that the evaluator's binary
 * searches reach any element in constant time (see ListIndexEntry in
 * frame/instance_tail.h and ListReader in eval/eval.h). */
#ifndef ZORV_EVAL_LISTINDEX_H
#define ZORV_EVAL_LISTINDEX_H

#include "zorv/zorv.h"

/* Indexes every list of more than Z_NODE_ARGS elements searched by an IN, NIN, TIN or TNIN
 * node of the subtree, unless it has a current index already. Memory comes from the
 * instance's arena; a list the arena cannot index stays unindexed, which only makes its
 * searches walk. */
void build_list_indexes(ZInst* inst, ZNode* tree);

#endif
