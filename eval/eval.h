/* The evaluator's internal interface: the evaluation context, the dispatch, the operand
 * readers that take constants and plain columns straight from the node or the row, the
 * order codes, and the routines of the numeric, character and function files. */
#ifndef ZORV_EVAL_EVAL_H
#define ZORV_EVAL_EVAL_H

#include <assert.h>
#include <stdint.h>
#include <string.h>

#include "frame/instance_tail.h"
#include "frame/missing.h"
#include "frame/nodekinds.h"
#include "zorv/support.h"
#include "zorv/zorv.h"

/* One evaluation: the instance and the work area taken for it (null when the tree needs
 * none). Built on ZORVEval's stack and passed to every routine. */
struct EvalCtx {
    ZInst* inst;
    void* work;
};

/* Order codes: exactly one bit for a three-way comparison; 5 (less and greater) is the
 * character equality's "unequal". */
enum : int32_t { kOrdLess = 1, kOrdEqual = 2, kOrdGreater = 4, kOrdUnequal = 5 };

/* Masks of CEQ..CGE, indexed by the plain comparison type minus CEQ. */
extern const int32_t cmpmask[6];

/* The blank that pads character values. */
inline constexpr NQWChar kBlank = 0x20;

/* Evaluates one subtree into `result` (a node-sized record) and returns its truth value.
 * Recursive: safe because the parse driver bounds the depth of every tree. */
int32_t eval_tree(EvalCtx* ctx, ZNode* node, const void* row, ZNode* result);

/* The ordinary missing value '.', the one every arithmetic result that cannot be computed
 * gives, whichever missing value an operand held. */
inline double ordinary_missing() {
    return nqmissv_table[1];
}

/* x raised to y, with the status word of a failing case (1 overflow, 2 negative base with
 * an exponent that is not an integer, 3 zero base with an exponent not above zero). */
extern "C" __attribute__((visibility("default"))) double nqzpower(double x, double y,
                                                                  int32_t* status);

/* ---- truth values ---- */
inline int32_t num_truth(double v) {
    return !is_missing(v) && v != 0.0;
}
/* pvMemTNot answers 1 when every unit is the blank: true is its 0. */
inline int32_t char_truth(const NQWChar* s, int32_t bytes) {
    return bytes > 0 && pvMemTNot(kBlank, s, bytes / 4) == 0;
}
/* Stores the truth constant 1.0 or 0.0 and returns t. */
inline int32_t set_truth(ZNode* result, int32_t t) {
    result->type = Z_LITN;
    result->u.litn.num = t ? 1.0 : 0.0;
    return t;
}

/* ---- operands ---- */
/* The leaf's row offset: a negative one is stored back as its absolute value once (the
 * only write the evaluator makes to a tree; idempotent, and read as well as written
 * atomically, since evaluations on other threads read the leaf meanwhile). Relaxed atomic
 * accesses of an aligned word cost what plain ones do. */
inline int32_t column_offset(ZNode* leaf) {
    int32_t off = __atomic_load_n(&leaf->u.nm.coloff, __ATOMIC_RELAXED);
    if (off < 0) {
        off = -off;
        __atomic_store_n(&leaf->u.nm.coloff, off, __ATOMIC_RELAXED);
    }
    return off;
}

/* A numeric operand: a constant or a colmode-0 column read in place, anything else
 * evaluated into a stack record. */
double num_operand_slow(EvalCtx* ctx, ZNode* x, const void* row);

/* A numeric field of `vlen` (-8 a full double, -L for L of 1 to 7 a shortened field that
 * keeps the double's top L bytes). No binder gives a numeric length beyond -8; one would
 * read as a full double rather than past the field. */
inline double read_number(const void* at, int32_t vlen) {
    double v;
    if (vlen <= -8 || vlen >= 0)
        memcpy(&v, at, sizeof v);
    else
        nqzrftrc(at, -vlen, &v);
    return v;
}

inline double num_operand(EvalCtx* ctx, ZNode* x, const void* row) {
    if (x->type == Z_LITN) return x->u.litn.num;
    if (x->type == Z_NAME && x->u.nm.colmode == 0 && x->vlen < 0)
        return read_number(static_cast<const char*>(row) + column_offset(x), x->vlen);
    return num_operand_slow(ctx, x, row);
}

/* A character operand: address and length in bytes. `scratch` is a node-sized record of
 * the caller's that holds the value when the operand has to be evaluated, so the value
 * lives as long as the caller's record. */
struct CharVal {
    const NQWChar* str;
    int32_t bytes;
};
/* A character operand that is neither a constant nor a plain column, evaluated into
 * `scratch`. */
CharVal char_operand_slow(EvalCtx* ctx, ZNode* x, const void* row, ZNode* scratch);
inline CharVal char_operand(EvalCtx* ctx, ZNode* x, const void* row, ZNode* scratch) {
    if (x->type == Z_LITC) return {x->u.litc.str, x->u.litc.slen};
    if (x->type == Z_NAME && x->u.nm.colmode == 0 && x->vlen >= 0)
        return {reinterpret_cast<const NQWChar*>(static_cast<const char*>(row) + column_offset(x)),
                x->vlen};
    return char_operand_slow(ctx, x, row, scratch);
}

/* A number that can be read without any call: a LITN, or a plain column (colmode 0) of a
 * full double at an offset already made positive. False for every other operand, which
 * num_operand reads. */
inline bool number_in_place(const ZNode* x, const void* row, double* v) {
    if (x->type == Z_LITN) {
        *v = x->u.litn.num;
        return true;
    }
    if (x->type != Z_NAME || x->vlen > -8 || x->u.nm.colmode != 0 || x->u.nm.coloff < 0)
        return false;
    memcpy(v, static_cast<const char*>(row) + x->u.nm.coloff, sizeof *v);
    return true;
}

/* Characters that can be read without any call: a LITC, or a plain character column at an
 * offset already made positive. False for every other operand, which char_operand reads. */
inline bool chars_in_place(const ZNode* x, const void* row, CharVal* v) {
    if (x->type == Z_LITC) {
        *v = {x->u.litc.str, x->u.litc.slen};
        return true;
    }
    if (x->type != Z_NAME || x->vlen < 0 || x->u.nm.colmode != 0 || x->u.nm.coloff < 0)
        return false;
    *v = {reinterpret_cast<const NQWChar*>(static_cast<const char*>(row) + x->u.nm.coloff),
          x->vlen};
    return true;
}

/* ---- comparisons ---- */
/* Order code of two doubles: missing values below every number, by rank among
 * themselves; IEEE-unordered pairs of non-missing values compare equal. */
inline int32_t num_compare(double a, double b) {
    // An ordered pair holds no NaN, so no missing value: the common case costs two tests.
    if (a < b) return kOrdLess;
    if (a > b) return kOrdGreater;
    if (!is_missing(a) && !is_missing(b)) return kOrdEqual;
    const int32_t ra = missing_rank(a), rb = missing_rank(b);
    if (ra == 0) return kOrdGreater;
    if (rb == 0) return kOrdLess;
    return ra < rb ? kOrdLess : ra == rb ? kOrdEqual : kOrdGreater;
}

/* Blank-padded order of two character values (lengths in characters), through the
 * instance's collating service when it has one. */
int32_t char_compare(const ZInst* inst, const NQWChar* a, int32_t na, const NQWChar* b, int32_t nb);
/* Blank-padded equality (lengths in characters): 2 equal, 5 unequal. Never collates. */
int32_t char_equal(const NQWChar* a, int32_t na, const NQWChar* b, int32_t nb);
/* char_equal with values of a few characters, the usual codes and names, compared here
 * unit by unit, the longer one's rest checked for blanks; longer values go to char_equal. */
inline int32_t short_char_equal(const NQWChar* a, int32_t na, const NQWChar* b, int32_t nb) {
    constexpr int32_t kShort = 8;
    if (na > kShort || nb > kShort) return char_equal(a, na, b, nb);
    const int32_t n = na < nb ? na : nb;
    for (int32_t i = 0; i < n; ++i)
        if (a[i] != b[i]) return kOrdUnequal;
    const NQWChar* rest = na > nb ? a : b;
    for (int32_t i = n, m = na > nb ? na : nb; i < m; ++i)
        if (rest[i] != kBlank) return kOrdUnequal;
    return kOrdEqual;
}
/* Tail order of two values that agree up to the shorter length: at most one of na, nb is
 * non-zero; negative, 0 or positive. */
int32_t mynqzscom(const NQWChar* a, int32_t na, const NQWChar* b, int32_t nb);

/* A comparison node CEQ..CGE or CTEQ..CTGE: its truth value (no result record written).
 * Called from eval_tree and, for operands of AND and OR, from their loop directly. */
int32_t eval_compare(EvalCtx* ctx, ZNode* node, const void* row);
/* eval_compare for a node that compare_in_place has declined. */
int32_t compare_general(EvalCtx* ctx, ZNode* node, const void* row);

/* The truth of a comparison node whose operands are both read in place: a numeric
 * comparison, or a character equality (CEQ, CNE and their colon forms, which never
 * collate). -1 for anything else, including a node short of an operand, which is left to
 * eval_compare. Inline so that the AND/OR loop and the dispatch test the usual comparisons
 * without a call; the answers are eval_compare's. */
__attribute__((always_inline)) inline int32_t compare_in_place(const ZNode* node, const void* row) {
    if (node->u.op.nargs < 2) return -1;
    const ZNode* x = node->u.op.args[0];
    const ZNode* y = node->u.op.args[1];
    if (!x || !y) return -1;
    const int32_t type = node->type;
    const bool colon = type >= Z_CTEQ;
    const int32_t plain = colon ? type - (Z_CTEQ - Z_CEQ) : type;
    if (x->vlen < 0) {
        double a, b;
        if (!number_in_place(x, row, &a) || !number_in_place(y, row, &b)) return -1;
        return (num_compare(a, b) & cmpmask[plain - Z_CEQ]) != 0;
    }
    if (plain > Z_CNE) return -1;
    CharVal a, b;
    if (!chars_in_place(x, row, &a) || !chars_in_place(y, row, &b)) return -1;
    int32_t na = a.bytes / 4, nb = b.bytes / 4;
    if (colon) na = nb = na < nb ? na : nb;
    return (short_char_equal(a.str, na, b.str, nb) & cmpmask[plain - Z_CEQ]) != 0;
}

/* ---- the other operators; each fills `result` and returns the truth value ---- */
int32_t eval_arith(EvalCtx* ctx, ZNode* node, const void* row, ZNode* result);   /* AADD..APOW */
int32_t eval_between(EvalCtx* ctx, ZNode* node, const void* row, ZNode* result); /* BETW, NBTW */
int32_t eval_minmax(EvalCtx* ctx, ZNode* node, const void* row, ZNode* result);  /* MIN, MAX */
int32_t eval_conc(EvalCtx* ctx, ZNode* node, const void* row, ZNode* result);    /* CONC */
/* CONT or NCON: the node's truth value (NCON's already inverted); no result record. */
int32_t eval_contains(EvalCtx* ctx, ZNode* node, const void* row);
int32_t do_func(EvalCtx* ctx, ZNode* node, const void* row, ZNode* result); /* FLST */
/* do_func without the truth value, for a call read as an operand. */
void func_value(EvalCtx* ctx, ZNode* node, const void* row, ZNode* result);
double do_apow(EvalCtx* ctx, ZNode* node, const void* row, int32_t i);

/* ---- IN searches: 1 when operand x's value is in the sorted list ---- */
int32_t do_ninop(EvalCtx* ctx, ZNode* x, ZNode* list, const void* row);
int32_t do_cinop(EvalCtx* ctx, ZNode* x, ZNode* list, const void* row);
int32_t do_tinop(EvalCtx* ctx, ZNode* x, ZNode* list, const void* row);

/* ---- list indexes ---- */
/* The index entry of a list (see ListIndexEntry in frame/instance_tail.h) when it has a
 * current one: the list node's mark names an entry of this instance's table that records
 * this very node, with the argument count and first overflow block it still has, and the
 * node store has changed nothing since it was built. A list copied from another instance,
 * changed since, or read after a reset has none. */
inline const ListIndexEntry* list_index(const ZInst* inst, const ZNode* list) {
    const ListIndexTable& table = list_indexes(inst);
    const uint32_t mark = list->reserved20;
    if (mark - 1u >= static_cast<uint32_t>(table.count)) return nullptr;
    const ListIndexEntry& e = table.entries[mark - 1];
    if (e.list != list || e.nargs != list->u.op.nargs || e.first != list->u.op.next ||
        e.generation != table.generation)
        return nullptr;
    return &e;
}

/* Whether order key k lies in one of the n closed, sorted, disjoint intervals lows[i] ..
 * highs[i] (the key intervals of an indexed list). Without a branch on k: a short list is
 * tested element by element, here, a longer one by in_intervals_long. */
int32_t in_intervals_long(const int64_t* lows, const int64_t* highs, int32_t n, int64_t k);
inline int32_t in_intervals(const int64_t* lows, const int64_t* highs, int32_t n, int64_t k) {
    constexpr int32_t kScan = 8;
    if (n > kScan) return in_intervals_long(lows, highs, n, k);
    bool found = false;
    for (int32_t i = 0; i < n; ++i) found |= (lows[i] <= k) & (k <= highs[i]);
    return found;
}

/* Reads the elements of one list: in constant time through the list's block table when it
 * has a current index, otherwise by walking its blocks from the head. Made once per search,
 * so the index is checked once and not at every probe. */
class ListReader {
  public:
    ListReader(const ZInst* inst, const ZNode* list) : list_(list) {
        if (list->u.op.nargs <= Z_NODE_ARGS) return;  // the node's own slots suffice
        if (const ListIndexEntry* e = list_index(inst, list)) blocks_ = e->blocks;
    }

    ZNode* operator[](int32_t i) const {
        if (i < Z_NODE_ARGS) return list_->u.op.args[i];
        if (blocks_) return blocks_[i / Z_NODE_ARGS]->u.op.args[i % Z_NODE_ARGS];
        return walk(i);
    }

    bool indexed() const { return blocks_ != nullptr; }

  private:
    ZNode* walk(int32_t i) const;

    const ZNode* list_;
    ZNode* const* blocks_ = nullptr;
};

/* The numeric order as integers: a key for every value the order ranks, so that two values
 * compare as their keys do. Missing values take INT64_MIN + their rank, below every number;
 * a number its magnitude's bits, negated when negative (0.0 and -0.0 both 0), so that
 * neighbouring doubles have neighbouring keys. False for a NaN that is no missing value,
 * which the order calls equal to everything and no key can place. */
inline bool order_key(double v, int64_t* key) {
    uint64_t bits;
    memcpy(&bits, &v, sizeof bits);
    if ((bits >> 48) == 0xFFFF) {
        *key = INT64_MIN + missing_rank(v);
        return true;
    }
    const uint64_t mag = bits & 0x7FFFFFFFFFFFFFFFull;
    if (mag > 0x7FF0000000000000ull) return false;
    *key = (bits >> 63) ? -static_cast<int64_t>(mag) : static_cast<int64_t>(mag);
    return true;
}

/* Element i (0 <= i < nargs) of an argument list; see ListReader. */
inline ZNode* list_element(const ZInst* inst, const ZNode* list, int32_t i) {
    return ListReader(inst, list)[i];
}

/* Whether an IN node's operand 0 is found in its list, when that can be answered without
 * a call beyond the interval search: a number read in place, searched in a list with key
 * intervals. -1 for anything else, which do_ninop and do_cinop answer; the answers agree. */
__attribute__((always_inline)) inline int32_t in_in_place(const EvalCtx* ctx, const ZNode* node,
                                                          const void* row) {
    if (node->u.op.nargs < 2) return -1;
    const ZNode* x = node->u.op.args[0];
    const ZNode* list = node->u.op.args[1];
    if (!x || !list || x->vlen >= 0 || !zkind::is_operator(list->type)) return -1;
    double v;
    int64_t k;
    if (!number_in_place(x, row, &v)) return -1;
    const ListIndexEntry* e = list_index(ctx->inst, list);
    if (!e || !e->lows || !order_key(v, &k)) return -1;
    assert(list->u.op.nargs > 0);  // an index is built only for a list with elements
    return in_intervals(e->lows, e->highs, list->u.op.nargs, k);
}

#endif
