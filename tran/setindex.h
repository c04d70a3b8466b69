/* A membership index over the elements of one set, for the merges that test many points
 * against a set that grows by appending (x <> c1 AND x <> c2 AND ... gathers every constant
 * into one NOT IN list). It answers exactly what PointInSet answers, in constant time for
 * the constant elements, and follows the set as elements are appended to it. */
#ifndef ZORV_TRAN_SETINDEX_H
#define ZORV_TRAN_SETINDEX_H

#include <cstdint>

#include "tran/tran.h"

class SetIndex {
  public:
    explicit SetIndex(ZInst* inst) : inst_(inst) {}
    ~SetIndex() { release(); }
    SetIndex(const SetIndex&) = delete;
    SetIndex& operator=(const SetIndex&) = delete;

    /* PointInSet(point, set). The index is built on the first question about a long set
     * and extended by the elements appended since; elements already indexed must not have
     * changed (call forget() after any other change to the set). */
    bool contains(ZNode* point, ZNode* set);
    void forget();

  private:
    bool sync(ZNode* set);
    bool add(ZNode* element);
    bool insert(ZNode* constant);
    bool grow();
    void release();

    ZInst* inst_;
    ZNode* set_ = nullptr;
    ZNode* block_ = nullptr;  /* the block that holds element count_ - 1, or the head */
    int32_t count_ = 0;       /* elements indexed */
    bool broken_ = false;     /* the pool refused: answer with PointInSet */
    ZNode** table_ = nullptr; /* open addressing, capacity a power of two */
    uint32_t capacity_ = 0;
    uint32_t used_ = 0;
    ZNode** ranges_ = nullptr;
    uint32_t nranges_ = 0;
    uint32_t rangecap_ = 0;
};

#endif
