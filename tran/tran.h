/* The transformer's internal routines, shared by its files: the driver and its passes, the
 * merging of predicates under AND and OR, IN lists, BETWEEN and sets, the comparisons of
 * constant nodes, the range and set algebra, and tree copy and free. Private to tran/ and
 * its tests; the public operations (ZORVTran, ZORVAnd, ZORVMakeTrue, ZORVTruthOf) are
 * declared in zorv/zorv.h.
 *
 * Every routine reaches the node store through the instance's slots. Recursive walks over a
 * tree rely on the parse driver's bound on tree depth. */
#ifndef ZORV_TRAN_TRAN_H
#define ZORV_TRAN_TRAN_H

#include <cstdint>

#include "frame/missing.h"
#include "zorv/support.h"
#include "zorv/zorv.h"

/* ---- driver and passes ---- */
using PassFn = int32_t (*)(ZNode* node, ZInst* inst, NQJournal* jnl);
int32_t posttrav(ZNode* node, PassFn pass, ZInst* inst, NQJournal* jnl);
int32_t pass1(ZNode* node, ZInst* inst, NQJournal* jnl);
int32_t pass2a(ZNode* node, ZInst* inst, NQJournal* jnl);
int32_t pass2b(ZNode* node, ZInst* inst, NQJournal* jnl);
int32_t pass2c(ZNode* node, ZInst* inst, NQJournal* jnl);
int32_t pass2d(ZNode* node, ZInst* inst, NQJournal* jnl);
int32_t pass3(ZNode* node, ZInst* inst, NQJournal* jnl);

/* ---- merging under AND and OR ---- */
int32_t do_and(ZNode* node, ZInst* inst, NQJournal* jnl);
int32_t do_or(ZNode* node, ZInst* inst, NQJournal* jnl);
int32_t do_comp(ZNode* node, ZInst* inst);

/* Merge tables: `cand_eq` and `cand_ne` indexed by type - CEQ (cand_ne only for CLT..CGE),
 * `cand_op` by [c1 equal to c2 ? 0 : 1][op1 - CLT][op2 - CLT], `cor_op` by
 * [c1 equal to c2 ? 0 : 1][op1 - CEQ][op2 - CEQ]. */
extern const int32_t cand_eq[6];
extern const int32_t cand_ne[6];
extern const int32_t cand_op[2][4][4];
extern const int32_t cor_op[2][6][6];

/* ---- IN lists, BETWEEN and sets ---- */
struct SetPos {
    ZNode* block;  /* the head node or an overflow block */
    int32_t slot;  /* 0..14 within the block */
    int32_t index; /* absolute index in the list */
};
int32_t do_set(ZNode* node, ZInst* inst, NQJournal* jnl);
int32_t do_betw(ZNode* node, ZInst* inst);
int32_t do_in(ZNode* node, ZInst* inst, NQJournal* jnl);
int32_t do_tin(ZNode* node, ZInst* inst, NQJournal* jnl);
void MIDPOS(const SetPos* lo, const SetPos* hi, SetPos* out);
int32_t NodeCompare(ZInst* inst, NQJournal* jnl, ZNode* x, ZNode* y);
int32_t point_in_range_wh(ZNode* range, ZNode* point);

/* ---- comparisons of constant nodes ---- */
/* Comparison codes of yowccmp: bits that callers combine into masks. */
enum : int32_t { kCmpNone = 0, kCmpComparable = 1, kCmpLess = 2, kCmpEqual = 4, kCmpGreater = 8 };
int32_t nqzscom(const NQWChar* s1, int32_t len1, const NQWChar* s2, int32_t len2);
int32_t yowccmp(const ZNode* a, const ZNode* b, int32_t mode, int32_t strict);
int32_t yowncmp(const ZNode* a, const ZNode* b);
/* 0 constant false, 1 constant true, 2 not a constant. */
int32_t truth_of(const ZNode* node);
void CheckForBoolean(ZNode* node, int32_t* hasbool, int32_t* plaincount);

/* ---- range and set algebra ---- */
int32_t PointInSet(ZNode* point, ZNode* set);
int32_t PointInRange_YN(ZNode* point, ZNode* range);
int32_t PointInRange_WH(ZNode* range, ZNode* point);
void AddToSet(ZInst* inst, NQJournal* jnl, ZNode* set, ZNode* element);
void Insert(ZInst* inst, NQJournal* jnl, ZNode* set, int32_t pos, ZNode* element);
ZNode* IntersectRanges(ZInst* inst, NQJournal* jnl, ZNode* r1, ZNode* r2);
ZNode* IntersectSets(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2);
ZNode* IntersectIneqWithSet(ZInst* inst, NQJournal* jnl, ZNode* comparison, ZNode* set);
ZNode* IntersectIneqWithRange(ZInst* inst, NQJournal* jnl, ZNode* comparison, ZNode* range,
                              ZNode** second);
ZNode* UnionSet(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2);
/* UnionSet with the block that holds s1's last element, when the caller knows it (null
 * otherwise: it is found by a walk); *last becomes the block that holds the result's last
 * element (null when unknown). Growing one set by many unions stays linear this way. */
ZNode* UnionSetTail(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2, ZNode** last);
ZNode* DifferSets(ZInst* inst, NQJournal* jnl, ZNode* s1, ZNode* s2);
ZNode* DifferRanges(ZInst* inst, NQJournal* jnl, ZNode* r1, ZNode* r2, ZNode** second);
void yowcln(ZNode* node, ZInst* inst);
void freeinter(ZInst* inst, NQJournal* jnl, ZNode* node);
int32_t RangeCode(int32_t bits);
int32_t RangeBits(int32_t type);
/* `cineq_range`, indexed by [comparison type - CNE][position of k against the range]. */
extern const int32_t cineq_range[5][5];

/* ---- tree copy, free and truth constants ---- */
ZNode* CopyTree(ZNode* node, ZInst* inst, NQJournal* jnl);
void FreeTree(ZNode** ref, ZInst* inst, NQJournal* jnl);
/* Node X takes over Y: Y's whole record is copied over X (an inline text re-pointed into
 * X) and Y is released. */
void take_over(ZInst* inst, ZNode* x, ZNode* y);
/* Rewrites node in place as the truth constant: LITN 1.0 or 0.0, vlen -8, tag 0, after
 * releasing its operands. */
void make_truth(ZInst* inst, ZNode* node, bool value, NQJournal* jnl);

#endif
